// A wall opened by the shell: a tile's double-click runs the site view on
// that tile's channel while the wall's other tiles keep painting.
#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <dvrsim/simulator.h>

#include "shell/wall_launcher.h"
#include "support/pump.h"
#include "view/site_view.h"

namespace {

TEST(AppWall, DoubleClickOpensTheViewOnThatChannelWhileTheOthersPlay) {
  dvrsim::Config config;
  config.channelCount = 4;
  config.width = 176;
  config.height = 120;
  config.fps = 10;
  dvrsim::Simulator sim(config);
  ASSERT_TRUE(sim.Start(0));
  const lv::SiteFields office{u"Office", u"127.0.0.1", sim.Port(), u"admin", u"1234"};
  lv::WallLauncher launcher;
  lv::WallWindow& wall = launcher.Open(nullptr, {office});
  ASSERT_EQ(wall.TileCount(), 1);  // the sites wall: one tile for the one site
  lv::WallWindow& site = launcher.Open(&office, {});
  ASSERT_TRUE(lvtest::PumpUntil([&] {
    if (site.TileCount() != 4) return false;
    for (int i = 0; i < 4; ++i)
      if (site.Tile(i).PicturesPainted() == 0) return false;
    return true;
  }, 10000));
  std::uint64_t paintedBefore = 0, paintedDuring = 0;
  int viewChannel = -1;
  QTimer::singleShot(0, [&] {
    lv::CDlg_SiteView* view = launcher.View();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(lvtest::PumpUntil([&] { return view->Status() == lv::ST_RECEIVING; }, 10000));
    viewChannel = view->m_pCurr_DVR.load()->m_nCurrentCH.load();
    paintedBefore = site.Tile(0).PicturesPainted() + wall.Tile(0).PicturesPainted();
    lvtest::PumpUntil([&] {
      return site.Tile(0).PicturesPainted() + wall.Tile(0).PicturesPainted() >= paintedBefore + 4;
    }, 10000);
    paintedDuring = site.Tile(0).PicturesPainted() + wall.Tile(0).PicturesPainted();
    view->SendMessage(lv::WM_CLOSE);
  });
  QTest::mouseDClick(&site.Tile(2), Qt::LeftButton);  // returns when the view has closed
  EXPECT_EQ(viewChannel, 2);
  EXPECT_GE(paintedDuring, paintedBefore + 4) << "the walls kept painting under the view";
}

}  // namespace
