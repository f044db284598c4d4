// End to end through the site view: from the simulator's send of a picture
// to the picture painted in the view's video area, with the simulator in a
// process of its own. Prints connect-to-first-picture, latency (median and
// p99, whole run and per 5-second window), the client's CPU per picture and
// resident memory with the view open, the same on a still scene without and
// with motion watching and clip writing, then the CPU the open view uses
// while no pictures arrive.
//
//   bench_view [seconds=20] [fps=25] [WxH=704x480] [window WxH, default the layout's 480x696]
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "shell/motion_watch.h"
#include "view/site_view.h"

namespace {

using namespace lvbench;

struct Run {
  double firstPictureMs = -1;
  std::vector<std::pair<double, double>> latencies;  // (seconds into the run, ms)
  double cpu = 0;
  int pictures = 0;
  long rssKiB = 0;
};

// Opens the view on a simulator started with args, for seconds; measures from
// settleSeconds on.
Run Measure(const std::vector<std::string>& args, double seconds, double settleSeconds, QSize window = {},
            const lv::PictureWatchMaker& watch = {}) {
  Run run;
  SimProcess sim(args);
  if (!sim.pid) return run;
  lv::CDvrSession site;
  lvbench::UseSimulator(site, sim.port);
  lv::CDlg_SiteView view;
  view.m_pCurr_DVR = &site;
  view.m_motionHooks.watch = watch;

  const std::uint64_t start = NowMicros();
  const auto since = [start] { return static_cast<double>(NowMicros() - start) / 1e6; };
  double cpuStart = 0;
  bool measuring = false;
  view.m_onPicturePainted = [&](const lv::FrameRecord& f) {
    const double ms = MicrosSinceSent(f.buffer.get()) / 1000.0;
    if (run.firstPictureMs < 0) run.firstPictureMs = since() * 1000.0;
    if (!measuring) return;
    run.latencies.emplace_back(since(), ms);
    ++run.pictures;
  };
  QTimer sample;
  QObject::connect(&sample, &QTimer::timeout, [&] {
    // A resized (maximised) view draws its layout scaled.
    if (QWidget* w = view.GetWidget(); w && window.isValid() && w->size() != window) w->resize(window);
    if (!measuring && since() >= settleSeconds) {
      measuring = true;
      cpuStart = CpuSeconds();
    }
    if (measuring) run.rssKiB = std::max(run.rssKiB, RssKiB());
  });
  sample.start(100);
  QTimer::singleShot(static_cast<int>((settleSeconds + seconds) * 1000), [&] {
    run.cpu = CpuSeconds() - cpuStart;
    view.SendMessage(lv::WM_CLOSE);
  });
  view.DoModal();
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
  const std::string fps = argc > 2 ? argv[2] : "25";
  const std::string size = argc > 3 ? argv[3] : "704x480";

  const QString windowArg = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString();
  const QSize window(windowArg.section(u'x', 0, 0).toInt(), windowArg.section(u'x', 1, 1).toInt());
  const Run run = Measure({"--fps", fps, "--size", size}, seconds, 1.0, window.isEmpty() ? QSize() : window);
  if (run.latencies.empty()) {
    std::fprintf(stderr, "no pictures painted\n");
    return 1;
  }
  std::vector<double> all;
  for (const auto& l : run.latencies) all.push_back(l.second);
  std::printf("site view, %s at %s pictures/s for %.0f s in a %s window: %d pictures painted (%.1f/s)\n",
              size.c_str(), fps.c_str(), seconds, window.isEmpty() ? "480x696" : argv[4], run.pictures,
              run.pictures / seconds);
  std::printf("connect to first picture: %.1f ms\n", run.firstPictureMs);
  std::printf("latency send -> painted: median %.2f ms, p99 %.2f ms, max %.2f ms\n", Percentile(all, 0.5),
              Percentile(all, 0.99), Percentile(all, 1.0));
  for (double w = 1; w < 1 + seconds; w += 5) {
    std::vector<double> window;
    for (const auto& l : run.latencies)
      if (l.first >= w && l.first < w + 5) window.push_back(l.second);
    if (!window.empty())
      std::printf("  window %4.0f-%4.0f s: median %.2f ms, p99 %.2f ms\n", w, w + 5, Percentile(window, 0.5),
                  Percentile(window, 0.99));
  }
  std::printf("client CPU per picture: %.3f ms; resident memory with the view open: %.1f MiB\n",
              1000.0 * run.cpu / run.pictures, run.rssKiB / 1024.0);

  // Motion watching and clip writing beside the painting: the same still
  // scene crossed by an object every 6 s, without and with a watcher that
  // analyses 10 pictures a second and records every event's clip.
  {
    std::string objects;
    for (int s = 2; s < seconds + 2; s += 6) objects += (objects.empty() ? "" : ",") + std::to_string(s);
    const std::vector<std::string> scene{"--fps", fps, "--size", size, "--scene", "still", "--object-at", objects};
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "bench-view-clips";
    std::filesystem::remove_all(folder);
    lv::MotionSetup setup;
    setup.clipsFolder = folder;
    setup.sites["Bench"].watch = true;
    std::atomic<int> events{0};
    lv::MotionWatch watch(setup, [&](const lv::MotionEvent& e) { events += e.started; });
    const auto name = [&](const lv::PictureWatchMaker& w) { return w ? "with watching and clips" : "without watching"; };
    for (const lv::PictureWatchMaker& w :
         {lv::PictureWatchMaker{}, lv::PictureWatchMaker{[&](const std::u16string&) { return watch.WatchSite(u"Bench"); }}}) {
      const Run r = Measure(scene, seconds, 1.0, {}, w);
      std::vector<double> ms;
      for (const auto& l : r.latencies) ms.push_back(l.second);
      std::printf("still scene %s: latency send -> painted median %.2f ms, p99 %.2f ms; CPU per picture %.3f ms\n",
                  name(w), Percentile(ms, 0.5), Percentile(ms, 0.99), r.pictures ? 1000.0 * r.cpu / r.pictures : 0.0);
    }
    int clips = 0;
    if (std::filesystem::exists(folder / "Bench"))
      for (const auto& e : std::filesystem::directory_iterator(folder / "Bench")) clips += e.path().extension() == ".mkv";
    std::printf("motion events started: %d; clips written: %d\n", events.load(), clips);
    std::filesystem::remove_all(folder);
  }

  // The same view open on a DVR whose channels have no camera: nothing to draw.
  const Run idle = Measure({"--camera-mask", "0"}, 5, 1.0);
  std::printf("CPU of the open view with no pictures: %.2f %% of one core\n", 100.0 * idle.cpu / 5.0);
  return 0;
}
