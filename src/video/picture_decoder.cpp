#include "video/picture_decoder.h"

#include <turbojpeg.h>

#include <QBuffer>
#include <QImageReader>

#include <limits>

namespace lv {
namespace {

// Offset of the first row inside the buffer: keeps rows off 32-byte
// alignment (see the header), while 16 keeps them 4-byte aligned for QImage.
constexpr std::size_t kRowOffset = 16;

bool IsJpeg(const std::uint8_t* data, std::size_t size) { return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF; }

}  // namespace

PictureDecoder::PictureDecoder(int targetWidth, int targetHeight)
    : m_tj(tjInitDecompress()), m_targetWidth(targetWidth), m_targetHeight(targetHeight) {}

PictureDecoder::~PictureDecoder() {
  if (m_tj) tjDestroy(m_tj);
}

int PictureDecoder::ScaleDivisorFor(int width, int height) const {
  int divisor = 1;
  // The largest power-of-two reduction that keeps the picture at least as
  // large as it is drawn.
  while (divisor < 8 && width / (divisor * 2) >= m_targetWidth && height / (divisor * 2) >= m_targetHeight)
    divisor *= 2;
  return divisor;
}

QImage PictureDecoder::Decode(const std::uint8_t* data, std::size_t size) {
  if (!data || size == 0) return {};
  if (IsJpeg(data, size)) return DecodeJpeg(data, size);
  if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) return {};
  // The size a picture claims is checked before it is decoded: a small file
  // may claim a huge picture.
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  const QSize claimed = reader.size();
  if (claimed.isValid() && static_cast<std::int64_t>(claimed.width()) * claimed.height() > kMaxPixels) return {};
  QImage image = reader.read();
  if (image.isNull() || static_cast<std::int64_t>(image.width()) * image.height() > kMaxPixels) return {};
  return image;
}

QImage PictureDecoder::Refuse() {
  // A failed call can leave the handle mid-stream: the next header read then
  // reports no size or a second start marker. A fresh handle forgets it.
  if (m_tj) tjDestroy(m_tj);
  m_tj = tjInitDecompress();
  return {};
}

QImage PictureDecoder::DecodeJpeg(const std::uint8_t* data, std::size_t size) {
  if (!m_tj || size > std::numeric_limits<unsigned long>::max()) return {};
  int width = 0, height = 0, subsamp = 0, colorspace = 0;
  auto* jpeg = const_cast<unsigned char*>(data);  // the decoder only reads it
  if (tjDecompressHeader3(m_tj, jpeg, static_cast<unsigned long>(size), &width, &height, &subsamp, &colorspace) != 0)
    return Refuse();
  if (width <= 0 || height <= 0) return {};
  const int divisor = ScaleDivisorFor(width, height);
  const int w = TJSCALED(width, (tjscalingfactor{1, divisor}));
  const int h = TJSCALED(height, (tjscalingfactor{1, divisor}));
  if (static_cast<std::int64_t>(w) * h > kMaxPixels) return {};

  const int pitch = w * 4;
  const std::size_t needed = kRowOffset + static_cast<std::size_t>(pitch) * static_cast<std::size_t>(h);
  if (m_buffer.size() < needed) m_buffer.resize(needed);
  std::uint8_t* rows = m_buffer.data() + kRowOffset;
  // A damaged picture is refused whole (warnings included): a half-decoded
  // picture would replace a good one with grey.
  if (tjDecompress2(m_tj, jpeg, static_cast<unsigned long>(size), rows, w, pitch, h, TJPF_BGRX,
                    TJFLAG_STOPONWARNING) != 0)
    return Refuse();
  return QImage(rows, w, h, pitch, QImage::Format_RGB32);
}

}  // namespace lv
