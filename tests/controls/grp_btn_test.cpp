// The graphic button: states, pictures and notifications, driven by the pen.
#include <gtest/gtest.h>

#include <QPointer>
#include <QTest>

#include "controls/grp_btn.h"
#include "controls/skin.h"
#include "support/pump.h"
#include "support_gui/test_window.h"

namespace {

using lv::HWND;
using lvtest::TestWindow;

constexpr lv::UINT kId = 2001;
// Four different pictures, so that each state can be told apart on screen:
// normal, hover, pressed, disabled.
constexpr int kNormal = 130, kHover = 132, kPressed = 131, kDisabled = 133;

struct Command {
  int id;
  int code;
  HWND sender;
  friend bool operator==(const Command&, const Command&) = default;
};

class GrpBtnTest : public testing::Test {
 protected:
  void SetUp() override {
    button = lv::CreateGrpBtn(parent.GetSafeHwnd(), kId, {100, 50, 220, 156}, kNormal, kHover, kPressed, kDisabled);
    ASSERT_NE(button, 0u);
    widget = lv::WidgetFromHandle(button);
  }

  // QTest remembers held buttons across tests: let go of the pen.
  void TearDown() override { QTest::mouseRelease(parent.GetWidget(), Qt::LeftButton, {}, QPoint(470, 310)); }

  int State() const { return static_cast<int>(lv::SendMessage(button, lv::GBM_GETSTATE)); }
  std::vector<Command> Commands() const {
    std::vector<Command> out;
    for (const auto& r : parent.Of(lv::WM_COMMAND))
      out.push_back({lv::LOWORD(r.wParam), lv::HIWORD(r.wParam), static_cast<HWND>(r.lParam)});
    return out;
  }
  // True if the button shows bitmap id.
  bool Shows(int id) const {
    const QImage bitmap = lv::LoadSkinBitmap(id).convertToFormat(QImage::Format_RGB32);
    return lvtest::Grab(button).copy(bitmap.rect()) == bitmap;
  }
  // Moves the pointer (no button held) onto the button. Qt sends no move for
  // a pointer that is already there, so it passes by the parent first.
  void Hover(QPoint at = {30, 30}) {
    QTest::mouseMove(parent.GetWidget(), QPoint(460, 300));
    QTest::mouseMove(widget, at);
  }
  void Press(QPoint at = {10, 10}) { QTest::mousePress(widget, Qt::LeftButton, {}, at); }
  void Drag(QPoint to) { QTest::mouseMove(widget, to); }
  void Release(QPoint at = {10, 10}) { QTest::mouseRelease(widget, Qt::LeftButton, {}, at); }

