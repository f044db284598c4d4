// The skin bitmaps: the table, the embedded resources in their format, and a
// look at each role's picture.
#include <gtest/gtest.h>

#include <QtEndian>
#include <set>

#include "controls/skin.h"
#include "platform/ui/dib.h"

namespace {

struct Range {
  int first, last, width, height, bits;
  lv::SkinRole role;
};

const std::vector<Range> kRanges = {
    {130, 141, 120, 106, 16, lv::SkinRole::SiteListButton}, {147, 148, 120, 60, 32, lv::SkinRole::Arrow},
    {150, 155, 240, 106, 16, lv::SkinRole::RegButton},      {160, 223, 120, 60, 16, lv::SkinRole::ChannelButton},
    {224, 224, 480, 360, 16, lv::SkinRole::TitlePicture},   {225, 256, 120, 60, 16, lv::SkinRole::PtzButton},
    {257, 272, 50, 50, 32, lv::SkinRole::PtzOverlay},       {273, 273, 50, 30, 32, lv::SkinRole::PtzBadge},
};

TEST(SkinTable, HoldsThe134IdsOfTheRangesWithTheirSizesAndDepths) {
  std::set<int> expected;
  for (const Range& r : kRanges)
    for (int id = r.first; id <= r.last; ++id) expected.insert(id);
  ASSERT_EQ(expected.size(), 134u);
  std::set<int> ids;
  for (const lv::SkinBitmapInfo& info : lv::kSkinBitmaps) {
    EXPECT_TRUE(ids.insert(info.id).second) << "duplicate " << info.id;
    const lv::SkinBitmapInfo* found = lv::FindSkinBitmap(info.id);
    ASSERT_EQ(found, &info);
  }
  EXPECT_EQ(ids, expected);
  for (const Range& r : kRanges) {
    for (int id = r.first; id <= r.last; ++id) {
      const lv::SkinBitmapInfo* info = lv::FindSkinBitmap(id);
      ASSERT_NE(info, nullptr) << id;
      EXPECT_EQ(info->width, r.width) << id;
      EXPECT_EQ(info->height, r.height) << id;
      EXPECT_EQ(info->bits, r.bits) << id;
      EXPECT_EQ(info->role, r.role) << id;
    }
  }
  for (int gap : {142, 146, 149, 156, 159}) EXPECT_EQ(lv::FindSkinBitmap(gap), nullptr) << gap;
}

TEST(SkinTable, IdRulesOfTheButtonsEndWhereTheTableSays) {
  EXPECT_EQ(lv::ChannelButtonAbsent(15), 223);
  EXPECT_EQ(lv::PtzButtonPressed(15), 256);
  EXPECT_EQ(lv::FindSkinBitmap(224)->role, lv::SkinRole::TitlePicture) << "between the grids: not a button face";
  EXPECT_EQ(lv::ListButtonHover(3), 141);
  EXPECT_EQ(lv::PtzOverlay(15), 272);
}

std::uint32_t U32(const QByteArray& b, int at) {
  return qFromLittleEndian<std::uint32_t>(reinterpret_cast<const uchar*>(b.constData()) + at);
}
std::uint16_t U16(const QByteArray& b, int at) {
  return qFromLittleEndian<std::uint16_t>(reinterpret_cast<const uchar*>(b.constData()) + at);
}

TEST(SkinResources, EveryBitmapIsEmbeddedInTheResourceFormat) {
  for (const lv::SkinBitmapInfo& info : lv::kSkinBitmaps) {
    SCOPED_TRACE(info.id);
    const QByteArray raw = lv::BitmapResourceBytes(info.id);
    ASSERT_GE(raw.size(), 40);
    const std::uint32_t pixelBytes = static_cast<std::uint32_t>(info.width * info.bits / 8 * info.height);
    EXPECT_EQ(U32(raw, 0), 40u);
    EXPECT_EQ(static_cast<int>(U32(raw, 4)), info.width);
    EXPECT_EQ(static_cast<int>(U32(raw, 8)), info.height);
    EXPECT_EQ(U16(raw, 12), 1);
    EXPECT_EQ(U16(raw, 14), info.bits);
    EXPECT_EQ(U32(raw, 16), 0u);
    EXPECT_EQ(U32(raw, 20), pixelBytes + 2);
    EXPECT_EQ(U32(raw, 24), 2834u);
    EXPECT_EQ(U32(raw, 28), 2834u);
    EXPECT_EQ(U32(raw, 32), 0u);
    EXPECT_EQ(U32(raw, 36), 0u);
    EXPECT_EQ(static_cast<std::uint32_t>(raw.size()), 40 + pixelBytes + 2);
    if (info.bits == 32) {
      bool fourthBytesZero = true;
      for (std::uint32_t i = 40 + 3; i < 40 + pixelBytes; i += 4) fourthBytesZero &= raw[int(i)] == 0;
      EXPECT_TRUE(fourthBytesZero);
    } else {
      bool topBitZero = true;
      for (std::uint32_t i = 40; i < 40 + pixelBytes; i += 2) topBitZero &= (U16(raw, int(i)) & 0x8000) == 0;
      EXPECT_TRUE(topBitZero);
    }
    const QImage image = lv::LoadSkinBitmap(info.id);
    EXPECT_EQ(image.size(), QSize(info.width, info.height));
    EXPECT_EQ(image.depth(), info.bits);
  }
}

TEST(SkinResources, NothingOutsideTheTableIsEmbedded) {
  for (int id = 0; id < 400; ++id)
    if (!lv::FindSkinBitmap(id)) {
      EXPECT_TRUE(lv::BitmapResourceBytes(id).isEmpty()) << id;
    }
}

// Average colour of a picture (or a part of it).
QColor Mean(const QImage& image, QRect area = {}) {
  if (area.isNull()) area = image.rect();
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  long r = 0, g = 0, b = 0, n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x, ++n) {
      const QRgb p = rgb.pixel(x, y);
      r += qRed(p), g += qGreen(p), b += qBlue(p);
    }
  return QColor(int(r / n), int(g / n), int(b / n));
}

