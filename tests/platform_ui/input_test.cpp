// Pen and key input as window messages: coordinates, capture, the
// pre-translation walk, and command routing from a real control.
#include <gtest/gtest.h>

#include <QTest>

#include "platform/ui/listbox.h"
#include "platform/ui/window_api.h"
#include "support/pump.h"
#include "support_gui/test_window.h"

namespace {

using lv::HWND;
using lvtest::TestWindow;

struct Family {
  TestWindow parent{{0, 0, 300, 200}};
  lvtest::ChildWindow child{parent, {50, 40, 150, 120}, 1};
  lvtest::ChildWindow other{parent, {200, 40, 250, 90}, 2};
};

TEST(PenInput, DownMoveUpCarryWindowCoordinatesLowXHighY) {
  Family f;
  QWidget* w = f.child.GetWidget();
  QTest::mousePress(w, Qt::LeftButton, {}, QPoint(7, 9));
  QTest::mouseMove(w, QPoint(30, 60));
  QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(31, 61));
  const auto down = f.child.Of(lv::WM_LBUTTONDOWN);
  const auto up = f.child.Of(lv::WM_LBUTTONUP);
  ASSERT_EQ(down.size(), 1u);
  ASSERT_EQ(up.size(), 1u);
  EXPECT_EQ(down[0].lParam, lv::MAKELPARAM(7, 9));
  EXPECT_EQ(down[0].wParam, lv::MK_LBUTTON);
  ASSERT_FALSE(f.child.Of(lv::WM_MOUSEMOVE).empty());
  EXPECT_EQ(lv::CPoint(f.child.Of(lv::WM_MOUSEMOVE).back().lParam), lv::CPoint(30, 60));
  EXPECT_EQ(lv::CPoint(up[0].lParam), lv::CPoint(31, 61));
}

TEST(PenInput, ParentSeesPenDownOfItsChildFirstAndCanConsumeIt) {
  Family f;
  f.parent.preTranslate = [](const lv::MSG& m) { return m.message == lv::WM_LBUTTONDOWN; };
  QTest::mousePress(f.child.GetWidget(), Qt::LeftButton, {}, QPoint(3, 4));
  QTest::mouseRelease(f.child.GetWidget(), Qt::LeftButton, {}, QPoint(3, 4));
  ASSERT_FALSE(f.parent.pretranslated.empty());
  const lv::MSG& m = f.parent.pretranslated.front();
  EXPECT_EQ(m.hwnd, f.child.GetSafeHwnd());
  EXPECT_EQ(lv::CPoint(m.lParam), lv::CPoint(3, 4)) << "coordinates of the addressed window";
  EXPECT_EQ(f.child.Count(lv::WM_LBUTTONDOWN), 0u);
  EXPECT_EQ(f.child.Count(lv::WM_LBUTTONUP), 1u);
}

TEST(PenInput, CaptureSendsPenInputToTheCapturingWindowInItsCoordinates) {
  Family f;
  lv::SetCapture(f.child.GetSafeHwnd());
  EXPECT_EQ(lv::GetCapture(), f.child.GetSafeHwnd());
  // A press on the other child (x 200) goes to the captor (x 50): 150 + 5.
  QTest::mousePress(f.other.GetWidget(), Qt::LeftButton, {}, QPoint(5, 6));
  QTest::mouseMove(f.other.GetWidget(), QPoint(-250, 6));
  QTest::mouseRelease(f.other.GetWidget(), Qt::LeftButton, {}, QPoint(5, 6));
  EXPECT_EQ(f.other.Count(lv::WM_LBUTTONDOWN), 0u);
  ASSERT_EQ(f.child.Count(lv::WM_LBUTTONDOWN), 1u);
  EXPECT_EQ(lv::CPoint(f.child.Of(lv::WM_LBUTTONDOWN)[0].lParam), lv::CPoint(155, 6));
  // Left of the captor's window: a negative x, packed as a signed 16-bit value.
  EXPECT_EQ(lv::CPoint(f.child.Of(lv::WM_MOUSEMOVE).back().lParam), lv::CPoint(-100, 6));
  lv::ReleaseCapture();
  EXPECT_EQ(lv::GetCapture(), 0u);
}

TEST(PenInput, DestroyingTheCapturingWindowReleasesTheCapture) {
  Family f;
  lv::SetCapture(f.child.GetSafeHwnd());
  f.child.DestroyWindow();
  EXPECT_EQ(lv::GetCapture(), 0u);
  QTest::mousePress(f.other.GetWidget(), Qt::LeftButton, {}, QPoint(1, 1));
  EXPECT_EQ(f.other.Count(lv::WM_LBUTTONDOWN), 1u);
}

TEST(PenInput, ADisabledChildLeavesThePenToItsParent) {
  Family f;
  f.child.EnableWindow(false);
  QTest::mousePress(f.child.GetWidget(), Qt::LeftButton, {}, QPoint(2, 3));
  EXPECT_EQ(f.child.Count(lv::WM_LBUTTONDOWN), 0u);
  ASSERT_EQ(f.parent.Count(lv::WM_LBUTTONDOWN), 1u);
  EXPECT_EQ(lv::CPoint(f.parent.Of(lv::WM_LBUTTONDOWN)[0].lParam), lv::CPoint(52, 43));
}

