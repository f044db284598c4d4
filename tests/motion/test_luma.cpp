// Luma planes from JPEG and from screen pictures, and the detector on the
// simulator's own pictures.
#include <gtest/gtest.h>

#include <cmath>

#include "dvrsim/picture.h"
#include "motion/luma_decoder.h"
#include "motion/motion_detector.h"

TEST(LumaDecoder, DecodesAtAnEighthAndRefusesDamage) {
  dvrsim::PictureMaker maker(704, 480, 80);
  const auto made = maker.Make({});
  const std::vector<std::uint8_t> jpeg(made.begin(), made.end());
  lv::LumaDecoder decoder;
  lv::LumaPlane plane;
  ASSERT_TRUE(decoder.Decode(jpeg.data(), jpeg.size(), &plane));
  EXPECT_EQ(plane.width, 88);
  EXPECT_EQ(plane.height, 60);
  ASSERT_EQ(plane.pixels.size(), 88u * 60u);
  const lv::LumaPlane good = plane;

  std::vector<std::uint8_t> cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2));
  std::vector<std::uint8_t> huge = jpeg;  // SOF0 claims 65000 x 65000
  for (std::size_t i = 0; i + 8 < huge.size(); ++i)
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = huge[i + 7] = 0xFD;
      huge[i + 6] = huge[i + 8] = 0xE8;
      break;
    }
  std::vector<std::uint8_t> garbage(500, 0x5A);
  for (const auto* bad : {&cut, &huge, &garbage}) {
    EXPECT_FALSE(decoder.Decode(bad->data(), bad->size(), &plane));
    EXPECT_EQ(plane.pixels, good.pixels);
    EXPECT_EQ(plane.width, 88);
  }
}

TEST(ShrinkToLuma, BoxAveragesWithBt601Weights) {
  // Bytes B, G, R, X; expected luma = (29 B + 150 G + 77 R) / 256.
  const struct { std::uint8_t b, g, r; int luma; } colours[] = {
      {0, 0, 255, 77}, {0, 255, 0, 149}, {255, 0, 0, 29}, {255, 255, 255, 255}, {10, 20, 30, 22}};
  for (const auto& c : colours) {
    std::vector<std::uint8_t> picture(704 * 4 * 481, 0);  // one row more than used: a stride of 704 pixels
    for (std::size_t i = 0; i < picture.size(); i += 4) {
      picture[i] = c.b;
      picture[i + 1] = c.g;
      picture[i + 2] = c.r;
      picture[i + 3] = 0xFF;
    }
    // The left half black: the column at the boundary keeps its own value.
    for (int y = 0; y < 480; ++y) std::fill_n(picture.begin() + y * 704 * 4, 352 * 4, 0);
    lv::LumaPlane plane;
    lv::ShrinkToLuma(picture.data(), 700, 480, 704 * 4, &plane, 96);
    ASSERT_EQ(plane.width, 87);
    ASSERT_EQ(plane.height, 60);
    EXPECT_EQ(plane.pixels[10 * 87 + 43], 0);
    EXPECT_EQ(plane.pixels[59 * 87 + 44], c.luma);
  }
}

// The simulator's still scene at 10 pictures a second, the clock ticking: the
// crossing object is an event from its entry to its exit, the switch to the
// night picture none.
TEST(MotionOnSimulatorPictures, ObjectIsAnEventBrightnessJumpIsNot) {
  dvrsim::SceneScript script{true, {2.0}, 8.0};
  dvrsim::PictureMaker maker(704, 480, 80);
  lv::LumaDecoder decoder;
  lv::LumaPlane plane;
  lv::MotionSettings settings;
  ASSERT_TRUE(lv::ParseMotionSettings("on,hold=1000", &settings, nullptr));
  lv::MotionDetector detector(settings);
  std::vector<std::pair<double, lv::MotionEdge>> edges;
  for (int i = 0; i < 120; ++i) {
    dvrsim::PictureStamp stamp;
    stamp.script = &script;
    stamp.seconds = i / 10.0;
    stamp.minute = i / 600;
    stamp.second = i / 10 % 60;
    const auto jpeg = maker.Make(stamp);
    ASSERT_TRUE(decoder.Decode(jpeg.data(), jpeg.size(), &plane));
    const lv::MotionEdge edge = detector.Feed(plane.View(), i * 100'000);
    if (edge != lv::MotionEdge::None) edges.emplace_back(stamp.seconds, edge);
  }
  ASSERT_EQ(edges.size(), 2u);
  EXPECT_EQ(edges[0].second, lv::MotionEdge::Started);
  EXPECT_GE(edges[0].first, 2.0);
  EXPECT_LE(edges[0].first, 2.5);
  EXPECT_EQ(edges[1].second, lv::MotionEdge::Ended);
  EXPECT_GT(edges[1].first, 2.0 + dvrsim::kObjectCrossSeconds);
  EXPECT_LE(edges[1].first, 2.0 + dvrsim::kObjectCrossSeconds + 1.5);
}
