// The detector on synthetic 88 x 60 luma pictures fed at 10 per second, and
// its settings line.
#include <gtest/gtest.h>

#include <functional>

#include "motion/motion_detector.h"

namespace {

constexpr int kW = 88, kH = 60;
using Picture = std::vector<std::uint8_t>;

// A textured scene with a little sensor noise that differs per picture.
Picture Scene(int frame) {
  Picture p(kW * kH);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      p[y * kW + x] = static_cast<std::uint8_t>(40 + x / 2 + y / 2 + ((x / 6 + y / 6) % 3) * 30 + (x * 7 + y * 3 + frame) % 3);
  return p;
}

void Block(Picture& p, int x0, int y0, int w, int h, int luma) {
  for (int y = std::max(0, y0); y < std::min(kH, y0 + h); ++y)
    for (int x = std::max(0, x0); x < std::min(kW, x0 + w); ++x) p[y * kW + x] = static_cast<std::uint8_t>(luma);
}

struct Case {
  const char* name;
  const char* settings;
  std::function<void(int frame, Picture&)> change;
  int startFrame;  // -1: no event
  int endFrame;
};

}  // namespace

TEST(MotionDetector, EventsOnlyForSomethingMoving) {
  // Crossing: a 16 x 16 block (5 % of the picture) appears at frame 10 and
  // moves 4 pixels per picture; its last picture is frame 28.
  const auto crossing = [](int f, Picture& p) {
    if (f >= 10 && f <= 28) Block(p, (f - 10) * 4, 22, 16, 16, 20);
  };
  const Case cases[] = {
      {"still", "on", [](int, Picture&) {}, -1, -1},
      {"crossing", "on,hold=1000", crossing, 11, 38},
      {"crossing, high sensitivity", "on,sensitivity=100,hold=1000", crossing, 11, 38},
      {"clock bands", "on,sensitivity=100",
       [](int f, Picture& p) {
         Block(p, 4 + f % 20, 1, 30, 4, (f * 37) % 256);
         Block(p, 50 - f % 20, kH - 5, 30, 4, 255 - (f * 53) % 256);
       }, -1, -1},
      {"brightness jump", "on", [](int f, Picture& p) { if (f >= 20) for (auto& v : p) v = static_cast<std::uint8_t>(v / 2 + 130); }, -1, -1},
      {"light dims a little", "on", [](int f, Picture& p) { if (f >= 20) for (auto& v : p) v = static_cast<std::uint8_t>(v * 4 / 5); }, -1, -1},
      {"ignored half", "on,ignore=0:0:50:100", [](int f, Picture& p) { Block(p, f % 30, 22, 12, 16, 20); }, -1, -1},
      {"someone who stops stays an event", "on,hold=1000",
       [](int f, Picture& p) { if (f >= 10) Block(p, 30, 22, 16, 16, 20); }, 11, -1},
  };
  for (const Case& c : cases) {
    lv::MotionSettings settings;
    ASSERT_TRUE(lv::ParseMotionSettings(c.settings, &settings, nullptr)) << c.name;
    lv::MotionDetector detector(settings);
    int started = -1, ended = -1;
    for (int f = 0; f < 80; ++f) {
      Picture p = Scene(f);
      c.change(f, p);
      const lv::MotionEdge edge = detector.Feed({p.data(), kW, kH, kW}, f * 100'000);
      if (edge == lv::MotionEdge::Started) {
        EXPECT_EQ(started, -1) << c.name << ": a second event at " << f;
        started = f;
      }
      if (edge == lv::MotionEdge::Ended) ended = f;
    }
    EXPECT_EQ(started, c.startFrame) << c.name;
    if (c.endFrame >= 0) {
      EXPECT_EQ(ended, c.endFrame) << c.name;
    } else if (c.startFrame >= 0) {
      EXPECT_TRUE(detector.Active()) << c.name << ": still there at the end";
    }
  }
}

TEST(MotionSettings, ParseFormatRoundTripAndRefusals) {
  const std::pair<const char*, const char*> good[] = {
      {"off", "off"},
      {"on", "on,sensitivity=50,area=1,hold=3000"},
      {"on,hold=0,area=0.25,sensitivity=100", "on,sensitivity=100,area=0.25,hold=0"},
      {"on,sensitivity=7,area=12.5,hold=1500,ignore=0:0:25:10;50:50:12.5:50",
       "on,sensitivity=7,area=12.5,hold=1500,ignore=0:0:25:10;50:50:12.5:50"},
  };
  for (const auto& [text, formatted] : good) {
    lv::MotionSettings s, again;
    std::string error;
    ASSERT_TRUE(lv::ParseMotionSettings(text, &s, &error)) << text << ": " << error;
    EXPECT_EQ(lv::FormatMotionSettings(s), formatted);
    ASSERT_TRUE(lv::ParseMotionSettings(formatted, &again, &error)) << formatted;
    EXPECT_EQ(again, s) << text;
  }
  const char* bad[] = {"",           "maybe",           "off,hold=1",         "on,",
                       "on,sensitivity=0", "on,sensitivity=101", "on,sensitivity=5.5", "on,area=101",
                       "on,area=abc", "on,hold=-1",      "on,hold=1e3",        "on,ignore=0:0:0:10",
                       "on,ignore=60:0:50:10", "on,ignore=1:2:3", "on,ignore=", "on,colour=red"};
  for (const char* text : bad) {
    lv::MotionSettings s;
    s.holdMs = 1234;
    std::string error;
    EXPECT_FALSE(lv::ParseMotionSettings(text, &s, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_EQ(s.holdMs, 1234) << text;
  }
}
