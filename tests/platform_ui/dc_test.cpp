// Drawing surfaces and fonts, checked on pixels.
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontMetrics>

#include "platform/ui/dc.h"
#include "platform/ui/font.h"

namespace {

// The bounding box of pixels brighter than the background.
QRect InkBox(const QImage& image) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qGray(image.pixel(x, y)) > 128) box |= QRect(x, y, 1, 1);
  return box;
}

struct Surface {
  lv::CBitmap bitmap;
  lv::CDC dc;
  Surface(int w, int h) {
    bitmap.CreateCompatibleBitmap(nullptr, w, h);
    dc.CreateCompatibleDC(nullptr);
    dc.SelectObject(&bitmap);
  }
  QImage Pixels() {
    dc.SelectObject(static_cast<lv::CBitmap*>(nullptr));  // finish drawing
    QImage copy = bitmap.Image();
    dc.SelectObject(&bitmap);
    return copy;
  }
};

lv::CFont Font(int height, int weight, std::u16string face = u"Tahoma") {
  lv::LOGFONT lf;
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfFaceName = std::move(face);
  lv::CFont font;
  font.CreateFontIndirect(lf);
  return font;
}

TEST(Fonts, HeightSignSelectsCellOrCharacterHeight) {
  const QFont cell = Font(30, lv::FW_BOLD).Font();
  EXPECT_NEAR(QFontMetrics(cell).height(), 30, 1) << "positive: the whole cell is 30 pixels";
  const QFont character = Font(-20, lv::FW_NORMAL).Font();
  EXPECT_EQ(character.pixelSize(), 20) << "negative: the character height";
  EXPECT_GT(QFontMetrics(character).height(), 20);
}

