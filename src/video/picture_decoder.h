#pragma once
// Decodes one received still picture into a reused buffer. JPEG goes through
// libjpeg-turbo; any other format Qt can read is decoded by Qt.
//
// For speed the JPEG path lets the decoder's DCT scaling shrink a picture
// that is at least twice the wanted size (a half-size decode costs about half
// of a full one, and the stretch that follows has less to read); scaling by
// less than a half is slower than a full decode and is never used. The buffer
// is reused from picture to picture and deliberately not 32-byte aligned:
// libjpeg-turbo writes aligned rows with non-temporal stores, which leaves
// them out of the cache for the stretch that reads them next.
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lv {

class PictureDecoder {
 public:
  // target: the size the picture is drawn at (scaling never goes below it).
  explicit PictureDecoder(int targetWidth = 480, int targetHeight = 360);
  ~PictureDecoder();
  PictureDecoder(const PictureDecoder&) = delete;
  PictureDecoder& operator=(const PictureDecoder&) = delete;

  // Changes the size pictures are drawn at (a wall tile follows its window);
  // the next Decode scales for it.
  void SetTarget(int targetWidth, int targetHeight) {
    m_targetWidth = targetWidth;
    m_targetHeight = targetHeight;
  }

  // False when the JPEG decoder could not be set up; Decode then fails.
  bool Ok() const { return m_tj != nullptr; }

  // The decoded picture, valid until the next call (it may point into the
  // reused buffer); a null image when the data is no picture, is damaged, or
  // is larger than kMaxPixels.
  QImage Decode(const std::uint8_t* data, std::size_t size);

  // The DCT scale (1, 2, 4 or 8: the picture is divided by it) for a picture
  // of width x height drawn at the target size.
  int ScaleDivisorFor(int width, int height) const;

  // Pictures above this many pixels (after scaling) are refused rather than
  // given a buffer: a header may claim any size up to 65535 x 65535.
  static constexpr std::int64_t kMaxPixels = 4096 * 4096;

 private:
  QImage DecodeJpeg(const std::uint8_t* data, std::size_t size);
  // A null image, after replacing the JPEG handle a failure may have spoilt.
  QImage Refuse();

  void* m_tj = nullptr;
  int m_targetWidth;
  int m_targetHeight;
  std::vector<std::uint8_t> m_buffer;
};

}  // namespace lv
