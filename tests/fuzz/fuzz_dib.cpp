// Skin bitmap resources: any bytes to the decoder. A picture comes out only
// within the format's limits, and it encodes and decodes again to the same
// pixels.
#include <QImage>
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "platform/ui/dib.h"

using namespace lv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QImage image = DecodeDib(QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  if (image.isNull()) return 0;
  FUZZ_CHECK(size >= static_cast<std::size_t>(kDibHeaderSize));
  FUZZ_CHECK(image.width() <= 16384 && image.height() <= 16384);
  const int bits = data[14] | (data[15] << 8);
  FUZZ_CHECK(image.format() == (bits == 16 ? QImage::Format_RGB555 : QImage::Format_RGB32));
  // Every pixel came from the input: the picture cannot be larger than it.
  FUZZ_CHECK(static_cast<std::size_t>(image.width()) * image.height() * (bits / 8) <= size);

  const QByteArray encoded = EncodeDib(image, bits);
  const QImage again = DecodeDib(encoded);
  FUZZ_CHECK(again.size() == image.size() && again.format() == image.format());
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) FUZZ_CHECK(again.pixel(x, y) == image.pixel(x, y));
  return 0;
}