TEST(PenInput, DoubleTapIsTwoPenDowns) {
  Family f;
  QWidget* w = f.child.GetWidget();
  // What Qt delivers for a double tap: the second press is followed by a
  // double-click event.
  QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(4, 4));
  QTest::mousePress(w, Qt::LeftButton, {}, QPoint(4, 4));
  QTest::mouseDClick(w, Qt::LeftButton, {}, QPoint(4, 4));
  QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(4, 4));
  EXPECT_EQ(f.child.Count(lv::WM_LBUTTONDOWN), 2u);
  EXPECT_EQ(f.child.Count(lv::WM_LBUTTONUP), 2u);
}

// A window drawn at twice its layout size, and 200 pixels wider: children sit
// at their scaled rectangles in the centre; messages and look-ups keep layout units.
TEST(PenInput, AScaledWindowMapsPenAndGeometryBackToItsLayout) {
  TestWindow top;
  lvtest::ChildWindow child(top, {100, 100, 200, 150}, 7);
  top.GetWidget()->resize(1160, 640);
  EXPECT_EQ(child.GetWidget()->geometry(), QRect(300, 200, 200, 100));
  QTest::mouseClick(top.GetWidget()->windowHandle(), Qt::LeftButton, {}, QPoint(350, 260));
  ASSERT_EQ(child.Count(lv::WM_LBUTTONDOWN), 1u);
  EXPECT_EQ(lv::CPoint(child.Of(lv::WM_LBUTTONDOWN)[0].lParam), lv::CPoint(25, 30));
  lv::CRect rc;
  child.GetClientRect(&rc);
  EXPECT_EQ(rc, lv::CRect(0, 0, 100, 50));
  lv::CPoint p(10, 20);
  child.ClientToScreen(&p);
  top.ScreenToClient(&p);
  EXPECT_EQ(p, lv::CPoint(110, 120));
}

TEST(KeyInput, KeyDownThenCharacterWithControlStateReadable) {
  Family f;
  f.child.SetFocus();
  std::vector<std::int16_t> controlStates;
  f.child.onMessage = [&](lv::UINT msg, lv::WPARAM w, lv::LPARAM) {
    if (msg == lv::WM_KEYDOWN && w != static_cast<lv::WPARAM>(lv::VK_CONTROL))
      controlStates.push_back(lv::GetKeyState(lv::VK_CONTROL));
  };
  QTest::keyClick(f.child.GetWidget(), Qt::Key_A);
  QTest::keyClick(f.child.GetWidget(), Qt::Key_Left, Qt::ControlModifier);
  QTest::keyClick(f.child.GetWidget(), Qt::Key_Return);
  std::vector<lvtest::Received> downs;  // the Control key itself comes as a key of its own
  for (const auto& d : f.child.Of(lv::WM_KEYDOWN))
    if (d.wParam != static_cast<lv::WPARAM>(lv::VK_CONTROL)) downs.push_back(d);
  const auto chars = f.child.Of(lv::WM_CHAR);
  ASSERT_EQ(downs.size(), 3u);
  EXPECT_EQ(downs[0].wParam, static_cast<lv::WPARAM>('A'));
  EXPECT_EQ(downs[1].wParam, static_cast<lv::WPARAM>(lv::VK_LEFT));
  EXPECT_EQ(downs[2].wParam, static_cast<lv::WPARAM>(lv::VK_RETURN));
  ASSERT_EQ(chars.size(), 2u) << "Left types no character";
  EXPECT_EQ(chars[0].wParam, static_cast<lv::WPARAM>('a'));
  EXPECT_EQ(chars[1].wParam, 13u);
  ASSERT_EQ(controlStates.size(), 3u);
  EXPECT_GE(controlStates[0], 0);
  EXPECT_LT(controlStates[1], 0);
  EXPECT_GE(controlStates[2], 0);
}

TEST(CommandRouting, ControlNotificationPacksIdAndCodeWithTheSender) {
  class Owner : public TestWindow {
   public:
    std::vector<std::pair<lv::WPARAM, lv::LPARAM>> commands;

   protected:
    bool OnCommand(lv::WPARAM w, lv::LPARAM l) override {
      commands.emplace_back(w, l);
      return true;
    }
  } owner;
  lv::CListBox list;
  ASSERT_TRUE(list.Create(lv::WS_CHILD | lv::WS_VISIBLE | lv::LBS_NOTIFY | lv::LBS_HASSTRINGS, {0, 0, 200, 150},
                          &owner, 2024));
  list.AddString(u"first");
  list.AddString(u"second");
  lv::CRect second;
  ASSERT_EQ(list.GetItemRect(1, &second), 0);
  QTest::mouseClick(list.GetWidget(), Qt::LeftButton, {}, QPoint(5, second.top + 1));
  ASSERT_EQ(owner.commands.size(), 1u);
  EXPECT_EQ(lv::LOWORD(owner.commands[0].first), 2024);
  EXPECT_EQ(lv::HIWORD(owner.commands[0].first), lv::LBN_SELCHANGE);
  EXPECT_EQ(static_cast<HWND>(owner.commands[0].second), list.GetSafeHwnd());
  EXPECT_EQ(list.GetCurSel(), 1);
}

}  // namespace
