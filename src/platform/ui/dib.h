#pragma once
// The program's bitmap resource format: a 40-byte bitmap information header
// followed directly by the pixel rows (no file header, no palette), rows
// bottom-up and padded to 4 bytes, 16-bit 5-5-5 or 32-bit blue-green-red-zero
// pixels, and 2 bytes after the last row.
#include <QByteArray>
#include <QByteArrayView>
#include <QImage>

namespace lv {

inline constexpr int kDibHeaderSize = 40;
inline constexpr int kDibPixelsPerMetre = 2834;
inline constexpr int kDibTrailingBytes = 2;

// Decodes a resource. Malformed or truncated data, unsupported formats and
// sizes beyond 16384 pixels give a null image. 16-bit data gives an image of
// format RGB555, 32-bit data one of format RGB32.
QImage DecodeDib(QByteArrayView data);

// Encodes an image as a resource of 16 or 32 bits per pixel; an empty array
// for a null image or another depth.
QByteArray EncodeDib(const QImage& image, int bitsPerPixel);

// The raw bytes of bitmap resource id (the embedded file ":/bitmaps/<id>.dib"),
// empty if there is none.
QByteArray BitmapResourceBytes(int id);
// Bitmap resource id decoded; a null image if it is missing or malformed.
QImage LoadBitmapResource(int id);

}  // namespace lv
