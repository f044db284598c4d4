// Luma planes from JPEG and from screen pictures, and the detector on the
// simulator's own pictures.
#include <gtest/gtest.h>

#include "dvrsim/picture.h"
#include "motion/luma_decoder.h"
#include "motion/motion_detector.h"

TEST(LumaDecoder, DecodesAtAnEighthAndRefusesDamageAndGoesOn) {
  dvrsim::PictureMaker maker(704, 480, 80);
  const auto made = maker.Make({});
  const std::vector<std::uint8_t> jpeg(made.begin(), made.end());
  lv::LumaDecoder decoder;
  lv::LumaPlane plane;
  ASSERT_TRUE(decoder.Decode(jpeg.data(), jpeg.size(), &plane));
  ASSERT_EQ(plane.pixels.size(), 88u * 60u);
  EXPECT_EQ(plane.width, 88);
  const lv::LumaPlane good = plane;
  std::vector<std::uint8_t> cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2));
  std::vector<std::uint8_t> huge = jpeg, garbage(500, 0x5A), scrambled = jpeg;
  std::fill(scrambled.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2), scrambled.end() - 2, 0xFF);
  for (std::size_t i = 0; i + 8 < huge.size(); ++i)  // the frame header claims 65000 x 65000
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = huge[i + 7] = 0xFD;
      huge[i + 6] = huge[i + 8] = 0xE8;
      break;
    }
  for (const auto* bad : {&cut, &huge, &garbage, &scrambled}) {
    EXPECT_FALSE(decoder.Decode(bad->data(), bad->size(), &plane));
    EXPECT_EQ(plane.pixels, good.pixels);
    EXPECT_TRUE(decoder.Decode(jpeg.data(), jpeg.size(), &plane));  // the next good picture decodes
  }
}

TEST(ShrinkToLuma, BoxAveragesWithBt601Weights) {
  // Bytes B, G, R, X; luma = (29 B + 150 G + 77 R) / 256. The left half is
  // black, 700 of a stride of 704 pixels are used: 87 x 60 boxes of 8 x 8.
  const struct { std::uint8_t b, g, r; int luma; } colours[] = {
      {0, 0, 255, 77}, {0, 255, 0, 149}, {255, 0, 0, 29}, {255, 255, 255, 255}, {10, 20, 30, 22}};
  for (const auto& c : colours) {
    std::vector<std::uint8_t> picture(704 * 4 * 480, 0);
    for (std::size_t i = 0; i < picture.size(); i += 4)
      if (i % (704 * 4) >= 352 * 4) std::copy_n(&c.b, 3, &picture[i]), picture[i + 3] = 0xFF;
    lv::LumaPlane plane;
    lv::ShrinkToLuma(picture.data(), 700, 480, 704 * 4, &plane, 96);
    ASSERT_EQ(plane.pixels.size(), 87u * 60u);
    EXPECT_EQ(plane.width, 87);
    EXPECT_EQ(plane.pixels[10 * 87 + 43], 0);
    EXPECT_EQ(plane.pixels[59 * 87 + 44], c.luma);
  }
}

// The simulator's still scene at 10 pictures a second, the clock ticking: the
// crossing object is an event from its entry to its exit, the switch to the
// night picture none.
TEST(MotionOnSimulatorPictures, ObjectIsAnEventBrightnessJumpIsNot) {
  const dvrsim::SceneScript script{true, {2.0}, 8.0};
  dvrsim::PictureMaker maker(704, 480, 80);
  lv::LumaDecoder decoder;
  lv::LumaPlane plane;
  lv::MotionSettings settings;
  ASSERT_TRUE(lv::ParseMotionSettings("on,hold=1000", &settings, nullptr));
  lv::MotionDetector detector(settings);
  std::vector<std::pair<double, lv::MotionEdge>> edges;
  for (int i = 0; i < 120; ++i) {
    const auto jpeg = maker.Make({.minute = i / 600, .second = i / 10 % 60, .script = &script, .seconds = i / 10.0});
    ASSERT_TRUE(decoder.Decode(jpeg.data(), jpeg.size(), &plane));
    const lv::MotionEdge edge = detector.Feed(plane.View(), i * 100'000);
    if (edge != lv::MotionEdge::None) edges.emplace_back(i / 10.0, edge);
  }
  ASSERT_EQ(edges.size(), 2u);
  EXPECT_EQ(edges[0].second, lv::MotionEdge::Started);
  EXPECT_GE(edges[0].first, 2.0);
  EXPECT_LE(edges[0].first, 2.5);
  EXPECT_EQ(edges[1].second, lv::MotionEdge::Ended);
  EXPECT_GT(edges[1].first, 2.0 + dvrsim::kObjectCrossSeconds);
  EXPECT_LE(edges[1].first, 2.0 + dvrsim::kObjectCrossSeconds + 1.5);
}
