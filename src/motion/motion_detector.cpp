#include "motion/motion_detector.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace lv {
namespace {

// DVRs burn their clock and caption into a line of text along the top or the
// bottom edge (often both: a title above, the time below); the clock changes
// every second. The top and bottom tenth of the rows is never watched: that
// holds one or two lines of text at the sizes DVRs use (a line is about a
// twentieth of the picture's height) and leaves the middle 80 % watched.
constexpr int kCaptionBandPercent = 10;

// More than this share of the watched area changed in one picture is the
// camera (night mode, exposure, a lamp switched on), not something moving.
constexpr float kWholePictureChange = 0.65f;

// The background is luma x 256. Per picture it moves 1/32 of the way towards
// a pixel that matches it (light drifting over the day, a few seconds at
// 10 pictures/s) and 1/512 towards one that differs now, so someone who
// stops in the picture stays foreground for about a minute instead of
// melting into the background at once.
constexpr int kFollowShift = 5;
constexpr int kForegroundShift = 9;

constexpr int kHistogramBins = 511;  // differences -255..255

// Sensitivity 1..100 to the least luma difference that counts as change:
// 48 levels at 1, 26 at 50, 4 at 100.
int DifferenceThreshold(int sensitivity) {
  const int s = std::clamp(sensitivity, 1, 100);
  return 4 + (100 - s) * 44 / 99;
}

// 1 for every watched pixel: all but the caption bands and the ignored
// rectangles.
void BuildWatchedMask(const MotionSettings& settings, int w, int h, std::vector<std::uint8_t>* mask) {
  mask->assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 1);
  const auto clear = [&](int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; ++y)
      std::fill(mask->begin() + static_cast<std::ptrdiff_t>(y) * w + x0,
                mask->begin() + static_cast<std::ptrdiff_t>(y) * w + x1, std::uint8_t{0});
  };
  const int band = (h * kCaptionBandPercent + 99) / 100;
  clear(0, 0, w, std::min(band, h));
  clear(0, std::max(0, h - band), w, h);
  // A rectangle covers every pixel it touches.
  const auto edge = [](float f, int size, bool up) {
    const float at = f * static_cast<float>(size);
    return std::clamp(static_cast<int>(up ? std::ceil(at) : std::floor(at)), 0, size);
  };
  for (const MotionRect& r : settings.ignore)
    clear(edge(r.x, w, false), edge(r.y, h, false), edge(r.x + r.w, w, true), edge(r.y + r.h, h, true));
}

}  // namespace

MotionDetector::MotionDetector(MotionSettings settings) : m_settings(std::move(settings)) {}

MotionEdge MotionDetector::Feed(const LumaView& luma, std::int64_t timeUs) {
  const auto endIfHeld = [&] {
    if (m_active && timeUs - m_lastChangeUs >= std::int64_t{m_settings.holdMs} * 1000) {
      m_active = false;
      return MotionEdge::Ended;
    }
    return MotionEdge::None;
  };
  if (!m_settings.enabled) return MotionEdge::None;
  if (luma.data == nullptr || luma.width <= 0 || luma.height <= 0 || luma.stride < luma.width) return endIfHeld();

  const int w = luma.width, h = luma.height;
  const std::size_t stride = static_cast<std::size_t>(luma.stride);
  const auto seed = [&] {
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* src = luma.data + static_cast<std::size_t>(y) * stride;
      std::uint16_t* bg = m_background.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
      for (int x = 0; x < w; ++x) bg[x] = static_cast<std::uint16_t>(src[x] << 8);
    }
    m_aboveInRow = 0;
  };
  if (w != m_width || h != m_height) {
    m_width = w;
    m_height = h;
    m_background.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    BuildWatchedMask(m_settings, w, h, &m_mask);
    seed();
    m_changed = 0;
    return endIfHeld();
  }

  // Pass 1: how much each watched pixel differs from the background. The
  // median difference is the light changing over the whole picture (a cloud,
  // the camera's exposure); it is taken off before counting, so only what
  // differs from the rest of the picture counts as change.
  // Four histograms taken in turn, so that runs of equal differences (most
  // of a quiet picture) do not wait on each other's increments.
  std::array<std::array<int, kHistogramBins>, 4> partial{};
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* src = luma.data + static_cast<std::size_t>(y) * stride;
    const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
    const std::uint16_t* bg = m_background.data() + row;
    const std::uint8_t* mask = m_mask.data() + row;
    for (int x = 0; x < w; ++x)
      partial[static_cast<std::size_t>(x & 3)][static_cast<std::size_t>(src[x] - (bg[x] >> 8) + 255)] += mask[x];
  }
  std::array<int, kHistogramBins> histogram{};
  int watched = 0;
  for (std::size_t i = 0; i < histogram.size(); ++i) {
    histogram[i] = partial[0][i] + partial[1][i] + partial[2][i] + partial[3][i];
    watched += histogram[i];
  }
  if (watched == 0) {
    m_changed = 0;
    return endIfHeld();
  }
  int offset = 0;
  for (int i = 0, seen = 0; i < kHistogramBins; ++i) {
    seen += histogram[static_cast<std::size_t>(i)];
    if (2 * seen >= watched) {
      offset = i - 255;
      break;
    }
  }
  const int threshold = DifferenceThreshold(m_settings.sensitivity);
  int rawChanged = 0, changed = 0;
  for (int i = 0; i < kHistogramBins; ++i) {
    const int d = i - 255, n = histogram[static_cast<std::size_t>(i)];
    if (std::abs(d) > threshold) rawChanged += n;
    if (std::abs(d - offset) > threshold) changed += n;
  }
  const float rawFraction = static_cast<float>(rawChanged) / static_cast<float>(watched);
  // Change must show both against the background as it is and with the
  // light's shift taken off: a large object pulls the median less than it
  // changes, and a light change is mostly gone once the shift is off.
  m_changed = std::min(rawFraction, static_cast<float>(changed) / static_cast<float>(watched));

  if (rawFraction > kWholePictureChange) {
    // The camera switched (night mode, a jump in brightness): start again
    // from this picture rather than calling the whole picture motion.
    seed();
    return endIfHeld();
  }

  // Pass 2: the background follows, slowly where the picture differs now.
  const int low = offset - threshold, high = offset + threshold;
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* src = luma.data + static_cast<std::size_t>(y) * stride;
    std::uint16_t* bg = m_background.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
    for (int x = 0; x < w; ++x) {
      const int target = src[x] << 8, b = bg[x];
      const int d = src[x] - (b >> 8);
      const int delta = target - b;
      const bool foreground = d < low || d > high;
      bg[x] = static_cast<std::uint16_t>(b + (foreground ? delta >> kForegroundShift : delta >> kFollowShift));
    }
  }

  if (m_changed > m_settings.minArea) {
    m_lastChangeUs = timeUs;
    if (++m_aboveInRow >= 2 && !m_active) {
      m_active = true;
      return MotionEdge::Started;
    }
    return MotionEdge::None;
  }
  m_aboveInRow = 0;
  return endIfHeld();
}

}  // namespace lv
