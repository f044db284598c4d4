// Motion watching per picture: the detector's compare and background update
// on a 1/8 luma plane (88 x 60 for 704 x 480), the JPEG decoded straight to
// that plane, and a screen picture shrunk to it. Pictures: the JPEG files of
// LORVENTA_BENCH_PICTURES (default: the shared sample folder next to the
// project), else ones the simulator makes.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dvrsim/picture.h"
#include "motion/luma_decoder.h"
#include "motion/motion_detector.h"

namespace {

std::vector<std::uint8_t> Picture(int width, int height) {
  const char* env = std::getenv("LORVENTA_BENCH_PICTURES");
  const std::string dir = env != nullptr ? env : LORVENTA_SOURCE_DIR "/../shared/bench-pictures";
  std::ifstream in(dir + "/q80_420_" + std::to_string(width) + "x" + std::to_string(height) + "_frame100.jpg",
                   std::ios::binary);
  if (in) return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  dvrsim::PictureMaker maker(width, height, 80);
  const auto made = maker.Make({});
  return {made.begin(), made.end()};
}

// Two pictures in turn: a textured scene, and the same with a dark block
// (about 5 % of the picture) moved along, so both update rates are taken.
void BM_DetectorFeed(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  std::vector<std::vector<std::uint8_t>> pictures(8, std::vector<std::uint8_t>(static_cast<std::size_t>(w * h)));
  for (std::size_t k = 0; k < pictures.size(); ++k)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const bool block = y >= h / 3 && y < h / 3 + h / 4 && x >= static_cast<int>(k) * 4 && x < static_cast<int>(k) * 4 + w / 5;
        pictures[k][static_cast<std::size_t>(y * w + x)] =
            static_cast<std::uint8_t>(block ? 20 : 40 + x / 2 + y / 2 + ((x / 6 + y / 6) % 3) * 30 + (x + y + k) % 3);
      }
  lv::MotionSettings settings;
  settings.enabled = true;
  lv::MotionDetector detector(settings);
  std::int64_t t = 0;
  std::size_t k = 0;
  for (auto _ : state) {
    const auto& p = pictures[k++ % pictures.size()];
    benchmark::DoNotOptimize(detector.Feed({p.data(), w, h, w}, t += 100'000));
  }
}
BENCHMARK(BM_DetectorFeed)->Args({88, 60})->Args({160, 90})->Unit(benchmark::kMicrosecond);

void BM_LumaDecodeEighth(benchmark::State& state) {
  const auto jpeg = Picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  lv::LumaDecoder decoder;
  lv::LumaPlane plane;
  for (auto _ : state)
    if (!decoder.Decode(jpeg.data(), jpeg.size(), &plane)) state.SkipWithError("decode failed");
  state.counters["out_w"] = plane.width;
  state.counters["out_h"] = plane.height;
}
BENCHMARK(BM_LumaDecodeEighth)->Args({704, 480})->Args({720, 576})->Args({1280, 720})->Unit(benchmark::kMicrosecond);

// A picture the screen already holds (RGB32, 704 x 480) shrunk to 88 x 60.
void BM_ShrinkToLuma(benchmark::State& state) {
  std::vector<std::uint8_t> xrgb(704 * 480 * 4);
  for (std::size_t i = 0; i < xrgb.size(); ++i) xrgb[i] = static_cast<std::uint8_t>(i * 7 / 5);
  lv::LumaPlane plane;
  for (auto _ : state) {
    lv::ShrinkToLuma(xrgb.data(), 704, 480, 704 * 4, &plane);
    benchmark::DoNotOptimize(plane.pixels.data());
  }
}
BENCHMARK(BM_ShrinkToLuma)->Unit(benchmark::kMicrosecond);

}  // namespace
