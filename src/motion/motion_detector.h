#pragma once
// Notices motion in one channel's pictures. Each picture arrives as a small
// luma plane (a JPEG decoded at 1/8 scale, or the screen's picture shrunk);
// it is compared with a background that follows slow changes (light over the
// day), and an event starts when the changed area stays above the threshold
// for two pictures in a row; it ends when the picture has been quiet for the
// hold time. The DVR's own clock band and sudden whole-picture changes (a
// camera switching to night mode) are no motion. No Qt, no threads: one
// detector belongs to one channel and is fed from one thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

// A rectangle in fractions of the picture (0..1), so it holds at any size.
struct MotionRect {
  float x = 0, y = 0, w = 0, h = 0;
  bool operator==(const MotionRect&) const = default;
};

struct MotionSettings {
  bool enabled = false;
  int sensitivity = 50;      // 1..100: higher notices smaller differences
  float minArea = 0.01f;     // fraction of the watched picture that must change
  int holdMs = 3000;         // quiet this long after the last change ends an event
  std::vector<MotionRect> ignore;
  bool operator==(const MotionSettings&) const = default;
};

// "off" or "on[,sensitivity=N][,area=PERCENT][,hold=MS][,ignore=X:Y:W:H[;X:Y:W:H...]]"
// (ignore rectangles in percent of the picture). Nothing on an error, which
// *error then names.
bool ParseMotionSettings(std::string_view text, MotionSettings* out, std::string* error);
std::string FormatMotionSettings(const MotionSettings& settings);

// A borrowed 8-bit luma plane.
struct LumaView {
  const std::uint8_t* data = nullptr;
  int width = 0, height = 0, stride = 0;
};

// A luma plane the caller owns, reused from picture to picture.
struct LumaPlane {
  std::vector<std::uint8_t> pixels;
  int width = 0, height = 0;
  LumaView View() const { return {pixels.data(), width, height, width}; }
};

// Shrinks a 32-bit xRGB picture (QImage's RGB32 layout, stride in bytes) to a
// luma plane of at most maxWidth pixels across, by box averaging.
void ShrinkToLuma(const std::uint8_t* xrgb, int width, int height, int strideBytes, LumaPlane* out,
                  int maxWidth = 96);

enum class MotionEdge { None, Started, Ended };

class MotionDetector {
 public:
  explicit MotionDetector(MotionSettings settings = {});
  const MotionSettings& Settings() const { return m_settings; }

  // One picture and the time it arrived (any monotonic microseconds). A
  // picture of another size than the last starts a new background.
  MotionEdge Feed(const LumaView& luma, std::int64_t timeUs);

  bool Active() const { return m_active; }
  // The changed fraction of the watched area in the last picture fed.
  float ChangedFraction() const { return m_changed; }

 private:
  MotionSettings m_settings;
  bool m_active = false;
  float m_changed = 0;
  // The implementation keeps its background and counters here.
  std::vector<std::uint16_t> m_background;  // luma x 256, follows slowly
  std::vector<std::uint8_t> m_mask;         // 1 = watched
  int m_width = 0, m_height = 0;
  int m_aboveInRow = 0;
  std::int64_t m_lastChangeUs = 0;
};

}  // namespace lv
