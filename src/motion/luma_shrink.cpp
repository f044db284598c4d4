#include <algorithm>
#include <vector>

#include "motion/motion_detector.h"

namespace lv {

void ShrinkToLuma(const std::uint8_t* xrgb, int width, int height, int strideBytes, LumaPlane* out, int maxWidth) {
  if (xrgb == nullptr || width <= 0 || height <= 0 || strideBytes < 4 * width) {
    out->pixels.clear();
    out->width = out->height = 0;
    return;
  }
  // One whole factor for both axes keeps the shape and makes every box the
  // same size: 704 x 480 at 96 across becomes 88 x 60, the same as the JPEG
  // decoded at 1/8. Rows and columns left over at the edge are dropped.
  const int factor = std::max(1, (width + std::max(1, maxWidth) - 1) / std::max(1, maxWidth));
  const int ow = width / factor;
  const int boxRows = std::min(factor, height);
  const int oh = std::max(1, height / factor);
  out->width = ow;
  out->height = oh;
  out->pixels.resize(static_cast<std::size_t>(ow) * static_cast<std::size_t>(oh));

  // Luma by the BT.601 weights in 1/256: 77 R + 150 G + 29 B. Bytes in
  // memory are B, G, R, X (a little-endian 0xXXRRGGBB word).
  std::vector<std::uint64_t> sums(static_cast<std::size_t>(ow));
  const std::uint64_t box = static_cast<std::uint64_t>(factor) * static_cast<std::uint64_t>(boxRows) * 256;
  for (int oy = 0; oy < oh; ++oy) {
    std::fill(sums.begin(), sums.end(), std::uint64_t{0});
    for (int r = 0; r < boxRows; ++r) {
      const std::uint8_t* p =
          xrgb + static_cast<std::size_t>(oy * boxRows + r) * static_cast<std::size_t>(strideBytes);
      for (int ox = 0; ox < ow; ++ox) {
        std::uint32_t s = 0;
        for (int k = 0; k < factor; ++k, p += 4) s += 29u * p[0] + 150u * p[1] + 77u * p[2];
        sums[static_cast<std::size_t>(ox)] += s;
      }
    }
    std::uint8_t* dst = out->pixels.data() + static_cast<std::size_t>(oy) * static_cast<std::size_t>(ow);
    for (int ox = 0; ox < ow; ++ox)
      dst[ox] = static_cast<std::uint8_t>((sums[static_cast<std::size_t>(ox)] + box / 2) / box);
  }
}

}  // namespace lv
