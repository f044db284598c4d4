// The wall against the simulated DVR on loopback, offscreen.
#include <gtest/gtest.h>

#include <QTest>

#include "dvrsim/simulator.h"
#include "protocol/text.h"
#include "support/pump.h"
#include "wall/wall_layout.h"
#include "wall/wall_window.h"

namespace {

using lv::WallTile;
using lvtest::PumpUntil;
using Phase = WallTile::Phase;

dvrsim::Config SmallPictures(int channels) {
  dvrsim::Config c;
  c.channelCount = static_cast<uint8_t>(channels);
  c.width = 176;
  c.height = 120;
  c.fps = 10;
  return c;
}

lv::SiteFields SiteOf(const dvrsim::Simulator& sim, std::u16string name = u"Office") {
  return {std::move(name), u"127.0.0.1", sim.Port(), u"admin", u"1234"};
}

lv::WallOptions Quick() {
  lv::WallOptions o;
  o.timing.backoffBaseMs = 50;
  o.timing.backoffMaxMs = 400;
  o.timing.refusedMs = 60000;
  return o;
}

std::vector<int> Channels(const lv::WallWindow& wall) {
  std::vector<int> out;
  for (int i = 0; i < wall.TileCount(); ++i) out.push_back(wall.Tile(i).Channel());
  return out;
}

bool AllPainted(const lv::WallWindow& wall, int expectTiles) {
  if (wall.TileCount() != expectTiles) return false;
  for (int i = 0; i < wall.TileCount(); ++i)
    if (wall.Tile(i).PicturesPainted() == 0) return false;
  return true;
}

TEST(WallLayout, GridsCellsAndWaits) {
  for (auto [count, side] : {std::pair{0, 0}, {1, 1}, {2, 2}, {4, 2}, {5, 3}, {9, 3}, {10, 4}, {16, 4}})
    EXPECT_EQ(lv::WallGridSide(count), side) << count;
  // The cells cover the area with no gap, also when it does not divide evenly.
  EXPECT_EQ(lv::WallCell(8, 3, 100, 50), (lv::WallRect{66, 33, 34, 17}));
  EXPECT_EQ(lv::FitPicture(704, 480, {0, 0, 320, 320}), (lv::WallRect{0, 51, 320, 218}));
  EXPECT_EQ(lv::RetryDelayMs(1, 1000, 30000, 1.0, false, 30000), 1000);
  EXPECT_EQ(lv::RetryDelayMs(4, 1000, 30000, 1.2, false, 30000), 9600);
  EXPECT_EQ(lv::RetryDelayMs(20, 1000, 30000, 1.2, false, 30000), 30000);
  EXPECT_EQ(lv::RetryDelayMs(1, 1000, 30000, 0.8, true, 30000), 30000);
  EXPECT_EQ(lv::WithinSessionLimit({"a", "b", "a", "a", "b"}, 2), (std::vector<int>{0, 1, 2, 4}));
}

// Every channel with a camera the user may see gets a tile, in the smallest
// square grid, and every tile paints its own channel's pictures.
TEST(Wall, FillsTheGridWithTheChannelsThatMayBeSeen) {
  struct Case {
    int channels;
    std::uint32_t cameraMask, lockMask;
    int side;
    std::vector<int> tiles;
    int sessionLimit = 16;
  };
  const Case cases[] = {
      {4, 0xF0000000, 0, 2, {0, 1, 2, 3}},
      {16, 0xFFFF0000, 0, 4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
      // Channel 1 has no camera, channel 3 is locked, channel 0 neither.
      {6, 0xBC000000, 0x10000000, 2, {0, 2, 4, 5}},
      // No more than the allowed sessions to one DVR.
      {16, 0xFFFF0000, 0, 2, {0, 1, 2}, 3},
  };
  for (const Case& c : cases) {
    dvrsim::Config config = SmallPictures(c.channels);
    config.cameraMask = c.cameraMask;
    config.lockMask = c.lockMask;
    config.functionMask = c.cameraMask;
    dvrsim::Simulator sim(config);
    ASSERT_TRUE(sim.Start(0));
    lv::WallOptions options = Quick();
    options.maxSessionsPerDvr = c.sessionLimit;
    lv::WallWindow wall(SiteOf(sim), options);
    wall.resize(640, 480);
    wall.show();
    EXPECT_TRUE(PumpUntil([&] { return AllPainted(wall, static_cast<int>(c.tiles.size())); }, 20000))
        << c.channels << " channels";
    EXPECT_EQ(Channels(wall), c.tiles);
    EXPECT_EQ(wall.GridSide(), c.side);
    EXPECT_EQ(sim.OpenConnections(), c.tiles.size());
  }
}

// A DVR that allows three users at once: the fourth tile says its login was
// refused and waits long, while the other three play on.
TEST(Wall, RefusedTileSaysSoWhileTheOthersPlay) {
  dvrsim::Config config = SmallPictures(4);
  config.maxSessions = 3;
  dvrsim::Simulator sim(config);
  ASSERT_TRUE(sim.Start(0));
  lv::WallWindow wall(SiteOf(sim), Quick());
  wall.show();
  auto count = [&](Phase phase) {
    int n = 0;
    for (int i = 0; i < wall.TileCount(); ++i) n += wall.Tile(i).CurrentPhase() == phase;
    return n;
  };
  ASSERT_TRUE(PumpUntil([&] { return wall.TileCount() == 4 && count(Phase::Receiving) == 3 && count(Phase::Waiting) == 1; },
                        10000));
  for (int i = 0; i < 4; ++i) {
    if (wall.Tile(i).CurrentPhase() != Phase::Waiting) continue;
    // It waits long (the least wait after a refusal), not the short backoff.
    const std::u16string words = wall.Tile(i).StatusWords(), prefix = u"Check User Account; retry in ";
    ASSERT_EQ(words.rfind(prefix, 0), 0u);
    EXPECT_GE(std::stoi(lv::Utf16ToUtf8(words.substr(prefix.size()))), 55);
    EXPECT_EQ(wall.Tile(i).accessibleDescription().toStdU16String(), wall.Tile(i).StatusWords());
  }
  std::uint64_t before = 0;
  for (int i = 0; i < 4; ++i) before += wall.Tile(i).PicturesPainted();
  EXPECT_TRUE(PumpUntil([&] {
    std::uint64_t now = 0;
    for (int i = 0; i < 4; ++i) now += wall.Tile(i).PicturesPainted();
    return now >= before + 6;
  }));
}

// One tile's link drops: it reconnects by itself; the others never leave
// "Receiving data" and keep painting.
TEST(Wall, DroppedTileReconnectsAndTheOthersNeverStop) {
  dvrsim::Simulator sim(SmallPictures(4));
  ASSERT_TRUE(sim.Start(0));
  lv::WallWindow wall(SiteOf(sim), Quick());
  wall.show();
  ASSERT_TRUE(PumpUntil([&] { return AllPainted(wall, 4); }, 10000));
  WallTile& dropped = wall.Tile(2);
  ASSERT_EQ(dropped.Channel(), 2);
  std::vector<std::uint64_t> painted;
  for (int i = 0; i < 4; ++i) painted.push_back(wall.Tile(i).PicturesPainted());
  ASSERT_EQ(sim.DropConnectionsOf(2), 4u);  // handed to all, acted on by one
  bool othersStopped = false;
  auto morePainted = [&](int i) { return wall.Tile(i).PicturesPainted() > painted[static_cast<std::size_t>(i)] + 2; };
  EXPECT_TRUE(PumpUntil([&] {
    for (int i : {0, 1, 3}) othersStopped |= wall.Tile(i).CurrentPhase() != Phase::Receiving;
    return dropped.Reconnects() >= 1 && dropped.CurrentPhase() == Phase::Receiving && morePainted(0) &&
           morePainted(1) && morePainted(2) && morePainted(3);
  }, 10000));
  EXPECT_FALSE(othersStopped);
  for (int i : {0, 1, 3}) EXPECT_EQ(wall.Tile(i).Reconnects(), 0) << i;
  EXPECT_EQ(sim.Connections(), 5u);
}

// A stream that stops: the tile tells the picture's age from 2 s on, and
// after the stall time it reconnects by itself.
TEST(Wall, StalledTileShowsThePicturesAgeThenReconnects) {
  dvrsim::Config config = SmallPictures(1);
  config.faults.stallAfterFrames = 3;
  dvrsim::Simulator sim(config);
  ASSERT_TRUE(sim.Start(0));
  lv::WallOptions options = Quick();
  options.timing.stallMs = 4000;
  lv::WallWindow wall(SiteOf(sim), options);
  wall.show();
  ASSERT_TRUE(PumpUntil([&] { return AllPainted(wall, 1); }));
  WallTile& tile = wall.Tile(0);
  EXPECT_EQ(tile.AgeWords(), u"");
  ASSERT_TRUE(PumpUntil([&] { return !tile.AgeWords().empty(); }));
  EXPECT_EQ(tile.AgeWords().rfind(u"No picture for ", 0), 0u);
  EXPECT_EQ(tile.CurrentPhase(), Phase::Receiving);
  EXPECT_TRUE(PumpUntil([&] { return tile.Reconnects() >= 1; }, 10000));
  EXPECT_EQ(sim.Connections(), 2u);
}

// Closing the wall ends every session; a hidden (minimised) wall decodes
// nothing while the pictures still arrive; a double-click opens the channel.
TEST(Wall, MinimisedDecodesNothingDoubleClickOpensClosingEndsEverySession) {
  dvrsim::Simulator sim(SmallPictures(4));
  ASSERT_TRUE(sim.Start(0));
  lv::WallWindow wall(SiteOf(sim), Quick());
  std::vector<std::pair<std::u16string, int>> opened;
  wall.onOpenChannel = [&](const lv::SiteFields& site, int channel) { opened.emplace_back(site.name, channel); };
  wall.show();
  ASSERT_TRUE(PumpUntil([&] { return AllPainted(wall, 4); }, 10000));
  QTest::mouseDClick(&wall.Tile(3), Qt::LeftButton);
  wall.Tile(1).setFocus();
  QTest::keyClick(&wall.Tile(1), Qt::Key_Return);
  EXPECT_EQ(opened, (std::vector<std::pair<std::u16string, int>>{{u"Office", 3}, {u"Office", 1}}));

  wall.showMinimized();
  ASSERT_TRUE(PumpUntil([&] { return !wall.Decoding(); }));
  PumpUntil([] { return false; }, 300);  // a picture being decoded as it hid may still land
  const std::uint64_t decoded = wall.Tile(0).PicturesDecoded(), received = wall.Tile(0).PicturesReceived();
  ASSERT_TRUE(PumpUntil([&] { return wall.Tile(0).PicturesReceived() >= received + 5; }));
  EXPECT_EQ(wall.Tile(0).PicturesDecoded(), decoded);
  wall.showNormal();
  EXPECT_TRUE(PumpUntil([&] { return wall.Tile(0).PicturesDecoded() > decoded; }));

  wall.close();
  EXPECT_TRUE(PumpUntil([&] { return sim.OpenConnections() == 0; }));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(wall.Tile(i).CurrentPhase(), Phase::Stopped);
}

// The sites wall: one tile per site on its first channel; a site that is
// down says so while the others play.
TEST(Wall, SitesWallShowsWhichSiteIsDown) {
  dvrsim::Simulator a(SmallPictures(4)), b(SmallPictures(2));
  ASSERT_TRUE(a.Start(0));
  ASSERT_TRUE(b.Start(0));
  dvrsim::Simulator gone(SmallPictures(1));
  ASSERT_TRUE(gone.Start(0));
  const lv::SiteFields down = SiteOf(gone, u"Depot");
  gone.Stop();  // nobody listens on its port now
  lv::WallWindow wall(std::vector<lv::SiteFields>{SiteOf(a, u"Office"), down, SiteOf(b, u"Shop")}, Quick());
  wall.show();
  ASSERT_TRUE(PumpUntil([&] {
    return wall.Tile(0).PicturesPainted() > 0 && wall.Tile(2).PicturesPainted() > 0 &&
           wall.Tile(1).CurrentPhase() == Phase::Waiting;
  }, 10000));
  EXPECT_EQ(wall.TileCount(), 3);
  EXPECT_EQ(wall.GridSide(), 2);
  EXPECT_EQ(Channels(wall), (std::vector<int>{0, -1, 0}));
  EXPECT_EQ(wall.Tile(1).StatusWords().rfind(u"Disconnected; retry in ", 0), 0u);
  EXPECT_EQ(a.OpenConnections() + b.OpenConnections(), 2u);
}

}  // namespace

namespace {

// A tile with motion has a red border and a red dot in its title band; both
// go when the motion ends. (An idle tile: black behind them.)
TEST(WallTileMotion, ARedBorderAndDotWhileOn) {
  WallTile tile({u"Office", u"127.0.0.1", 1, u"admin", u"1234"}, 0, Quick().timing);
  tile.resize(320, 240);
  tile.show();
  const auto red = [](QRgb c) { return qRed(c) > 190 && qGreen(c) < 90 && qBlue(c) < 90; };
  for (bool on : {true, false, true}) {
    tile.SetMotion(on);
    // grab() paints the tile now, whatever repaint is still pending.
    const QImage shot = tile.grab().toImage();
    const int band = shot.height() / 14 + 8;  // the title band's height at this size
    const int d = band - 10;
    EXPECT_EQ(red(shot.pixel(6, 120)), on) << "left border";
    EXPECT_EQ(red(shot.pixel(313, 200)), on) << "right border";
    EXPECT_EQ(red(shot.pixel(320 - 8 - d / 2, 5 + d / 2)), on) << "dot";
    EXPECT_FALSE(red(shot.pixel(160, 120))) << "the middle stays clear";
    EXPECT_EQ(tile.accessibleDescription().endsWith(QStringLiteral("motion")), on);
  }
}

}  // namespace
