// Windows as message targets: posting (from any thread, and to windows that
// are gone), sending, timers, destruction and the pre-translation hooks.
#include <gtest/gtest.h>

#include <QPointer>
#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/ui/window_api.h"
#include "platform/ui/window_class.h"
#include "support/pump.h"
#include "support_gui/test_window.h"

namespace {

using lv::HWND;
using lvtest::PumpUntil;
using lvtest::TestWindow;

constexpr lv::UINT kAppMessage = 7024;

TEST(WindowMessages, PostedMessageArrivesWithItsWords) {
  TestWindow w;
  ASSERT_TRUE(lv::PostMessage(w.GetSafeHwnd(), kAppMessage, 3, -5));
  ASSERT_TRUE(PumpUntil([&] { return w.Count(kAppMessage) == 1; }));
  EXPECT_EQ(w.Of(kAppMessage)[0].wParam, 3u);
  EXPECT_EQ(w.Of(kAppMessage)[0].lParam, -5);
}

TEST(WindowMessages, PostingToADestroyedWindowFailsAndDeliversNothing) {
  auto w = std::make_unique<TestWindow>();
  const HWND h = w->GetSafeHwnd();
  ASSERT_TRUE(lv::PostMessage(h, kAppMessage, 1, 0));  // queued, never handled
  ASSERT_TRUE(w->DestroyWindow());
  EXPECT_FALSE(lv::IsWindow(h));
  EXPECT_FALSE(lv::PostMessage(h, kAppMessage, 2, 0));
  EXPECT_EQ(lv::SendMessage(h, kAppMessage, 0, 0), 0);
  lvtest::PumpFor(20);  // a while for the queued message, which must not be delivered
  EXPECT_EQ(w->Count(kAppMessage), 0u);
  EXPECT_EQ(w->GetSafeHwnd(), 0u);
}

TEST(WindowMessages, WorkerThreadPostsWhileTheWindowIsDestroyed) {
  auto w = std::make_unique<TestWindow>();
  const HWND h = w->GetSafeHwnd();
  std::atomic<bool> stop{false};
  std::atomic<int> refused{0};
  std::thread worker([&] {
    while (!stop.load()) {
      if (!lv::PostMessage(h, kAppMessage, 0, 0)) ++refused;
      std::this_thread::sleep_for(std::chrono::microseconds(50));  // a steady stream, not a flood
    }
  });
  ASSERT_TRUE(PumpUntil([&] { return w->Count(kAppMessage) > 10; }));
  w.reset();  // the object's destructor destroys the window
  ASSERT_TRUE(PumpUntil([&] { return refused.load() > 0; }));
  stop = true;
  worker.join();
  lvtest::PumpFor(20);
  EXPECT_FALSE(lv::IsWindow(h));
}

TEST(WindowMessages, SendMessageIsHandledBeforeItReturns) {
  TestWindow w;
  w.MapMessage(kAppMessage, [&](lv::WPARAM wp, lv::LPARAM lp) { return static_cast<lv::LRESULT>(wp + lp); });
  EXPECT_EQ(w.SendMessage(kAppMessage, 40, 2), 42);
  EXPECT_EQ(w.Count(kAppMessage), 1u);
  EXPECT_TRUE(w.pretranslated.empty()) << "sent messages skip pre-translation";
}

TEST(WindowMessages, SendMessageFromAnotherThreadDoesNothing) {
  TestWindow w;
  int handled = 0;
  w.MapMessage(kAppMessage, [&](lv::WPARAM, lv::LPARAM) {
    ++handled;
    return lv::LRESULT{1};
  });
  lv::LRESULT result = -1;
  std::thread other([&, h = w.GetSafeHwnd()] { result = lv::SendMessage(h, kAppMessage, 0, 0); });
  other.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(handled, 0) << "windows are handled on their own thread only";
}

TEST(WindowMessages, PostedMessagesPassThePreTranslationOfTheWindowAndItsParents) {
  TestWindow parent;
  lvtest::ChildWindow child(parent, {0, 0, 10, 10}, 5);  // the parent's hook sees what is addressed to it
  const HWND c = child.GetSafeHwnd();
  parent.preTranslate = [](const lv::MSG& m) { return m.wParam == 99; };
  lv::PostMessage(c, kAppMessage, 1, 0);
  lv::PostMessage(c, kAppMessage, 99, 0);  // consumed by the parent
  lv::PostMessage(c, kAppMessage, 2, 0);
  ASSERT_TRUE(PumpUntil([&] { return child.Count(kAppMessage) == 2 && parent.pretranslated.size() == 3; }));
  ASSERT_EQ(parent.pretranslated.size(), 3u);
  EXPECT_EQ(parent.pretranslated[0].hwnd, c);
  EXPECT_EQ(child.pretranslated.size(), 3u) << "the addressed window is asked first";
  EXPECT_EQ(child.Of(kAppMessage)[1].wParam, 2u);
  EXPECT_EQ(parent.Count(kAppMessage), 0u);
}

TEST(WindowTimers, TimerFiresWithItsIdUntilKilled) {
  TestWindow w;
  ASSERT_NE(w.SetTimer(1023, 5), 0u);
  ASSERT_NE(w.SetTimer(0, 5), 0u);  // id 0 is a valid window timer
  ASSERT_TRUE(PumpUntil([&] { return w.Count(lv::WM_TIMER) >= 6; }));
  bool saw1023 = false, saw0 = false;
  for (const auto& t : w.Of(lv::WM_TIMER)) {
    saw1023 |= t.wParam == 1023;
    saw0 |= t.wParam == 0;
    EXPECT_TRUE(t.wParam == 1023 || t.wParam == 0);
  }
  EXPECT_TRUE(saw1023 && saw0);
  EXPECT_TRUE(w.KillTimer(1023));
  EXPECT_TRUE(w.KillTimer(0));
  EXPECT_FALSE(w.KillTimer(0));
  lvtest::PumpFor(5);  // a tick already queued may still come
  const std::size_t seen = w.Count(lv::WM_TIMER);
  lvtest::PumpFor(40);  // several periods, with no tick
  EXPECT_EQ(w.Count(lv::WM_TIMER), seen);
}

TEST(WindowTimers, SettingAnIdAgainReplacesItsTimer) {
  TestWindow w;
  w.SetTimer(7, 10000);
  w.SetTimer(7, 5);  // the same timer, now fast
  ASSERT_TRUE(PumpUntil([&] { return w.Count(lv::WM_TIMER) >= 2; }));
  w.KillTimer(7);
  lvtest::PumpFor(5);
  const std::size_t seen = w.Count(lv::WM_TIMER);
  lvtest::PumpFor(30);
  EXPECT_EQ(w.Count(lv::WM_TIMER), seen) << "no second timer left running";
}

TEST(WindowTimers, TimerMessagesPassPreTranslation) {
  TestWindow w;
  w.preTranslate = [](const lv::MSG& m) { return m.message == lv::WM_TIMER; };
  w.SetTimer(3, 5);
  ASSERT_TRUE(PumpUntil([&] { return w.pretranslated.size() >= 2; }));
  EXPECT_EQ(w.Count(lv::WM_TIMER), 0u);
}

// A window that ends in its own handler.
class SelfDestroying : public lv::CWnd {
 public:
  bool ncDestroyed = false;

