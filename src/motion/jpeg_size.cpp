#include "motion/jpeg_size.h"

namespace lv {

std::optional<JpegSize> ReadJpegSize(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return std::nullopt;
  std::size_t i = 2;
  while (i + 1 < size) {
    if (data[i] != 0xFF) return std::nullopt;
    const std::uint8_t marker = data[i + 1];
    if (marker == 0xFF) {  // fill byte before a marker
      ++i;
      continue;
    }
    i += 2;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length field
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;         // end or scan before a frame
    if (i + 2 > size) return std::nullopt;
    const std::size_t length = (std::size_t{data[i]} << 8) | data[i + 1];
    if (length < 2 || length > size - i) return std::nullopt;
    // SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC).
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (length < 7) return std::nullopt;
      const int height = (data[i + 3] << 8) | data[i + 4];
      const int width = (data[i + 5] << 8) | data[i + 6];
      if (width == 0 || height == 0) return std::nullopt;  // a height given later (DNL) is not supported
      return JpegSize{width, height};
    }
    i += length;
  }
  return std::nullopt;
}

}  // namespace lv
