// The wall end to end: the simulator (a process of its own) serving 16
// channels, one wall window offscreen with a tile and a session per channel.
// Prints the client's CPU per painted picture (all threads), its CPU as a
// share of one core, the latency from the simulator's send to the tile
// painted (whole run and per 5-second window), the resident memory, and then
// the same wall minimised, where nothing is decoded.
//
//   bench_wall [seconds=20] [fps=25] [WxH=704x480] [window=1280x960]
#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "session/dvr_session.h"
#include "wall/wall_window.h"

namespace {

using namespace lvbench;

// Runs the event loop for seconds, sampling the resident memory.
long RunFor(double seconds) {
  long rss = 0;
  QTimer sample;
  QObject::connect(&sample, &QTimer::timeout, [&] { rss = std::max(rss, RssKiB()); });
  sample.start(100);
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
  loop.exec();
  return rss;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
  const std::string fps = argc > 2 ? argv[2] : "25";
  const std::string size = argc > 3 ? argv[3] : "704x480";
  int windowWidth = 1280, windowHeight = 960;
  if (argc > 4) std::sscanf(argv[4], "%dx%d", &windowWidth, &windowHeight);

  SimProcess sim({"--fps", fps, "--size", size});
  if (!sim.pid) return 1;
  lv::WallWindow wall(lv::SiteFields{u"Bench", u"127.0.0.1", sim.port, u"admin", u"1234"}, lv::WallOptions{});
  wall.resize(windowWidth, windowHeight);
  wall.show();
  RunFor(2.0);  // every tile logged in and playing
  if (wall.TileCount() == 0) {
    std::fprintf(stderr, "no tiles\n");
    return 1;
  }

  const std::uint64_t start = NowMicros();
  std::vector<std::pair<double, double>> latencies;  // (seconds into the run, ms)
  for (int i = 0; i < wall.TileCount(); ++i)
    wall.Tile(i).onPainted = [&](lv::WallTile&, const lv::FrameRecord& frame) {
      latencies.emplace_back(static_cast<double>(NowMicros() - start) / 1e6, MicrosSinceSent(frame.buffer.get()) / 1000.0);
    };
  auto received = [&] {
    std::uint64_t n = 0;
    for (int i = 0; i < wall.TileCount(); ++i) n += wall.Tile(i).PicturesReceived();
    return n;
  };
  auto decoded = [&] {
    std::uint64_t n = 0;
    for (int i = 0; i < wall.TileCount(); ++i) n += wall.Tile(i).PicturesDecoded();
    return n;
  };
  const double cpuStart = CpuSeconds();
  const std::uint64_t receivedStart = received();
  const long rss = RunFor(seconds);
  const double cpu = CpuSeconds() - cpuStart;
  const std::uint64_t receivedShown = received() - receivedStart;
  for (int i = 0; i < wall.TileCount(); ++i) wall.Tile(i).onPainted = nullptr;
  if (latencies.empty()) {
    std::fprintf(stderr, "no pictures painted\n");
    return 1;
  }
  std::vector<double> all;
  for (const auto& l : latencies) all.push_back(l.second);
  const double painted = static_cast<double>(latencies.size());
  std::printf("wall %dx%d, %d tiles of %s at %s pictures/s, %.0f s\n", windowWidth, windowHeight, wall.TileCount(),
              size.c_str(), fps.c_str(), seconds);
  std::printf("pictures received %.1f/s, painted %.1f/s\n", receivedShown / seconds, painted / seconds);
  std::printf("client CPU per painted picture: %.3f ms\n", 1000.0 * cpu / painted);
  std::printf("whole-client CPU: %.1f %% of one core\n", 100.0 * cpu / seconds);
  std::printf("latency send -> painted: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", Percentile(all, 0.5),
              Percentile(all, 0.99), Percentile(all, 1.0));
  for (double w = 0; w < seconds; w += 5) {
    std::vector<double> window;
    for (const auto& l : latencies)
      if (l.first >= w && l.first < w + 5) window.push_back(l.second);
    if (!window.empty())
      std::printf("  window %4.0f-%4.0f s: p50 %.2f ms, p99 %.2f ms\n", w, w + 5, Percentile(window, 0.5),
                  Percentile(window, 0.99));
  }
  std::printf("resident memory: %.1f MiB\n", rss / 1024.0);

  wall.showMinimized();
  RunFor(1.0);
  const double minCpuStart = CpuSeconds();
  const std::uint64_t minReceived = received(), minDecoded = decoded();
  const double minSeconds = std::max(5.0, seconds / 2);
  const long minRss = RunFor(minSeconds);
  const double minCpu = CpuSeconds() - minCpuStart;
  std::printf("minimised for %.0f s: whole-client CPU %.1f %% of one core, pictures received %.1f/s, decoded %llu, "
              "resident memory %.1f MiB\n",
              minSeconds, 100.0 * minCpu / minSeconds, (received() - minReceived) / minSeconds,
              static_cast<unsigned long long>(decoded() - minDecoded), minRss / 1024.0);
  return 0;
}
