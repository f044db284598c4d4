// The text label, checked on its pixels.
#include <gtest/gtest.h>

#include "controls/text_label.h"
#include "platform/ui/window_api.h"
#include "support_gui/test_window.h"

namespace {

constexpr QColor kGrey(50, 50, 50);

// The bounding box of pixels that differ from the background.
QRect Ink(const QImage& image, QColor background) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (QColor(image.pixel(x, y)) != background) box |= QRect(x, y, 1, 1);
  return box;
}

class TextLabelTest : public testing::Test {
 protected:
  void SetUp() override {
    // A template static, taken over by the label as a dialog binds it.
    const lv::HWND stat = lv::CreateWindowEx(0, u"STATIC", u"Site Name", lv::WS_CHILD | lv::WS_VISIBLE, 0, 0, 240,
                                             118, parent.GetSafeHwnd(), 1005);
    ASSERT_TRUE(label.SubclassWindow(stat));
    label.SetForeColor(lv::RGB(255, 255, 255));
    label.SetBackColor(lv::RGB(50, 50, 50));
    label.CreateLabelFont(30, 30, true);
  }
  QImage Shot() { return lvtest::Grab(label.GetSafeHwnd()); }

  lvtest::TestWindow parent;
  lv::CTextLabel label;
};

TEST_F(TextLabelTest, TextIsCentredAcrossAndStartsAtTheTop) {
  const QImage shot = Shot();
  EXPECT_EQ(QColor(shot.pixel(0, 0)), kGrey);
  EXPECT_EQ(QColor(shot.pixel(239, 117)), kGrey);
  const QRect ink = Ink(shot, kGrey);
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_NEAR(ink.center().x(), 120, 2);
  EXPECT_LT(ink.bottom(), 32) << "no vertical centring without a single line";
  bool white = false;
  for (int x = ink.left(); x <= ink.right(); ++x) white |= QColor(shot.pixel(x, ink.center().y())) == Qt::white;
  EXPECT_TRUE(white);
}

TEST_F(TextLabelTest, EmptyTextPaintsOnlyTheBackground) {
  label.SetWindowText(u"");
  EXPECT_TRUE(Ink(Shot(), kGrey).isEmpty());
}

TEST_F(TextLabelTest, NewTextShowsCentredAtTheNextPaint) {
  const QRect before = Ink(Shot(), kGrey);
  label.SetWindowText(u"ID");
  const QRect after = Ink(Shot(), kGrey);
  EXPECT_LT(after.width(), before.width());
  EXPECT_NEAR(after.center().x(), 120, 2);
}

TEST_F(TextLabelTest, FontCellHeightFollowsCreateLabelFont) {
  label.SetWindowText(u"Ag");
  const int tall = Ink(Shot(), kGrey).height();
  label.CreateLabelFont(15, 15, false);
  const int small = Ink(Shot(), kGrey).height();
  EXPECT_GT(tall, small);
  EXPECT_FALSE(label.Bold());
  EXPECT_EQ(label.FontHeight(), 15);
}

TEST(TextLabelDefaults, WithoutAFontTheTextStillShowsBlackOnWhite) {
  lvtest::TestWindow parent;
  lv::CTextLabel label;
  label.SubclassWindow(
      lv::CreateWindowEx(0, u"STATIC", u"Status", lv::WS_CHILD | lv::WS_VISIBLE, 0, 0, 120, 40, parent.GetSafeHwnd(), 1013));
  const QImage shot = lvtest::Grab(label.GetSafeHwnd());
  EXPECT_EQ(QColor(shot.pixel(0, 0)), QColor(255, 255, 255));
  EXPECT_FALSE(Ink(shot, Qt::white).isEmpty());
  EXPECT_EQ(label.Format(), lv::DT_CENTER | lv::DT_VCENTER);
}

}  // namespace
