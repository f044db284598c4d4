// The detector on synthetic 88 x 60 luma pictures fed at 10 per second, and
// its settings line.
#include <gtest/gtest.h>

#include <functional>

#include "motion/motion_detector.h"

namespace {

constexpr int kW = 88, kH = 60;
using Picture = std::vector<std::uint8_t>;

void Block(Picture& p, int x0, int y0, int w, int h, int luma) {
  for (int y = std::max(0, y0); y < std::min(kH, y0 + h); ++y)
    for (int x = std::max(0, x0); x < std::min(kW, x0 + w); ++x) p[y * kW + x] = static_cast<std::uint8_t>(luma);
}

void Light(Picture& p, int mul, int add) {
  for (auto& v : p) v = static_cast<std::uint8_t>(v * mul / 10 + add);
}

}  // namespace

TEST(MotionDetector, EventsOnlyForSomethingMoving) {
  const struct {
    const char* name;
    const char* settings;
    std::function<void(int frame, Picture&)> change;
    int startFrame, endFrame;  // -1: none
  } cases[] = {
      {"still", "on", [](int, Picture&) {}, -1, -1},
      // 16 x 16 (5 % of the picture) from frame 10 on, 4 pixels further each picture, gone after frame 28.
      {"crossing", "on,hold=1000", [](int f, Picture& p) { if (f >= 10 && f <= 28) Block(p, (f - 10) * 4, 22, 16, 16, 20); }, 11, 38},
      {"someone who stops stays an event", "on,hold=1000", [](int f, Picture& p) { if (f >= 10) Block(p, 30, 22, 16, 16, 20); }, 11, -1},
      {"clock bands", "on,sensitivity=100", [](int f, Picture& p) {
         Block(p, 4 + f % 20, 1, 30, 4, (f * 37) % 256);
         Block(p, 50 - f % 20, kH - 5, 30, 4, 255 - (f * 53) % 256);
       }, -1, -1},
      {"brightness jump", "on", [](int f, Picture& p) { if (f >= 20) Light(p, 5, 130); }, -1, -1},
      {"light dims a little", "on", [](int f, Picture& p) { if (f >= 20) Light(p, 8, 0); }, -1, -1},
      {"ignored half", "on,ignore=0:0:50:100", [](int f, Picture& p) { Block(p, f % 30, 22, 12, 16, 20); }, -1, -1},
  };
  for (const auto& c : cases) {
    lv::MotionSettings settings;
    ASSERT_TRUE(lv::ParseMotionSettings(c.settings, &settings, nullptr)) << c.name;
    lv::MotionDetector detector(settings);
    std::vector<int> started, ended;
    for (int f = 0; f < 80; ++f) {
      Picture p(kW * kH);  // a textured scene with a little noise
      for (int i = 0; i < kW * kH; ++i)
        p[i] = static_cast<std::uint8_t>(40 + i % kW / 2 + i / kW / 2 + (i % kW / 6 + i / kW / 6) % 3 * 30 + (i + f) % 3);
      c.change(f, p);
      const lv::MotionEdge edge = detector.Feed({p.data(), kW, kH, kW}, f * 100'000);
      if (edge != lv::MotionEdge::None) (edge == lv::MotionEdge::Started ? started : ended).push_back(f);
    }
    EXPECT_EQ(started, c.startFrame < 0 ? std::vector<int>{} : std::vector<int>{c.startFrame}) << c.name;
    EXPECT_EQ(ended, c.endFrame < 0 ? std::vector<int>{} : std::vector<int>{c.endFrame}) << c.name;
    EXPECT_EQ(detector.Active(), c.startFrame >= 0 && c.endFrame < 0) << c.name;
  }
}

TEST(MotionSettings, ParseFormatRoundTripAndRefusals) {
  const std::pair<const char*, const char*> good[] = {
      {"off", "off"},
      {"on", "on,sensitivity=50,area=1,hold=3000"},
      {"on,hold=0,area=0.25,sensitivity=100", "on,sensitivity=100,area=0.25,hold=0"},
      {"on,sensitivity=7,area=12.5,hold=1500,ignore=0:0:25:10;50:50:12.5:50", nullptr},
  };
  for (const auto& [text, formatted] : good) {
    lv::MotionSettings s, again;
    ASSERT_TRUE(lv::ParseMotionSettings(text, &s, nullptr)) << text;
    EXPECT_EQ(lv::FormatMotionSettings(s), formatted != nullptr ? formatted : text);
    ASSERT_TRUE(lv::ParseMotionSettings(lv::FormatMotionSettings(s), &again, nullptr)) << text;
    EXPECT_EQ(again, s) << text;
  }
  for (const char* text : {"", "maybe", "off,hold=1", "on,", "on,sensitivity=0", "on,sensitivity=101",
                           "on,sensitivity=5.5", "on,area=101", "on,area=abc", "on,hold=-1", "on,hold=1e3",
                           "on,ignore=0:0:0:10", "on,ignore=60:0:50:10", "on,ignore=1:2:3", "on,ignore=",
                           "on,colour=red"}) {
    lv::MotionSettings s;
    s.holdMs = 1234;
    std::string error;
    EXPECT_FALSE(lv::ParseMotionSettings(text, &s, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_EQ(s.holdMs, 1234) << text;
  }
}