TEST(Fonts, WeightAndFaceFallback) {
  const QFont bold = Font(25, lv::FW_BOLD).Font();
  EXPECT_EQ(bold.weight(), QFont::Bold);
  EXPECT_EQ(Font(25, 0).Font().weight(), QFont::Normal);
  if (!QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) {
    EXPECT_EQ(bold.family(), QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
  }
}

TEST(Fonts, DescriptionIsKeptAndFaceCutTo31Characters) {
  lv::LOGFONT lf;
  lf.lfHeight = 40;
  lf.lfWeight = 700;
  lf.lfFaceName = std::u16string(40, u'x');
  lv::CFont font;
  ASSERT_TRUE(font.CreateFontIndirect(lf));
  lv::LOGFONT back;
  ASSERT_TRUE(font.GetLogFont(&back));
  EXPECT_EQ(back.lfHeight, 40);
  EXPECT_EQ(back.lfWeight, 700);
  EXPECT_EQ(back.lfFaceName.size(), 31u);
  lv::CFont copy = font;
  font.DeleteObject();
  EXPECT_TRUE(copy.GetLogFont(&back)) << "copies share the font";
  EXPECT_FALSE(font.GetLogFont(&back));
}

TEST(DrawText, CentredHorizontallyAndAtTheTopWithoutSingleLine) {
  Surface s(240, 60);
  s.dc.SelectObject(Font(25, lv::FW_BOLD));
  s.dc.SetTextColor(lv::RGB(255, 255, 255));
  s.dc.SetBkMode(lv::TRANSPARENT);
  s.dc.DrawText(u"MMMM", {0, 0, 240, 60}, lv::DT_CENTER | lv::DT_VCENTER);
  const QRect ink = InkBox(s.Pixels());
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_NEAR(ink.center().x(), 120, 2);
  EXPECT_LT(ink.bottom(), 30) << "vertical centring needs DT_SINGLELINE";
}

TEST(DrawText, SingleLineHonoursVerticalCentringAndClipsToTheRectangle) {
  Surface s(240, 60);
  s.dc.SelectObject(Font(25, lv::FW_BOLD));
  s.dc.SetTextColor(lv::RGB(255, 255, 255));
  s.dc.SetBkMode(lv::TRANSPARENT);
  s.dc.DrawText(u"MMMM", {0, 0, 240, 60}, lv::DT_SINGLELINE | lv::DT_VCENTER);
  const QRect ink = InkBox(s.Pixels());
  EXPECT_NEAR(ink.center().y(), 30, 3);
  EXPECT_LT(ink.left(), 5) << "left-aligned";
  Surface clipped(240, 60);
  clipped.dc.SelectObject(Font(25, lv::FW_BOLD));
  clipped.dc.SetTextColor(lv::RGB(255, 255, 255));
  clipped.dc.DrawText(u"MMMMMMMMMMMM", {0, 0, 50, 60}, lv::DT_SINGLELINE);
  EXPECT_LT(InkBox(clipped.Pixels()).right(), 50);
}

TEST(DrawText, AmpersandIsDrawnAsItIs) {
  Surface a(200, 40), b(200, 40);
  for (Surface* s : {&a, &b}) {
    s->dc.SelectObject(Font(25, lv::FW_NORMAL));
    s->dc.SetTextColor(lv::RGB(255, 255, 255));
  }
  a.dc.DrawText(u"R&D", {0, 0, 200, 40}, lv::DT_SINGLELINE);
  b.dc.DrawText(u"RD", {0, 0, 200, 40}, lv::DT_SINGLELINE);
  EXPECT_GT(InkBox(a.Pixels()).width(), InkBox(b.Pixels()).width());
}

TEST(Surfaces, BitBltCopiesFromAMemorySurface) {
  Surface src(10, 10), dst(20, 20);
  src.dc.FillSolidRect({2, 2, 6, 6}, lv::RGB(200, 10, 20));
  EXPECT_TRUE(dst.dc.BitBlt(10, 10, 4, 4, &src.dc, 2, 2, lv::SRCCOPY));
  const QImage out = dst.Pixels();
  EXPECT_EQ(QColor(out.pixel(10, 10)), QColor(200, 10, 20));
  EXPECT_EQ(QColor(out.pixel(13, 13)), QColor(200, 10, 20));
  EXPECT_EQ(QColor(out.pixel(14, 14)), QColor(0, 0, 0));
  EXPECT_FALSE(dst.dc.BitBlt(0, 0, 4, 4, &src.dc, 0, 0, 0x00330008)) << "only plain copies";
}

TEST(Surfaces, RectangleUsesPenOutlineAndBrushInterior) {
  Surface s(10, 10);
  s.dc.SelectObject(lv::CBrush::Solid(lv::RGB(0, 0, 255)));
  s.dc.SelectObject(lv::CPen::Solid(1, lv::RGB(255, 0, 0)));
  s.dc.Rectangle({1, 1, 9, 9});
  const QImage out = s.Pixels();
  EXPECT_EQ(QColor(out.pixel(1, 1)), QColor(255, 0, 0));
  EXPECT_EQ(QColor(out.pixel(8, 8)), QColor(255, 0, 0)) << "the outline stays inside";
  EXPECT_EQ(QColor(out.pixel(9, 9)), QColor(0, 0, 0));
  EXPECT_EQ(QColor(out.pixel(4, 4)), QColor(0, 0, 255));
}

TEST(Surfaces, AlphaBlendOntoAMemorySurfaceAddsHalf) {
  Surface picture(4, 4), badge(4, 4);
  picture.dc.FillSolidRect({0, 0, 4, 4}, lv::RGB(40, 40, 40));
  badge.dc.FillSolidRect({0, 0, 4, 4}, lv::RGB(255, 168, 0));
  ASSERT_TRUE(picture.dc.AlphaBlend(0, 0, 4, 4, &badge.dc, 0, 0, 4, 4, {lv::AC_SRC_OVER, 0, 128, lv::AC_SRC_ALPHA}));
  EXPECT_EQ(QColor(picture.Pixels().pixel(1, 1)), QColor(168, 124, 40));
}

TEST(Surfaces, SelectedBitmapCannotBeDeletedAndMayDieFirst) {
  lv::CDC dc;
  dc.CreateCompatibleDC(nullptr);
  {
    lv::CBitmap bitmap;
    bitmap.CreateCompatibleBitmap(nullptr, 4, 4);
    dc.SelectObject(&bitmap);
    dc.FillSolidRect({0, 0, 4, 4}, lv::RGB(1, 2, 3));
    EXPECT_FALSE(bitmap.DeleteObject());
  }
  EXPECT_EQ(dc.SelectedBitmap(), nullptr);
  dc.FillSolidRect({0, 0, 4, 4}, lv::RGB(1, 2, 3));  // nothing to draw on: no effect
  lv::CDC none;
  EXPECT_TRUE(none.IsNull());
  none.DrawText(u"x", {0, 0, 10, 10}, 0);
}

}  // namespace
