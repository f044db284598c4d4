// The bridge watching every channel for motion: the simulator (a process of
// its own) sends 16 channels of 704 x 480 at 25 pictures per second, a still
// scene that an object crosses every 12 s of the second run. Two runs of the same length:
// the sessions alone (each channel held open as by a viewer), then with
// --motion all and clips recorded. For each: the bridge's CPU as a share of
// one core, pictures received per second, resident memory; for the second
// also the events and clips.
//
//   bench_motion_bridge [seconds per run=20]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench_support.h"
#include "bridge.h"
#include "feed.h"
#include "motion_watch.h"

using namespace lvbench;

namespace {

// Runs the event loop for ms, sleeping while it has nothing to do.
void Pump(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

struct Figures {
  double cpuPercent = 0, picturesPerSecond = 0, rssMiB = 0;
};

Figures Measure(lvbridge::Bridge& bridge, int seconds) {
  Pump(3000);  // logins, opens, the detectors' backgrounds
  const auto received = [&] {
    double sum = 0;
    for (int ch = 1; ch <= 16; ++ch)
      if (lvbridge::ChannelFeed* feed = bridge.Find("bench", ch)) sum += feed->Status().picturesPerSecond;
    return sum;
  };
  const double cpu0 = CpuSeconds();
  QElapsedTimer wall;
  wall.start();
  double rate = 0;
  int samples = 0;
  while (wall.elapsed() < seconds * 1000) {
    Pump(1000);
    rate += received();
    ++samples;
  }
  Figures f;
  f.cpuPercent = 100.0 * (CpuSeconds() - cpu0) / (wall.elapsed() / 1000.0);
  f.picturesPerSecond = samples ? rate / samples : 0;
  f.rssMiB = RssKiB() / 1024.0;
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 20;
  std::string objects;
  for (int s = seconds + 10; s < 3 * seconds + 10; s += 12) objects += (objects.empty() ? "" : ",") + std::to_string(s);
  SimProcess sim({"--size", "704x480", "--fps", "25", "--scene", "still", "--object-at", objects});
  if (sim.pid == 0) {
    std::fprintf(stderr, "bench_motion_bridge: cannot start the simulator\n");
    return 1;
  }
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "bench-motion-clips";
  std::filesystem::remove_all(folder);
  std::printf("bridge: 16 channels of 704x480 at 25/s, %d s per run, %d analysed per second and channel\n", seconds,
              lvbridge::kMotionPicturesPerSecond);
  std::printf("%-26s %10s %12s %8s\n", "run", "CPU %core", "received/s", "RSS MiB");

  {
    lvbridge::Bridge bridge({{"bench", "127.0.0.1", sim.port, "admin", "1234"}}, lvbridge::Timing{});
    for (int ch = 1; ch <= 16; ++ch) bridge.Find("bench", ch)->Subscribe();
    const Figures f = Measure(bridge, seconds);
    std::printf("%-26s %10.1f %12.1f %8.1f\n", "sessions only", f.cpuPercent, f.picturesPerSecond, f.rssMiB);
    for (int ch = 1; ch <= 16; ++ch) bridge.Find("bench", ch)->Unsubscribe();
    bridge.Shutdown();
  }
  std::atomic<int> started{0}, ended{0};
  {
    lvbridge::Bridge bridge({{"bench", "127.0.0.1", sim.port, "admin", "1234"}}, lvbridge::Timing{});
    bridge.Events().AddListener([&](const lv::MotionEvent& e) { ++(e.started ? started : ended); });
    lvbridge::Options options;
    options.motionAll = true;
    options.recordFolder = folder;
    std::string error;
    if (!lvbridge::StartMotionWatch(bridge, options, &error)) {
      std::fprintf(stderr, "bench_motion_bridge: %s\n", error.c_str());
      return 1;
    }
    const Figures f = Measure(bridge, seconds);
    std::printf("%-26s %10.1f %12.1f %8.1f\n", "--motion all, --record", f.cpuPercent, f.picturesPerSecond, f.rssMiB);
    bridge.Shutdown();
  }
  int clips = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder)) clips += e.path().extension() == ".mkv";
  std::printf("motion events: %d started, %d ended; clips written: %d\n", started.load(), ended.load(), clips);
  std::filesystem::remove_all(folder);
  return 0;
}
