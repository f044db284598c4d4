// Motion watching on what comes from outside: the settings text a user or a
// configuration file gives, and damaged pictures from the DVR, through the
// clip writer's size reader, the 1/8 luma decode and the detector. The first
// byte is the settings text's length, then the text, then the picture.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "motion/jpeg_size.h"
#include "motion/luma_decoder.h"
#include "motion/motion_detector.h"

using namespace lv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t textLength = std::min<std::size_t>(data[0], size - 1);
  const std::string_view text(reinterpret_cast<const char*>(data + 1), textLength);
  const std::uint8_t* picture = data + 1 + textLength;
  const std::size_t pictureSize = size - 1 - textLength;

  MotionSettings settings;
  std::string error;
  if (ParseMotionSettings(text, &settings, &error)) {
    // What is written back reads the same.
    MotionSettings again;
    FUZZ_CHECK(ParseMotionSettings(FormatMotionSettings(settings), &again, &error));
    FUZZ_CHECK(FormatMotionSettings(again) == FormatMotionSettings(settings));
  } else {
    FUZZ_CHECK(!error.empty());
    settings = MotionSettings{};
    settings.enabled = true;
  }

  if (const auto dimensions = ReadJpegSize(picture, pictureSize)) {
    FUZZ_CHECK(dimensions->width > 0 && dimensions->height > 0);
  }

  static LumaDecoder decoder;
  LumaPlane plane;
  if (!decoder.Decode(picture, pictureSize, &plane)) return 0;
  FUZZ_CHECK(plane.width > 0 && plane.height > 0);
  FUZZ_CHECK(plane.pixels.size() >= static_cast<std::size_t>(plane.width) * plane.height);

  MotionDetector detector(settings);
  for (int i = 0; i < 3; ++i) {
    detector.Feed(plane.View(), std::int64_t{i} * 200000);
    const float changed = detector.ChangedFraction();
    FUZZ_CHECK(std::isfinite(changed) && changed >= 0.0f && changed <= 1.0f);
  }
  // The same picture again and again is no motion.
  FUZZ_CHECK(!detector.Active());
  return 0;
}