 protected:
  void OnLButtonDown(lv::UINT, lv::CPoint) override { DestroyWindow(); }
  void PostNcDestroy() override { ncDestroyed = true; }
};

TEST(WindowLifetime, DestroyingAWindowFromItsOwnHandlerIsSafe) {
  TestWindow parent;
  SelfDestroying child;
  ASSERT_TRUE(child.CreateEx(0, u"Window", u"", lv::WS_CHILD | lv::WS_VISIBLE, {10, 10, 60, 60}, &parent, 9));
  QPointer<QWidget> widget = child.GetWidget();
  QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(child.ncDestroyed);
  EXPECT_EQ(child.GetSafeHwnd(), 0u);
  QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(5, 5));  // reaches a dead window: ignored
  ASSERT_TRUE(PumpUntil([&] {
    lvtest::RunDeferredDeletes();
    return widget.isNull();
  }));
  EXPECT_EQ(lv::GetDlgItem(parent.GetSafeHwnd(), 9), 0u);
}

TEST(WindowLifetime, DestroyRunsChildrenFirstAndTellsEveryObject) {
  std::vector<std::string> order;
  class Tracked : public lv::CWnd {
   public:
    Tracked(std::vector<std::string>& log, std::string name) : m_log(log), m_name(std::move(name)) {}

   protected:
    void OnDestroy() override { m_log.push_back(m_name + ":destroy"); }
    void PostNcDestroy() override { m_log.push_back(m_name + ":gone"); }

   private:
    std::vector<std::string>& m_log;
    std::string m_name;
  };
  Tracked top(order, "top"), child(order, "child");
  ASSERT_TRUE(top.CreateEx(0, u"Window", u"", lv::WS_POPUP, {0, 0, 50, 50}, nullptr, 0));
  ASSERT_TRUE(child.CreateEx(0, u"Window", u"", lv::WS_CHILD, {0, 0, 5, 5}, &top, 1));
  const HWND childHandle = child.GetSafeHwnd();
  top.DestroyWindow();
  EXPECT_EQ(order, (std::vector<std::string>{"top:destroy", "child:destroy", "child:gone", "top:gone"}));
  EXPECT_FALSE(lv::IsWindow(childHandle));
  EXPECT_EQ(child.GetSafeHwnd(), 0u);
}

