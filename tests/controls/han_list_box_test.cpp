// The site list box: owner drawing, selection colour, the selection
// notification posted on every drawing of the selected line, item data.
#include <gtest/gtest.h>

#include <QTest>
#include <cmath>

#include "controls/han_list_box.h"
#include "platform/ui/font.h"
#include "platform/ui/window_api.h"
#include "support/pump.h"
#include "support_gui/test_window.h"

namespace {

using lvtest::TestWindow;

constexpr lv::DWORD kSiteListStyle = 0x50800160;
constexpr lv::UINT kLineHeight = 80;

class HanListBoxTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(list.Create(kSiteListStyle, {0, 0, 480, 400}, &owner, 2024));
    list.SetLogFont(lv::LOGFONT{});
    for (const auto& [text, data] : {std::pair{u"Alpha", 10}, std::pair{u"Beta", 20}, std::pair{u"Gamma", 30}})
      list.AddItem(text, data);
    for (int i = 0; i < list.GetCount(); ++i) list.SetItemHeight(i, kLineHeight);
    Settle();
  }

  void Settle() {
    // The first drawing, whose lines the tests do not look at.
    lvtest::PumpUntil([&] { return debug.Contains(" CHanListBox::OnEraseBkgnd\r\n"); });
    owner.received.clear();
    debug.Clear();
  }
  // The selections posted, once at least `count` arrived (or the wait ran
  // out); count 0 lets the loop run a while to show that none arrives.
  std::vector<lvtest::Received> Selections(std::size_t count) {
    if (count == 0) lvtest::PumpFor(20);
    lvtest::PumpUntil([&] { return owner.Count(lv::WM_SITE_LIST_SELECT) >= count; });
    return owner.Of(lv::WM_SITE_LIST_SELECT);
  }
  void Tap(int line) {
    QTest::mouseClick(list.GetWidget(), Qt::LeftButton, {}, QPoint(200, line * int(kLineHeight) + 40));
  }
  QColor LineColour(int line) {
    return QColor(lvtest::Grab(list.GetSafeHwnd()).pixel(470, line * int(kLineHeight) + 5));
  }

  TestWindow owner{{0, 0, 480, 500}};
  lv::CHanListBox list;
  lvtest::DebugCapture debug;
};

TEST_F(HanListBoxTest, AddItemKeepsTheDataOfEachLine) {
  EXPECT_EQ(list.AddItem(u"Delta", 40), 3);
  EXPECT_EQ(list.GetItemData(1), 20u);
  EXPECT_EQ(list.GetItemData(3), 40u);
  EXPECT_EQ(list.AddString(u"no data"), 4);
  EXPECT_EQ(list.GetItemData(4), 0u) << "a line whose data was never set reports 0";
  std::u16string text;
  list.GetText(3, &text);
  EXPECT_EQ(text, u"Delta");
}

TEST_F(HanListBoxTest, TappingALineFillsItYellowGreenAndPostsItsSelection) {
  Tap(1);
  const auto posted = Selections(1);
  ASSERT_FALSE(posted.empty());
  EXPECT_EQ(posted.back().wParam, 1u);
  EXPECT_EQ(posted.back().lParam, 20);
  EXPECT_EQ(LineColour(1), QColor(165, 202, 51));
  EXPECT_EQ(LineColour(0), QColor(0, 0, 0));
  EXPECT_TRUE(debug.Contains(" Selected [1]\r\n"));
  EXPECT_TRUE(debug.Contains("Pre Post Message [1][20]\r\n"));
}

TEST_F(HanListBoxTest, EveryRepaintOfTheSelectedLinePostsAgain) {
  Tap(2);
  const std::size_t before = Selections(1).size();
  ASSERT_GE(before, 1u);
  lv::InvalidateRect(list.GetSafeHwnd(), nullptr, true);  // e.g. after it was covered
  lv::UpdateWindow(list.GetSafeHwnd());
  const auto after = Selections(before + 1);
  ASSERT_EQ(after.size(), before + 1);
  EXPECT_EQ(after.back().wParam, 2u);
  EXPECT_EQ(after.back().lParam, 30);
}

