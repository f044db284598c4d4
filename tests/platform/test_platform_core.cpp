#include <gtest/gtest.h>
#include <arpa/inet.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "platform/core/debug_out.h"
#include "platform/core/resolver.h"
#include "platform/core/sync.h"
#include "support/pump.h"

using namespace lv;

TEST(Window, PostsFromWorkerThreadsArriveInOrderOnTheOwnerThread) {
  lvtest::MessageRecorder view;
  const HWND h = view.Handle();
  std::thread worker([h] {
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(PostMessage(h, 7000, static_cast<WPARAM>(i), -i));
  });
  worker.join();
  ASSERT_TRUE(lvtest::PumpUntil([&] { return view.Messages().size() == 100; }));
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(view.Messages()[static_cast<size_t>(i)].wParam, static_cast<WPARAM>(i));
    EXPECT_EQ(view.Messages()[static_cast<size_t>(i)].lParam, -i);
  }
}

TEST(Window, PostingToADestroyedWindowIsRefusedAndSafe) {
  HWND stale;
  {
    lvtest::MessageRecorder view;
    stale = view.Handle();
    EXPECT_TRUE(IsWindow(stale));
    EXPECT_TRUE(PostMessage(stale, 1, 2, 3));  // still queued when the window goes
  }
  EXPECT_FALSE(IsWindow(stale));
  EXPECT_FALSE(PostMessage(stale, 1, 2, 3));
  EXPECT_FALSE(PostMessage(0, 1, 2, 3));
  lvtest::PumpFor(20);  // the queued event must not reach freed memory
  // A new window never gets the old handle.
  lvtest::MessageRecorder other;
  EXPECT_NE(other.Handle(), stale);
}

TEST(Window, DestroyingWhileAnotherThreadPostsIsSafe) {
  std::atomic<HWND> target{0};
  std::atomic<bool> stop{false};
  std::atomic<long> refused{0};
  std::thread poster([&] {
    while (!stop) {
      if (!PostMessage(target.load(), 1, 0, 0)) refused.fetch_add(1);
    }
  });
  for (int i = 0; i < 200; ++i) {
    auto view = std::make_unique<lvtest::MessageRecorder>();
    target = view->Handle();
    lvtest::PumpFor(1);
  }
  // The last window is gone too: the poster's next posts must be refused
  // (under load it may not have run between two windows at all).
  lvtest::PumpUntil([&] { return refused.load() > 0; });
  stop = true;
  poster.join();
  lvtest::PumpFor(10);
  EXPECT_GT(refused.load(), 0);
}

TEST(AutoResetEvent, ReleasesOneWaitPerSet) {
  AutoResetEvent ev(false);
  EXPECT_FALSE(ev.WaitFor(1));
  ev.Set();
  ev.Set();  // not counted twice
  EXPECT_TRUE(ev.WaitFor(0));
  EXPECT_FALSE(ev.WaitFor(1));
  AutoResetEvent signalled(true);
  EXPECT_TRUE(signalled.WaitFor(0));

  std::atomic<int> woke{0};
  std::thread waiter([&] {
    ev.Wait();
    woke = 1;
  });
  ev.Set();
  waiter.join();
  EXPECT_EQ(woke.load(), 1);
}

TEST(DebugOut, FormatsAndGoesToTheInstalledSink) {
  lvtest::DebugCapture capture;
  DebugOut("Send To DVR : [%d]Bytes! RemainCnt[%d]\r\n\r\n", 12, 3);
  const std::string longText(2000, 'x');
  DebugOut(" RecvDDNS : %s \r\n", longText.c_str());
  std::thread([] { DebugOut("from %s", "worker"); }).join();
  const auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Send To DVR : [12]Bytes! RemainCnt[3]\r\n\r\n");
  EXPECT_EQ(lines[1], " RecvDDNS : " + longText + " \r\n");
  EXPECT_EQ(lines[2], "from worker");
}

TEST(Resolver, NumericTextNeedsNoLookupAndTheHookAnswersNames) {
  EXPECT_EQ(ResolveHostV4("127.0.0.1"), std::optional<std::uint32_t>(htonl(0x7F000001)));
  SetResolverHook([](const std::string& host) -> std::optional<std::uint32_t> {
    if (host == "dvr.example.test") return htonl(0x7F000001);
    return std::nullopt;
  });
  EXPECT_EQ(ResolveHostV4("dvr.example.test"), std::optional<std::uint32_t>(htonl(0x7F000001)));
  EXPECT_EQ(ResolveHostV4("other.example.test"), std::nullopt);
  EXPECT_EQ(ResolveHostV4("10.1.2.3"), std::optional<std::uint32_t>(htonl(0x0A010203)));
  SetResolverHook({});
}
