// The bitmap resource format: exact bytes written, and refusal of malformed
// data.
#include <gtest/gtest.h>

#include <QtEndian>
#include <cstring>
#include <functional>

#include "platform/ui/dib.h"

namespace {

std::uint32_t U32At(const QByteArray& b, int at) {
  return qFromLittleEndian<std::uint32_t>(reinterpret_cast<const uchar*>(b.constData()) + at);
}
std::uint16_t U16At(const QByteArray& b, int at) {
  return qFromLittleEndian<std::uint16_t>(reinterpret_cast<const uchar*>(b.constData()) + at);
}

QImage Sample(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(x * 8 % 256, y * 8 % 256, (x + y) * 8 % 256));
  return image;
}

TEST(DibFormat, HeaderFieldsAndLayout) {
  for (int bits : {16, 32}) {
    const QByteArray dib = lv::EncodeDib(Sample(6, 3), bits);
    const int row = bits == 16 ? 12 : 24;
    ASSERT_EQ(dib.size(), 40 + row * 3 + 2) << bits;
    EXPECT_EQ(U32At(dib, 0), 40u);
    EXPECT_EQ(U32At(dib, 4), 6u);
    EXPECT_EQ(U32At(dib, 8), 3u) << "positive height: bottom-up rows";
    EXPECT_EQ(U16At(dib, 12), 1u);
    EXPECT_EQ(U16At(dib, 14), bits);
    EXPECT_EQ(U32At(dib, 16), 0u);
    EXPECT_EQ(U32At(dib, 20), static_cast<std::uint32_t>(row * 3 + 2)) << "pixel bytes + 2";
    EXPECT_EQ(U32At(dib, 24), 2834u);
    EXPECT_EQ(U32At(dib, 28), 2834u);
    EXPECT_EQ(U32At(dib, 32), 0u);
    EXPECT_EQ(U32At(dib, 36), 0u);
  }
}

TEST(DibFormat, PixelEncodingIsBottomUp555AndBgrZero) {
  QImage image(2, 2, QImage::Format_RGB32);
  image.setPixel(0, 0, qRgb(255, 0, 0));  // top-left: last row in the data
  image.setPixel(1, 0, qRgb(0, 255, 0));
  image.setPixel(0, 1, qRgb(0, 0, 255));  // bottom-left: first row
  image.setPixel(1, 1, qRgb(8, 16, 24));
  const QByteArray d16 = lv::EncodeDib(image, 16);
  EXPECT_EQ(U16At(d16, 40), 0x001F);                         // blue, bits 4..0
  EXPECT_EQ(U16At(d16, 42), (1 << 10) | (2 << 5) | 3);        // 8>>3, 16>>3, 24>>3
  EXPECT_EQ(U16At(d16, 44), 0x7C00);                         // red, bits 14..10
  EXPECT_EQ(U16At(d16, 46), 0x03E0);                         // green, bits 9..5
  const QByteArray d32 = lv::EncodeDib(image, 32);
  EXPECT_EQ(U32At(d32, 40), 0x000000FFu);                    // bytes B G R 0
  EXPECT_EQ(U32At(d32, 48), 0x00FF0000u);
  EXPECT_EQ(d32.right(2), QByteArray(2, '\0'));
}

TEST(DibFormat, DecodeRestoresSizeDepthAndPixels) {
  const QImage source = Sample(10, 7);
  const QImage d32 = lv::DecodeDib(lv::EncodeDib(source, 32));
  ASSERT_FALSE(d32.isNull());
  EXPECT_EQ(d32.depth(), 32);
  EXPECT_EQ(d32.convertToFormat(QImage::Format_RGB32), source);
  const QImage d16 = lv::DecodeDib(lv::EncodeDib(source, 16));
  ASSERT_EQ(d16.size(), source.size());
  EXPECT_EQ(d16.depth(), 16);
  const QColor c(d16.pixel(9, 0));
  const QColor want(source.pixel(9, 0));
  EXPECT_EQ(c.red() >> 3, want.red() >> 3);
  EXPECT_EQ(c.green() >> 3, want.green() >> 3);
  EXPECT_EQ(c.blue() >> 3, want.blue() >> 3);
}

