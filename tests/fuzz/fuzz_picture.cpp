// The render thread's picture path on damaged pictures: the decoder, then the
// composition over the 480 x 360 canvas with the PTZ badge and a held
// button's overlay anywhere. The first four bytes set the PTZ state and the
// overlay's place; the rest is the picture as it came in a video message.
#include <QGuiApplication>
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz_check.h"
#include "video/picture_decoder.h"
#include "video/render_thread.h"

using namespace lv;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static int argc = 1;
  static char name[] = "fuzz_picture";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_LOGGING_RULES", "qt.gui.imageio*=false");  // damaged pictures are the point
  static QGuiApplication app(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  static PictureDecoder decoder(kVideoWidth, kVideoHeight);
  static QImage badge = [] {
    QImage i(50, 30, QImage::Format_RGB32);
    i.fill(qRgb(255, 168, 0));
    return i;
  }();
  static QImage pressed = [] {
    QImage i(50, 50, QImage::Format_RGB32);
    i.fill(qRgb(255, 168, 0));
    return i;
  }();
  static auto shared = std::make_unique<RenderShared>();

  // Decode exactly the picture's bytes from a block of their own, so a read
  // past them is caught.
  const std::size_t length = size - 4;
  std::unique_ptr<std::uint8_t[]> picture(new std::uint8_t[length ? length : 1]);
  std::copy_n(data + 4, length, picture.get());
  const QImage image = decoder.Decode(length ? picture.get() : nullptr, length);
  if (image.isNull()) return 0;
  FUZZ_CHECK(image.width() > 0 && image.height() > 0);
  FUZZ_CHECK(static_cast<std::int64_t>(image.width()) * image.height() <= PictureDecoder::kMaxPixels);

  shared->m_bPTZ_CH.store(data[0] & 1);
  shared->m_bPTZMode.store((data[0] >> 1) & 1);
  shared->m_nPressedPTZ.store(static_cast<std::int8_t>(data[1]) % 20);  // also outside 0..15
  shared->m_pPtzIcon = &badge;
  for (auto& p : shared->m_pPressed) p = &pressed;
  for (std::size_t k = 0; k < shared->m_ptPressed.size(); ++k)
    shared->m_ptPressed[k] = QPoint(static_cast<std::int8_t>(data[2]) * 5 + static_cast<int>(k),
                                    static_cast<std::int8_t>(data[3]) * 4);
  shared->m_bSurfacesReady.store(1);

  QImage canvas(kVideoWidth, kVideoHeight, QImage::Format_RGB32);
  ComposePicture(canvas, image, *shared);
  FUZZ_CHECK(canvas.size() == QSize(kVideoWidth, kVideoHeight));
  return 0;
}
