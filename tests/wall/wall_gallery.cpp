// wall_gallery OUTDIR: screenshots of a 16-tile site wall and of a sites
// wall of three sites with one down, for review.
#include <QApplication>
#include <QImage>
#include <cstdio>
#include <string>

#include "dvrsim/simulator.h"
#include "support/pump.h"
#include "wall/wall_window.h"

namespace {

bool Save(lv::WallWindow& wall, const std::string& path) {
  const QImage shot = wall.grab().toImage().scaledToWidth(640, Qt::SmoothTransformation);
  const bool ok = shot.save(QString::fromStdString(path));
  std::printf("%s %s\n", ok ? "wrote" : "could not write", path.c_str());
  return ok;
}

bool AllPainted(const lv::WallWindow& wall, int tiles) {
  if (wall.TileCount() != tiles) return false;
  for (int i = 0; i < tiles; ++i)
    if (wall.Tile(i).PicturesPainted() == 0) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string out = argc > 1 ? argv[1] : ".";
  dvrsim::Config config;
  config.fps = 5;
  dvrsim::Simulator office(config);
  if (!office.Start(0)) return 1;
  bool ok = true;
  {
    lv::WallWindow wall(lv::SiteFields{u"Office", u"127.0.0.1", office.Port(), u"admin", u"1234"}, {});
    wall.resize(1280, 960);
    wall.show();
    ok &= lvtest::PumpUntil([&] { return AllPainted(wall, 16); }, 20000);
    ok &= Save(wall, out + "/wall-site.png");
  }
  dvrsim::Config two = config;
  two.channelCount = 2;
  dvrsim::Simulator shop(two), depot(two);
  if (!shop.Start(0) || !depot.Start(0)) return 1;
  const lv::SiteFields down{u"Depot", u"127.0.0.1", depot.Port(), u"admin", u"1234"};
  depot.Stop();
  lv::WallWindow wall(std::vector<lv::SiteFields>{{u"Office", u"127.0.0.1", office.Port(), u"admin", u"1234"}, down,
                                                  {u"Shop", u"127.0.0.1", shop.Port(), u"admin", u"1234"}},
                      {});
  wall.resize(1280, 960);
  wall.show();
  ok &= lvtest::PumpUntil([&] {
    return wall.Tile(0).PicturesPainted() > 0 && wall.Tile(2).PicturesPainted() > 0 &&
           wall.Tile(1).CurrentPhase() == lv::WallTile::Phase::Waiting;
  }, 20000);
  ok &= Save(wall, out + "/wall-sites.png");
  return ok ? 0 : 1;
}
