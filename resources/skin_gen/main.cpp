// Draws every skin bitmap and writes each as OUTDIR/<id>.dib in the
// program's bitmap resource format.
#include <QDir>
#include <QSaveFile>
#include <QGuiApplication>
#include <algorithm>
#include <cstdio>

#include "platform/ui/dib.h"
#include "skin_faces.h"

namespace {

// Ordered dithering before the 5-5-5 truncation keeps the dark gradients of
// the 16-bit pictures free of bands.
QImage DitherFor555(QImage image) {
  static constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const int add = kBayer[y & 3][x & 3] / 2;  // 0..7: below one 5-bit step
      const auto up = [add](int c) { return std::min(255, c + add); };
      line[x] = qRgb(up(qRed(line[x])), up(qGreen(line[x])), up(qBlue(line[x])));
    }
  }
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!QDir().mkpath(out.path())) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  for (const lv::SkinBitmapInfo& info : lv::kSkinBitmaps) {
    QImage picture = skin::DrawSkinBitmap(info);
    if (info.bits == 16) picture = DitherFor555(std::move(picture));
    const QByteArray dib = lv::EncodeDib(picture, info.bits);
    QSaveFile file(out.filePath(QStringLiteral("%1.dib").arg(info.id)));
    if (dib.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(dib) != dib.size() || !file.commit()) {
      std::fprintf(stderr, "cannot write bitmap %d\n", info.id);
      return 1;
    }
  }
  return 0;
}