  TestWindow parent{{0, 0, 480, 320}};
  lvtest::DebugCapture debug;
  HWND button = 0;
  QWidget* widget = nullptr;
};

TEST_F(GrpBtnTest, StartsNormalWithoutPicturesOrNotifications) {
  const HWND bare = lv::CreateWindowEx(0, lv::kGrpBtnClassName, u"", lv::WS_CHILD | lv::WS_VISIBLE, 0, 0, 120, 60,
                                       parent.GetSafeHwnd(), 7);
  ASSERT_NE(bare, 0u);
  EXPECT_EQ(lv::SendMessage(bare, lv::GBM_GETSTATE), lv::GB_NORMAL);
  QTest::mouseClick(lv::WidgetFromHandle(bare), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(Commands().empty()) << "notify is 0 until GBM_SETBITMAPS";
  EXPECT_TRUE(Shows(kNormal));
}

TEST_F(GrpBtnTest, PenDownNotifiesAtOnceAndPenUpInsideNotifiesAgain) {
  int stateDuringPress = -1;
  HWND captureDuringPress = 1;
  parent.onMessage = [&](lv::UINT msg, lv::WPARAM w, lv::LPARAM) {
    if (msg == lv::WM_COMMAND && lv::HIWORD(w) == lv::GBN_PRESSED) {
      stateDuringPress = State();
      captureDuringPress = lv::GetCapture();
    }
  };
  Press();
  ASSERT_EQ(Commands(), (std::vector<Command>{{kId, lv::GBN_PRESSED, button}}));
  EXPECT_EQ(stateDuringPress, lv::GB_PRESSED);
  EXPECT_EQ(captureDuringPress, 0u) << "the parent is told before the button takes the pen";
  EXPECT_EQ(lv::GetCapture(), button);
  EXPECT_EQ(debug.Count(" Send lbutton down\r\n"), 1u);
  EXPECT_TRUE(Shows(kPressed));

  Release({119, 105});  // the last pixel inside
  EXPECT_EQ(Commands(), (std::vector<Command>{{kId, lv::GBN_PRESSED, button}, {kId, lv::GBN_CLICKED, button}}));
  EXPECT_EQ(State(), lv::GB_NORMAL);
  EXPECT_EQ(lv::GetCapture(), 0u);
  EXPECT_TRUE(Shows(kNormal));
}

struct DragStep {
  QPoint to;
  int state;
  int picture;
};

TEST_F(GrpBtnTest, DraggingOutAndBackShowsPressedNormalPressed) {
  Press();
  const std::vector<DragStep> steps = {
      {{119, 105}, lv::GB_PRESSED, kPressed},  // still inside (right and bottom edges are outside)
      {{120, 50}, lv::GB_NORMAL, kNormal},     // the right edge
      {{-1, 50}, lv::GB_NORMAL, kNormal},
      {{60, 50}, lv::GB_PRESSED, kPressed},
      {{60, 106}, lv::GB_NORMAL, kNormal},     // the bottom edge
  };
  for (const DragStep& s : steps) {
    Drag(s.to);
    EXPECT_EQ(State(), s.state) << s.to.x() << "," << s.to.y();
    EXPECT_TRUE(Shows(s.picture)) << s.to.x() << "," << s.to.y();
  }
}

TEST_F(GrpBtnTest, ReleaseOutsideIsReportedAsSuchAndLeavesNormal) {
  Press();
  Drag({200, 200});
  Release({200, 200});
  EXPECT_EQ(Commands(), (std::vector<Command>{{kId, lv::GBN_PRESSED, button}, {kId, lv::GBN_RELEASED_OUTSIDE, button}}));
  EXPECT_EQ(State(), lv::GB_NORMAL);
  EXPECT_EQ(lv::GetCapture(), 0u);
}

TEST_F(GrpBtnTest, PenUpWithoutCaptureIsIgnored) {
  Release();
  EXPECT_TRUE(Commands().empty());
}

TEST_F(GrpBtnTest, OnePictureForAllStatesIsAPassivePicture) {
  lv::SendMessage(button, lv::GBM_SETBITMAPS, lv::MAKEWPARAM(163, 163), lv::MAKELPARAM(163, 163));
  Press();
  EXPECT_EQ(State(), lv::GB_PRESSED) << "it still changes state on touch";
  EXPECT_TRUE(Shows(163));
  Release();
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(debug.Count(" Send lbutton down\r\n"), 0u);
}

TEST_F(GrpBtnTest, DisabledButtonShowsItsPictureAndIgnoresThePen) {
  lv::EnableWindow(button, false);
  EXPECT_EQ(State(), lv::GB_DISABLED);
  EXPECT_TRUE(Shows(kDisabled));
  Press();
  Release();
  EXPECT_EQ(State(), lv::GB_DISABLED);
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(lv::GetCapture(), 0u);
  lv::EnableWindow(button, true);
  EXPECT_EQ(State(), lv::GB_NORMAL);
  EXPECT_TRUE(Shows(kNormal));
}

TEST_F(GrpBtnTest, EnablingShowsNormalWhateverWasShown) {
  Press();  // pressed and holding the pen
  lv::SendMessage(button, lv::WM_ENABLE, 0, 0);
  EXPECT_EQ(State(), lv::GB_DISABLED);
  lv::SendMessage(button, lv::WM_ENABLE, 2, 0);  // only exactly 1 enables
  EXPECT_EQ(State(), lv::GB_DISABLED);
  lv::SendMessage(button, lv::WM_ENABLE, 1, 0);
  EXPECT_EQ(State(), lv::GB_NORMAL);
}

TEST_F(GrpBtnTest, HoverStartsOnPointerMoveAndEndsByTheTimer) {
  Hover();
  EXPECT_EQ(State(), lv::GB_HOVER);
  EXPECT_TRUE(Shows(kHover));
  QTest::mouseMove(parent.GetWidget(), QPoint(400, 300));  // off the button: it hears nothing
  EXPECT_EQ(State(), lv::GB_HOVER);
  ASSERT_TRUE(lvtest::PumpUntil([&] { return State() == lv::GB_NORMAL; }));
  EXPECT_TRUE(Shows(kNormal));
  EXPECT_TRUE(Commands().empty());
}

TEST_F(GrpBtnTest, HoverWaitsWhileThePointerStaysOver) {
  Hover();
  lvtest::PumpFor(120);  // a few timer periods
  EXPECT_EQ(State(), lv::GB_HOVER);
}

TEST_F(GrpBtnTest, NoHoverWhenItsWindowIsNotInTheForeground) {
  TestWindow other({600, 0, 700, 100});  // now the active window
  ASSERT_NE(lv::GetForegroundWindow(), parent.GetSafeHwnd());
  lv::SendMessage(button, lv::WM_MOUSEMOVE, 0, lv::MAKELPARAM(30, 30));
  EXPECT_EQ(State(), lv::GB_NORMAL);
}

TEST_F(GrpBtnTest, HoverEndingOnADisabledButtonKeepsItDisabled) {
  Hover();
  ASSERT_EQ(State(), lv::GB_HOVER);
  lv::EnableWindow(button, false);
  QTest::mouseMove(parent.GetWidget(), QPoint(400, 300));
  lvtest::PumpFor(150);  // the hover timer runs out meanwhile; it must not re-enable the button
  EXPECT_EQ(State(), lv::GB_DISABLED);
  EXPECT_TRUE(Shows(kDisabled));
}

TEST_F(GrpBtnTest, SetBitmapsAgainReplacesPicturesWithoutChangingState) {
  Press();
  lv::SendMessage(button, lv::GBM_SETBITMAPS, lv::MAKEWPARAM(160, 161), lv::MAKELPARAM(162, 160));
  EXPECT_EQ(State(), lv::GB_PRESSED);
  EXPECT_TRUE(Shows(162));
  Release();
  EXPECT_TRUE(Shows(160));
  EXPECT_EQ(Commands().size(), 2u);
}

TEST_F(GrpBtnTest, PushButtonsIgnoreSetState) {
  lv::SendMessage(button, lv::GBM_SETSTATE, lv::GB_PRESSED);
  EXPECT_EQ(State(), lv::GB_NORMAL);
}

TEST_F(GrpBtnTest, ParentEndingTheButtonInItsPressHandlerIsSafe) {
  parent.onMessage = [&](lv::UINT msg, lv::WPARAM w, lv::LPARAM) {
    if (msg == lv::WM_COMMAND && lv::HIWORD(w) == lv::GBN_PRESSED) lv::DestroyWindow(button);
  };
  QPointer<QWidget> gone = widget;
  Press();
  EXPECT_FALSE(lv::IsWindow(button));
  EXPECT_EQ(lv::GetCapture(), 0u) << "no capture taken for a window that is gone";
  Release();
  EXPECT_EQ(Commands().size(), 1u);
  lvtest::RunDeferredDeletes();
  EXPECT_TRUE(gone.isNull());
}

class ToggleTest : public GrpBtnTest {
 protected:
  void SetUp() override {
    button = lv::CreateGrpBtn(parent.GetSafeHwnd(), kId, {100, 50, 220, 156}, kNormal, kHover, kPressed, kDisabled,
                              lv::GB_STYLE_TOGGLE);
    widget = lv::WidgetFromHandle(button);
  }
};

TEST_F(ToggleTest, FlipsOnEachPressAndNotifiesOnlyOnReleaseInside) {
  Press();
  EXPECT_EQ(State(), lv::GB_PRESSED);
  EXPECT_TRUE(Commands().empty()) << "no pen-down notification";
  Release();
  EXPECT_EQ(State(), lv::GB_PRESSED) << "keeps what it shows";
  Press();
  EXPECT_EQ(State(), lv::GB_NORMAL);
  Release();
  EXPECT_EQ(State(), lv::GB_NORMAL);
  EXPECT_EQ(Commands(), (std::vector<Command>{{kId, lv::GBN_CLICKED, button}, {kId, lv::GBN_CLICKED, button}}));
}

TEST_F(ToggleTest, DraggingShowsTheStartStateOutsideAndTheFlippedOneInside) {
  Press();
  Drag({300, 10});
  EXPECT_EQ(State(), lv::GB_NORMAL);
  Drag({10, 10});
  EXPECT_EQ(State(), lv::GB_PRESSED);
  Drag({300, 10});
  Release({300, 10});
  EXPECT_EQ(State(), lv::GB_NORMAL);
  EXPECT_TRUE(Commands().empty());
  Hover();
  EXPECT_EQ(State(), lv::GB_NORMAL) << "toggles have no hover";
}

TEST_F(ToggleTest, SetStateTakesTheFourStatesOnly) {
  for (int state : {lv::GB_HOVER, lv::GB_DISABLED, lv::GB_PRESSED, lv::GB_NORMAL}) {
    lv::SendMessage(button, lv::GBM_SETSTATE, static_cast<lv::WPARAM>(state));
    EXPECT_EQ(State(), state);
  }
  lv::SendMessage(button, lv::GBM_SETSTATE, 7);
  EXPECT_EQ(State(), lv::GB_NORMAL) << "a state without a picture is refused";
  EXPECT_TRUE(Shows(kNormal));
  lv::SendMessage(button, lv::GBM_SETSTATE, lv::GB_DISABLED);
  Press();
  EXPECT_EQ(State(), lv::GB_DISABLED) << "a disabled toggle ignores the pen";
}

}  // namespace