int CountNear(const QImage& image, QColor want, int tolerance) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  int n = 0;
  for (int y = 0; y < rgb.height(); ++y)
    for (int x = 0; x < rgb.width(); ++x) {
      const QColor c(rgb.pixel(x, y));
      n += std::abs(c.red() - want.red()) <= tolerance && std::abs(c.green() - want.green()) <= tolerance &&
           std::abs(c.blue() - want.blue()) <= tolerance;
    }
  return n;
}

// The colour of a button's face: a strip along its left edge, clear of the
// icon and caption.
QColor Face(int id) {
  const QImage image = lv::LoadSkinBitmap(id);
  return Mean(image, QRect(3, 3, 12, image.height() - 6));
}

bool Dark(QColor c) { return c.lightness() < 60; }
bool BrightBlue(QColor c) { return c.blue() > c.red() + 60 && c.lightness() > 100; }
bool DarkBlue(QColor c) { return c.blue() > c.red() + 20 && c.lightness() < 70; }

TEST(SkinPictures, ButtonStatesHaveTheirFaces) {
  // Site list and registration buttons: normal carbon, pressed dark blue, hover bright blue.
  for (int first : {130, 133, 136, 139, 150, 153}) {
    SCOPED_TRACE(first);
    EXPECT_TRUE(Dark(Face(first)));
    EXPECT_TRUE(DarkBlue(Face(first + 1)));
    EXPECT_TRUE(BrightBlue(Face(first + 2)));
  }
  // Channel buttons: normal and hover bright blue, pressed dark blue, absent dark grey.
  for (int k = 0; k < 16; ++k) {
    SCOPED_TRACE(k);
    EXPECT_TRUE(BrightBlue(Face(lv::ChannelButtonNormal(k))));
    EXPECT_TRUE(BrightBlue(Face(lv::ChannelButtonHover(k))));
    EXPECT_TRUE(DarkBlue(Face(lv::ChannelButtonPressed(k))));
    EXPECT_TRUE(Dark(Face(lv::ChannelButtonAbsent(k))));
    EXPECT_GT(CountNear(lv::LoadSkinBitmap(lv::ChannelButtonNormal(k)), Qt::white, 8), 30) << "a white number";
  }
}

TEST(SkinPictures, ChannelFacesShowTheirOwnNumbers) {
  std::set<QByteArray> faces;
  for (int k = 0; k < 16; ++k) faces.insert(lv::BitmapResourceBytes(lv::ChannelButtonNormal(k)));
  EXPECT_EQ(faces.size(), 16u);
  // Two-digit numbers (10..16) are wider than one-digit ones.
  const auto inkWidth = [](int id) {
    const QImage image = lv::LoadSkinBitmap(id).convertToFormat(QImage::Format_RGB32);
    int left = image.width(), right = -1;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (QColor(image.pixel(x, y)).lightness() > 230) left = std::min(left, x), right = std::max(right, x);
    return right - left;
  };
  EXPECT_GT(inkWidth(lv::ChannelButtonNormal(9)), inkWidth(lv::ChannelButtonNormal(8)) + 8);
}

TEST(SkinPictures, PtzPicturesAreOrange) {
  const QColor orange(255, 168, 0);
  for (int k = 0; k < 16; ++k) {
    SCOPED_TRACE(k);
    const bool blank = k == 5;
    EXPECT_EQ(CountNear(lv::LoadSkinBitmap(lv::PtzButtonNormal(k)), orange, 10) > 20, !blank);
    EXPECT_TRUE(Dark(Face(lv::PtzButtonNormal(k))));
    EXPECT_TRUE(BrightBlue(Face(lv::PtzButtonPressed(k))));
    const QImage overlay = lv::LoadSkinBitmap(lv::PtzOverlay(k)).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(QColor(overlay.pixel(1, 25)), orange) << "an orange frame";
    EXPECT_EQ(QColor(overlay.pixel(6, 6)), QColor(0, 0, 0)) << "on black";
  }
  const QImage badge = lv::LoadSkinBitmap(lv::IDB_PTZ_BADGE);
  EXPECT_GT(CountNear(badge, orange, 10), 40);
  EXPECT_EQ(QColor(badge.convertToFormat(QImage::Format_RGB32).pixel(0, 0)), QColor(0, 0, 0));
}

TEST(SkinPictures, TitlePictureIsDarkWithGreyLettersInTheMiddle) {
  const QImage title = lv::LoadSkinBitmap(lv::IDB_TITLE);
  EXPECT_TRUE(Dark(Mean(title)));
  const QColor middle = Mean(title, QRect(60, 140, 360, 50));
  EXPECT_GT(middle.lightness(), Mean(title).lightness() + 30) << "the name stands out";
  EXPECT_LT(std::abs(middle.red() - middle.blue()), 40) << "grey letters";
}

}  // namespace
