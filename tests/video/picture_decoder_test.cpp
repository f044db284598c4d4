// The picture decoder: the DCT scale it picks, and the pictures it refuses.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "video/picture_decoder.h"

namespace {

// A grey JPEG of the given size, one shade all over, or busy (its bytes are
// mostly picture data, not tables).
std::vector<std::uint8_t> GreyJpeg(int width, int height, std::uint8_t shade = 0x80, bool busy = false) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), shade);
  if (busy)
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * i * 2654435761u >> 24);
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const int rc = tjCompress2(tj, pixels.data(), width, width, height, TJPF_GRAY, &out, &size, TJSAMP_GRAY, 90, 0);
  std::vector<std::uint8_t> jpeg = rc == 0 ? std::vector<std::uint8_t>(out, out + size) : std::vector<std::uint8_t>{};
  tjFree(out);
  tjDestroy(tj);
  return jpeg;
}

TEST(PictureDecoder, ShrinksByTheLargestPowerOfTwoThatStaysAtLeastTheDrawnSize) {
  lv::PictureDecoder decoder(480, 360);
  ASSERT_TRUE(decoder.Ok());
  const struct {
    int width, height, divisor;
  } cases[] = {{352, 240, 1}, {704, 480, 1}, {959, 720, 1}, {960, 720, 2},  {1280, 720, 2},
               {1920, 1440, 4}, {3840, 2880, 8}, {7680, 5760, 8}, {7680, 700, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(decoder.ScaleDivisorFor(c.width, c.height), c.divisor) << c.width << "x" << c.height;
    const std::vector<std::uint8_t> jpeg = GreyJpeg(c.width, c.height);
    const QImage image = decoder.Decode(jpeg.data(), jpeg.size());
    EXPECT_EQ(image.size(), QSize((c.width + c.divisor - 1) / c.divisor, (c.height + c.divisor - 1) / c.divisor))
        << c.width << "x" << c.height;
    if (!image.isNull()) {
      EXPECT_NEAR(qGray(image.pixel(image.width() / 2, image.height() / 2)), 0x80, 2);
    }
  }
}

TEST(PictureDecoder, RefusesDamagedPicturesAndOversizedOnes) {
  lv::PictureDecoder large(8192, 8192);  // never scales these down
  const std::vector<std::uint8_t> atLimit = GreyJpeg(4096, 4096), overLimit = GreyJpeg(4097, 4096);
  EXPECT_EQ(large.Decode(atLimit.data(), atLimit.size()).size(), QSize(4096, 4096));
  EXPECT_TRUE(large.Decode(overLimit.data(), overLimit.size()).isNull()) << "one column over the bound";

  lv::PictureDecoder decoder;
  std::vector<std::uint8_t> huge = GreyJpeg(64, 48);  // its frame header made to claim 65535 x 65535
  const std::uint8_t frameMarker[] = {0xFF, 0xC0};
  std::fill_n(std::search(huge.begin(), huge.end(), frameMarker, frameMarker + 2) + 5, 4, 0xFF);
  std::vector<std::uint8_t> truncated = GreyJpeg(256, 192, 0, true);
  truncated.resize(truncated.size() / 2);
  std::vector<std::uint8_t> scrambled = GreyJpeg(256, 192, 0, true);
  for (std::size_t i = scrambled.size() / 2; i < scrambled.size() - 2; ++i) scrambled[i] = 0xFF;
  const std::vector<std::uint8_t> good = GreyJpeg(64, 48);
  for (const auto* bad : {&huge, &truncated, &scrambled}) {
    EXPECT_TRUE(decoder.Decode(bad->data(), bad->size()).isNull()) << bad->size() << " bytes";
    EXPECT_EQ(decoder.Decode(good.data(), good.size()).size(), QSize(64, 48)) << "a good one after a bad one";
  }
}

}  // namespace
