#include "platform/ui/dib.h"

#include <QFile>
#include <cstdint>
#include <cstring>

namespace lv {
namespace {

constexpr std::int64_t kMaxDimension = 16384;

std::uint32_t U32(const unsigned char* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
std::int32_t I32(const unsigned char* p) { return static_cast<std::int32_t>(U32(p)); }
std::uint16_t U16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

void PutU32(QByteArray& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutU16(QByteArray& out, std::uint16_t v) {
  out.append(static_cast<char>(v & 0xFF));
  out.append(static_cast<char>(v >> 8));
}

std::int64_t RowBytes(std::int64_t width, int bits) { return ((width * bits + 31) / 32) * 4; }

}  // namespace

QImage DecodeDib(QByteArrayView data) {
  const auto size = static_cast<std::int64_t>(data.size());
  if (size < kDibHeaderSize) return {};
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  const std::uint32_t headerSize = U32(p);
  const std::int64_t width = I32(p + 4);
  const std::int64_t signedHeight = I32(p + 8);
  const int planes = U16(p + 12);
  const int bits = U16(p + 14);
  const std::uint32_t compression = U32(p + 16);
  const std::uint32_t coloursUsed = U32(p + 32);
  if (headerSize < kDibHeaderSize || headerSize > size) return {};
  if (width < 1 || width > kMaxDimension) return {};
  if (signedHeight == 0 || signedHeight > kMaxDimension || signedHeight < -kMaxDimension) return {};
  if (planes != 1 || (bits != 16 && bits != 32) || compression != 0) return {};
  if (coloursUsed > 256) return {};

  const bool bottomUp = signedHeight > 0;
  const std::int64_t height = bottomUp ? signedHeight : -signedHeight;
  const std::int64_t offset = std::int64_t(headerSize) + std::int64_t(coloursUsed) * 4;
  const std::int64_t rowBytes = RowBytes(width, bits);
  if (offset + rowBytes * height > size) return {};

  QImage image(static_cast<int>(width), static_cast<int>(height),
               bits == 16 ? QImage::Format_RGB555 : QImage::Format_RGB32);
  if (image.isNull()) return {};
  for (std::int64_t row = 0; row < height; ++row) {
    const std::int64_t y = bottomUp ? height - 1 - row : row;
    const unsigned char* src = p + offset + row * rowBytes;
    uchar* line = image.scanLine(static_cast<int>(y));
    if (bits == 16) {
      auto* dst = reinterpret_cast<std::uint16_t*>(line);
      for (std::int64_t x = 0; x < width; ++x) dst[x] = U16(src + 2 * x) & 0x7FFF;
    } else {
      auto* dst = reinterpret_cast<QRgb*>(line);
      for (std::int64_t x = 0; x < width; ++x) {
        const unsigned char* s = src + 4 * x;
        dst[x] = qRgb(s[2], s[1], s[0]);
      }
    }
  }
  return image;
}

QByteArray EncodeDib(const QImage& image, int bitsPerPixel) {
  if (image.isNull() || (bitsPerPixel != 16 && bitsPerPixel != 32)) return {};
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  const int width = rgb.width();
  const int height = rgb.height();
  const auto rowBytes = static_cast<int>(RowBytes(width, bitsPerPixel));
  const int pixelBytes = rowBytes * height;

  QByteArray out;
  out.reserve(kDibHeaderSize + pixelBytes + kDibTrailingBytes);
  PutU32(out, kDibHeaderSize);
  PutU32(out, static_cast<std::uint32_t>(width));
  PutU32(out, static_cast<std::uint32_t>(height));
  PutU16(out, 1);
  PutU16(out, static_cast<std::uint16_t>(bitsPerPixel));
  PutU32(out, 0);  // no compression
  PutU32(out, static_cast<std::uint32_t>(pixelBytes + kDibTrailingBytes));
  PutU32(out, kDibPixelsPerMetre);
  PutU32(out, kDibPixelsPerMetre);
  PutU32(out, 0);
  PutU32(out, 0);

  for (int y = height - 1; y >= 0; --y) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    int written = 0;
    for (int x = 0; x < width; ++x) {
      const QRgb c = line[x];
      if (bitsPerPixel == 16) {
        const auto v = static_cast<std::uint16_t>(((qRed(c) >> 3) << 10) | ((qGreen(c) >> 3) << 5) | (qBlue(c) >> 3));
        PutU16(out, v);
        written += 2;
      } else {
        out.append(static_cast<char>(qBlue(c)));
        out.append(static_cast<char>(qGreen(c)));
        out.append(static_cast<char>(qRed(c)));
        out.append('\0');
        written += 4;
      }
    }
    out.append(QByteArray(rowBytes - written, '\0'));
  }
  out.append(QByteArray(kDibTrailingBytes, '\0'));
  return out;
}

QByteArray BitmapResourceBytes(int id) {
  QFile file(QStringLiteral(":/bitmaps/%1.dib").arg(id));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

QImage LoadBitmapResource(int id) { return DecodeDib(BitmapResourceBytes(id)); }

}  // namespace lv