TEST(DibFormat, TopDownDataIsAccepted) {
  QByteArray dib = lv::EncodeDib(Sample(3, 2), 32);
  const QImage bottomUp = lv::DecodeDib(dib);
  const std::int32_t negative = -2;
  std::memcpy(dib.data() + 8, &negative, 4);
  const QImage topDown = lv::DecodeDib(dib);
  ASSERT_FALSE(topDown.isNull());
  EXPECT_EQ(topDown.pixel(0, 0), bottomUp.pixel(0, 1));
}

struct Corruption {
  const char* name;
  std::function<void(QByteArray&)> apply;
};

void Put32(QByteArray& b, int at, std::uint32_t v) { qToLittleEndian(v, reinterpret_cast<uchar*>(b.data()) + at); }
void Put16(QByteArray& b, int at, std::uint16_t v) { qToLittleEndian(v, reinterpret_cast<uchar*>(b.data()) + at); }

class MalformedDib : public testing::TestWithParam<Corruption> {};

TEST_P(MalformedDib, IsRefused) {
  QByteArray dib = lv::EncodeDib(Sample(8, 4), 16);
  GetParam().apply(dib);
  EXPECT_TRUE(lv::DecodeDib(dib).isNull()) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    All, MalformedDib,
    testing::Values(Corruption{"empty", [](QByteArray& b) { b.clear(); }},
                    Corruption{"short header", [](QByteArray& b) { b.truncate(39); }},
                    Corruption{"header size below 40", [](QByteArray& b) { Put32(b, 0, 12); }},
                    Corruption{"header size beyond the data", [](QByteArray& b) { Put32(b, 0, 1u << 30); }},
                    Corruption{"zero width", [](QByteArray& b) { Put32(b, 4, 0); }},
                    Corruption{"negative width", [](QByteArray& b) { Put32(b, 4, 0xFFFFFFF0u); }},
                    Corruption{"huge width", [](QByteArray& b) { Put32(b, 4, 0x7FFFFFFFu); }},
                    Corruption{"zero height", [](QByteArray& b) { Put32(b, 8, 0); }},
                    Corruption{"most negative height", [](QByteArray& b) { Put32(b, 8, 0x80000000u); }},
                    Corruption{"two planes", [](QByteArray& b) { Put16(b, 12, 2); }},
                    Corruption{"24 bits", [](QByteArray& b) { Put16(b, 14, 24); }},
                    Corruption{"8 bits", [](QByteArray& b) { Put16(b, 14, 8); }},
                    Corruption{"bit fields", [](QByteArray& b) { Put32(b, 16, 3); }},
                    Corruption{"huge palette", [](QByteArray& b) { Put32(b, 32, 0xFFFFFFFFu); }},
                    Corruption{"palette past the data", [](QByteArray& b) { Put32(b, 32, 200); }},
                    Corruption{"last row cut", [](QByteArray& b) { b.chop(3); }},
                    Corruption{"rows claimed beyond the data", [](QByteArray& b) { Put32(b, 8, 5000); }}),
    [](const testing::TestParamInfo<Corruption>& info) {
      std::string n = info.param.name;
      for (char& c : n) if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return n;
    });

TEST(DibFormat, EncodeRefusesOtherDepthsAndNullImages) {
  EXPECT_TRUE(lv::EncodeDib(QImage(), 16).isEmpty());
  EXPECT_TRUE(lv::EncodeDib(Sample(2, 2), 24).isEmpty());
}

TEST(DibFormat, MissingResourceLoadsAsNull) {
  EXPECT_TRUE(lv::BitmapResourceBytes(99999).isEmpty());
  EXPECT_TRUE(lv::LoadBitmapResource(99999).isNull());
}

}  // namespace
