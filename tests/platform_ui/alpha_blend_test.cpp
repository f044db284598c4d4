// The overlay blend: each overlay pixel added at half strength, saturating.
#include <gtest/gtest.h>

#include "platform/ui/alpha_blend.h"
#include "platform/ui/win_messages.h"

namespace {

QImage Filled(int w, int h, QColor c, QImage::Format format = QImage::Format_RGB32) {
  QImage image(w, h, format);
  image.fill(c);
  return image;
}

struct PixelCase {
  QColor picture;
  QColor overlay;
  QColor expected;
};

class HalfBlend : public testing::TestWithParam<PixelCase> {};

TEST_P(HalfBlend, AddsHalfOfTheOverlay) {
  const PixelCase& c = GetParam();
  QImage picture = Filled(4, 4, c.picture);
  lv::BlendOverlayHalf(picture, {0, 0}, Filled(4, 4, c.overlay));
  EXPECT_EQ(QColor(picture.pixel(2, 2)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Pixels, HalfBlend,
                         testing::Values(
                             // black leaves the picture as it is
                             PixelCase{QColor(10, 120, 250), QColor(0, 0, 0), QColor(10, 120, 250)},
                             // orange on dark grey: 255 * 128 / 255 = 128, 168 * 128 / 255 = 84
                             PixelCase{QColor(50, 50, 50), QColor(255, 168, 0), QColor(178, 134, 50)},
                             // saturates instead of wrapping
                             PixelCase{QColor(200, 250, 255), QColor(255, 255, 255), QColor(255, 255, 255)}));

TEST(HalfBlend, OnlyTheOverlayAreaChangesAndEdgesClip) {
  QImage picture = Filled(480, 360, QColor(20, 20, 20));
  const QImage overlay = Filled(50, 50, QColor(255, 168, 0));
  lv::BlendOverlayHalf(picture, {460, -10}, overlay);  // hangs over the top-right corner
  EXPECT_EQ(QColor(picture.pixel(479, 0)), QColor(148, 104, 20));
  EXPECT_EQ(QColor(picture.pixel(460, 39)), QColor(148, 104, 20));
  EXPECT_EQ(QColor(picture.pixel(459, 0)), QColor(20, 20, 20));
  EXPECT_EQ(QColor(picture.pixel(460, 40)), QColor(20, 20, 20));
  lv::BlendOverlayHalf(picture, {-100, -100}, overlay);  // entirely outside
  EXPECT_EQ(QColor(picture.pixel(0, 0)), QColor(20, 20, 20));
}

TEST(HalfBlend, IgnoresTheOverlaysOwnAlpha) {
  QImage picture = Filled(2, 2, QColor(0, 0, 0));
  lv::BlendOverlayHalf(picture, {0, 0}, Filled(2, 2, QColor(255, 0, 0, 0), QImage::Format_ARGB32));
  EXPECT_EQ(QColor(picture.pixel(0, 0)), QColor(128, 0, 0));
}

TEST(PlatformBlend, ConstantAlphaWithZeroSourceAlphaIsTheHalfAddition) {
  // The descriptor the render thread uses: over, 0, 128, source alpha. A
  // 32-bit bitmap without an alpha channel counts as alpha 0.
  QImage a = Filled(8, 8, QColor(60, 70, 80));
  QImage b = a;
  const QImage overlay = Filled(8, 8, QColor(255, 168, 0));
  ASSERT_TRUE(lv::AlphaBlend(a, {0, 0, 8, 8}, overlay, {0, 0, 8, 8}, {lv::AC_SRC_OVER, 0, 128, lv::AC_SRC_ALPHA}));
  lv::BlendOverlayHalf(b, {0, 0}, overlay);
  EXPECT_EQ(a, b);
}

TEST(PlatformBlend, OpaqueSourceAlphaCoversAndNoAlphaFormatMixes) {
  QImage covered = Filled(2, 2, QColor(0, 0, 200));
  lv::AlphaBlend(covered, {0, 0, 2, 2}, Filled(2, 2, QColor(100, 0, 0, 255), QImage::Format_ARGB32), {0, 0, 2, 2},
                 {lv::AC_SRC_OVER, 0, 255, lv::AC_SRC_ALPHA});
  EXPECT_EQ(QColor(covered.pixel(0, 0)), QColor(100, 0, 0));
  QImage mixed = Filled(2, 2, QColor(0, 0, 200));
  lv::AlphaBlend(mixed, {0, 0, 2, 2}, Filled(2, 2, QColor(200, 0, 0)), {0, 0, 2, 2}, {lv::AC_SRC_OVER, 0, 128, 0});
  EXPECT_EQ(QColor(mixed.pixel(0, 0)), QColor(100, 0, 100));
}

TEST(PlatformBlend, RefusesNullImagesAndEmptyRectangles) {
  QImage dst = Filled(2, 2, Qt::black);
  EXPECT_FALSE(lv::AlphaBlend(dst, {0, 0, 2, 2}, QImage(), {0, 0, 2, 2}, {}));
  EXPECT_FALSE(lv::AlphaBlend(dst, {0, 0, 0, 2}, Filled(2, 2, Qt::white), {0, 0, 2, 2}, {}));
  QImage none;
  EXPECT_FALSE(lv::AlphaBlend(none, {0, 0, 2, 2}, Filled(2, 2, Qt::white), {0, 0, 2, 2}, {}));
}

}  // namespace
