#pragma once
// Decodes a JPEG straight to a luma plane at 1/8 of its size: libjpeg-turbo's
// DCT scaling skips most of the work, which is what lets a headless client
// watch pictures it never shows.
#include <cstddef>
#include <cstdint>

#include "motion/motion_detector.h"

namespace lv {

class LumaDecoder {
 public:
  LumaDecoder();
  ~LumaDecoder();
  LumaDecoder(const LumaDecoder&) = delete;
  LumaDecoder& operator=(const LumaDecoder&) = delete;

  // False (and *out untouched) when the data is no JPEG or is damaged.
  bool Decode(const std::uint8_t* jpeg, std::size_t size, LumaPlane* out);

 private:
  void* m_tj = nullptr;
};

}  // namespace lv