TEST_F(HanListBoxTest, SelectingAnotherLineRedrawsTheOldOneBlack) {
  Tap(0);
  Selections(1);
  owner.received.clear();
  debug.Clear();
  Tap(2);
  const auto posted = Selections(1);
  ASSERT_EQ(posted.size(), 1u) << "only the new line is drawn selected";
  EXPECT_EQ(posted[0].lParam, 30);
  EXPECT_TRUE(debug.Contains(" De Selected [2]\r\n"));
  EXPECT_EQ(LineColour(0), QColor(0, 0, 0));
  EXPECT_EQ(LineColour(2), QColor(165, 202, 51));
}

TEST_F(HanListBoxTest, ArrowKeysMoveTheSelection) {
  list.SetFocus();
  Tap(0);
  Selections(1);
  owner.received.clear();
  QTest::keyClick(list.GetWidget(), Qt::Key_Down);
  const auto posted = Selections(1);
  ASSERT_FALSE(posted.empty());
  EXPECT_EQ(posted.back().wParam, 1u);
  EXPECT_EQ(list.GetCurSel(), 1);
}

TEST_F(HanListBoxTest, LinesAreWhiteTextOnBlackAndTheEraseIsBlack) {
  lv::InvalidateRect(list.GetSafeHwnd(), nullptr, true);
  const QImage shot = lvtest::Grab(list.GetSafeHwnd());
  EXPECT_TRUE(debug.Contains(" CHanListBox::OnEraseBkgnd\r\n"));
  EXPECT_EQ(QColor(shot.pixel(470, 390)), QColor(0, 0, 0)) << "below the lines";
  QRect ink;  // white text of line 0: left-aligned, vertically centred
  for (int y = 0; y < int(kLineHeight); ++y)
    for (int x = 0; x < 480; ++x)
      if (qGray(shot.pixel(x, y)) > 200) ink |= QRect(x, y, 1, 1);
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_LT(ink.left(), 5);
  EXPECT_NEAR(ink.center().y(), int(kLineHeight) / 2, 6);
}

TEST_F(HanListBoxTest, FirstDrawingMakesA15PointBoldFont) {
  EXPECT_TRUE(list.IsFontSet());
  const int pixels = static_cast<int>(std::lround(15 * lv::ScreenDpiY() / 72.0));
  EXPECT_EQ(list.GetLogFontCopy().lfHeight, -pixels);
  EXPECT_EQ(list.GetLogFontCopy().lfWeight, 700);
  EXPECT_EQ(list.GetWidget()->font().pixelSize(), pixels);
  EXPECT_EQ(list.GetWidget()->font().weight(), QFont::Bold);
}

TEST_F(HanListBoxTest, AnEmptyListWithTheFocusShowsOnlyAFocusRectangle) {
  list.ResetContent();
  list.SetFocus();
  const QImage shot = lvtest::Grab(list.GetSafeHwnd());
  EXPECT_EQ(QColor(shot.pixel(0, 0)), QColor(255, 255, 255)) << "dotted outline";
  EXPECT_EQ(QColor(shot.pixel(1, 0)), QColor(0, 0, 0));
  EXPECT_EQ(QColor(shot.pixel(200, 8)), QColor(0, 0, 0)) << "inside stays black";
  EXPECT_EQ(QColor(shot.pixel(200, 200)), QColor(0, 0, 0));
  EXPECT_TRUE(Selections(0).empty());
}

TEST(HanListBoxAlone, WithoutAnOwnerNothingIsPostedAndDrawingGoesOn) {
  lv::CHanListBox list;
  ASSERT_TRUE(list.Create(0x10800160, {0, 0, 300, 200}, nullptr, 2024));  // a top-level list
  list.AddItem(u"only", 5);
  list.SetCurSel(0);
  const QImage shot = lvtest::Grab(list.GetSafeHwnd());
  EXPECT_EQ(QColor(shot.pixel(290, 3)), QColor(165, 202, 51));
}

}  // namespace