TEST(WindowState, EnableWindowSendsOneEnableMessagePerChange) {
  TestWindow w;
  EXPECT_FALSE(w.EnableWindow(false));  // was enabled
  EXPECT_TRUE(w.EnableWindow(false));   // already disabled: no message
  EXPECT_FALSE(w.IsWindowEnabled());
  EXPECT_TRUE(w.EnableWindow(true));
  const auto enables = w.Of(lv::WM_ENABLE);
  ASSERT_EQ(enables.size(), 2u);
  EXPECT_EQ(enables[0].wParam, 0u);
  EXPECT_EQ(enables[1].wParam, 1u);
  EXPECT_TRUE(w.IsWindowEnabled());
}

TEST(WindowState, ClientRectAndMovesOfChildren) {
  TestWindow parent({0, 0, 300, 200});
  const HWND c = lv::CreateWindowEx(0, u"Window", u"", lv::WS_CHILD | lv::WS_VISIBLE, 10, 20, 120, 60,
                                    parent.GetSafeHwnd(), 4);
  lv::CRect rc;
  ASSERT_TRUE(lv::GetClientRect(c, &rc));
  EXPECT_EQ(rc, lv::CRect(0, 0, 120, 60));
  lv::CRect parentClient;
  parent.GetClientRect(&parentClient);
  EXPECT_EQ(parentClient, lv::CRect(0, 0, 300, 200));
  lv::MoveWindow(c, 30, 40, 50, 70, true);
  lv::CPoint origin(0, 0);
  lv::ClientToScreen(c, &origin);
  lv::CPoint parentOrigin(0, 0);
  parent.ClientToScreen(&parentOrigin);
  EXPECT_EQ(origin, lv::CPoint(parentOrigin.x + 30, parentOrigin.y + 40));
  EXPECT_EQ(lv::GetDlgItem(parent.GetSafeHwnd(), 4), c);
  EXPECT_EQ(lv::GetParent(c), parent.GetSafeHwnd());
  EXPECT_EQ(lv::GetAncestor(c, lv::GA_ROOT), parent.GetSafeHwnd());
}

TEST(WindowState, FocusMovesWithSetFocusAndIsReported) {
  TestWindow parent;
  lvtest::ChildWindow child(parent, {0, 0, 10, 10}, 1);
  const HWND c = child.GetSafeHwnd();
  lv::SetFocus(c);
  EXPECT_EQ(lv::GetFocus(), c);
  const HWND previous = parent.SetFocus();
  EXPECT_EQ(previous, c);
  EXPECT_EQ(lv::GetFocus(), parent.GetSafeHwnd());
  ASSERT_EQ(child.Count(lv::WM_SETFOCUS), 1u);
  EXPECT_EQ(child.Count(lv::WM_KILLFOCUS), 1u);
  EXPECT_EQ(parent.Of(lv::WM_SETFOCUS).back().wParam, c) << "WM_SETFOCUS names the window that lost the focus";
}

TEST(WindowClasses, UnknownClassOrParentCreatesNothing) {
  EXPECT_EQ(lv::CreateWindowEx(0, u"NoSuchClass", u"", lv::WS_POPUP, 0, 0, 1, 1, 0, 0), 0u);
  EXPECT_EQ(lv::CreateWindowEx(0, u"Window", u"", lv::WS_CHILD, 0, 0, 1, 1, 123456789, 0), 0u);
  EXPECT_FALSE(lv::RegisterClass({u"Window", lv::HostKind::Plain, 0, nullptr})) << "names are unique";
}

}  // namespace
