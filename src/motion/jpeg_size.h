#pragma once
// The picture size a JPEG declares in its frame header, read without
// decoding: the recorder needs it for a clip's stream and to notice a DVR
// that changes resolution mid-stream.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace lv {

struct JpegSize {
  int width = 0;
  int height = 0;
};

// Nullopt when the bytes are not a JPEG with a frame header before its first
// scan, or the header declares a zero size.
std::optional<JpegSize> ReadJpegSize(const std::uint8_t* data, std::size_t size);

}  // namespace lv
