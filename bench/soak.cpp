// Soak: the site view streams from the simulator (a process of its own) at
// 25 pictures per second for MINUTES, the DVR dropping the link every few
// minutes and the view connecting again; prints resident memory, open
// descriptors, threads, CPU and pictures once a minute.
//
//   soak MINUTES [DROP_EVERY_MINUTES=3]
#include <dirent.h>

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <string>

#include "bench_support.h"
#include "view/site_view.h"

namespace {

int Entries(const char* dir) {
  int n = 0;
  if (DIR* d = opendir(dir)) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int minutes = argc > 1 ? std::atoi(argv[1]) : 30;
  const int dropEvery = argc > 2 ? std::atoi(argv[2]) : 3;
  const int fps = 25;
  // The simulator closes each connection after this many pictures.
  lvbench::SimProcess sim({"--fps", std::to_string(fps), "--fault",
                           "drop-after=" + std::to_string(dropEvery * 60 * fps)});
  if (!sim.pid) return 1;

  lv::CDvrSession site;
  lvbench::UseSimulator(site, sim.port);
  lv::CDlg_SiteView view;
  view.m_pCurr_DVR = &site;
  long pictures = 0;
  view.m_onPicturePainted = [&](const lv::FrameRecord&) { ++pictures; };

  const std::uint64_t start = lvbench::NowMicros();
  const auto elapsedMinutes = [&] { return static_cast<double>(lvbench::NowMicros() - start) / 60e6; };
  int reconnects = 0;
  double lastCpu = lvbench::CpuSeconds();
  long lastPictures = 0;
  int minute = 0;
  std::printf("minute  resident_MiB  descriptors  threads  cpu_%%  pictures  reconnects\n");
  std::fflush(stdout);
  QTimer report;
  QObject::connect(&report, &QTimer::timeout, [&] {
    const double cpu = lvbench::CpuSeconds();
    std::printf("%6d  %12.1f  %11d  %7d  %5.1f  %8ld  %10d\n", ++minute, lvbench::RssKiB() / 1024.0,
                Entries("/proc/self/fd"), Entries("/proc/self/task"), 100.0 * (cpu - lastCpu) / 60.0,
                pictures - lastPictures, reconnects);
    std::fflush(stdout);
    lastCpu = cpu;
    lastPictures = pictures;
  });
  report.start(60 * 1000);
  // A dropped link leaves the view at "Disconnected": close it and connect
  // again, as a user would.
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (elapsedMinutes() >= minutes || view.Status() == lv::ST_DISCONNECTED) view.SendMessage(lv::WM_CLOSE);
  });
  watch.start(500);
  while (elapsedMinutes() < minutes) {
    view.DoModal();
    if (elapsedMinutes() < minutes) ++reconnects;
  }
  return 0;
}
