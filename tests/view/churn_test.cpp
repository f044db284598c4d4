// Leaks and churn: many connect, stream, disconnect cycles of one view, and
// many channel switches while pictures arrive. Open descriptors and threads
// must be the same at the end as after the first cycles, and resident memory
// must not keep growing. Sanitizer builds run fewer cycles.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/pump.h"
#include "view_rig.h"

using namespace lv;
using namespace lvtest;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kCycles = 60;
#else
constexpr int kCycles = 1000;
#endif

int Entries(const char* dir) {
  int n = 0;
  if (DIR* d = opendir(dir)) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

long RssKiB() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

struct Usage {
  int fds, threads;
  long rssKiB;
};
Usage Now() { return {Entries("/proc/self/fd"), Entries("/proc/self/task"), RssKiB()}; }

dvrsim::Config Small() {
  dvrsim::Config c;
  c.width = 176;
  c.height = 120;
  c.fps = 50;
  return c;
}

void ExpectSteady(const Usage& early, const Usage& end) {
  std::printf("descriptors %d -> %d, threads %d -> %d, resident %ld -> %ld KiB\n", early.fds, end.fds, early.threads,
              end.threads, early.rssKiB, end.rssKiB);
  EXPECT_EQ(end.fds, early.fds);
  EXPECT_EQ(end.threads, early.threads);
#if !defined(__SANITIZE_ADDRESS__)
  // (AddressSanitizer keeps freed memory in quarantine; its leak check
  // covers that build instead.)
  EXPECT_LT(end.rssKiB - early.rssKiB, 16 * 1024);
#endif
}

TEST(Churn, ConnectStreamDisconnectCycles) {
  ViewRig rig(Small());
  Usage early{};
  for (int i = 0; i < kCycles; ++i) {
    rig.Run([&] { ASSERT_TRUE(rig.WaitPictures(1)) << "cycle " << i; });
    if (HasFatalFailure()) return;
    if (i == kCycles / 10) {
      PumpFor(50);
      ASSERT_TRUE(PumpUntil([&] { return rig.sim.OpenConnections() == 0; }));
      early = Now();
    }
  }
  PumpFor(50);
  ASSERT_TRUE(rig.sim.WaitForConnections(static_cast<std::size_t>(kCycles), 1000));
  EXPECT_TRUE(PumpUntil([&] { return rig.sim.OpenConnections() == 0; }));
  ExpectSteady(early, Now());
}

TEST(Churn, ChannelSwitchesWhilePicturesArrive) {
  ViewRig rig(Small());
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitPictures(1));
    Usage early{};
    for (int i = 0; i < kCycles; ++i) {
      rig.Click(rig.view.ChannelButton((i + 1) % 4));
      ASSERT_TRUE(PumpUntil([&] { return rig.view.Status() == ST_RECEIVING && rig.site.m_nCurrentCH.load() == (i + 1) % 4; }))
          << "switch " << i;
      if (i == kCycles / 10) early = Now();
    }
    ASSERT_TRUE(rig.WaitPictures(1));
    EXPECT_EQ(rig.view.RenderThreadStarts(), 1);
    ExpectSteady(early, Now());
  });
}

}  // namespace
