#include "platform/ui/alpha_blend.h"

#include <algorithm>

#include "platform/ui/win_messages.h"

namespace lv {
namespace {

int Scale(int value, int alpha) { return (value * alpha + 127) / 255; }

bool EnsureBlendable(QImage& dst) {
  if (dst.isNull()) return false;
  switch (dst.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
      return true;
    default:
      dst.convertTo(QImage::Format_RGB32);
      return !dst.isNull();
  }
}

// Clips the 1:1 copy of a size-sized block from srcOrigin to dstOrigin
// against both images; false if nothing is left.
bool Clip(const QImage& dst, QPoint& dstOrigin, const QImage& src, QPoint& srcOrigin, QSize& size) {
  QRect d(dstOrigin, size);
  QRect s(srcOrigin, size);
  // Shift both rectangles together so that each stays inside its image.
  const int left = std::max({0, -d.left(), -s.left()});
  const int top = std::max({0, -d.top(), -s.top()});
  d.adjust(left, top, 0, 0);
  s.adjust(left, top, 0, 0);
  const int width = std::min({d.width(), dst.width() - d.left(), src.width() - s.left()});
  const int height = std::min({d.height(), dst.height() - d.top(), src.height() - s.top()});
  if (width <= 0 || height <= 0) return false;
  dstOrigin = d.topLeft();
  srcOrigin = s.topLeft();
  size = QSize(width, height);
  return true;
}

}  // namespace

bool AlphaBlend(QImage& dst, const QRect& dstRect, const QImage& src, const QRect& srcRect, BLENDFUNCTION bf) {
  if (src.isNull() || dstRect.isEmpty() || srcRect.isEmpty() || !EnsureBlendable(dst)) return false;
  const bool perPixel = (bf.AlphaFormat & AC_SRC_ALPHA) != 0 && src.hasAlphaChannel();
  QImage source = src.convertToFormat(perPixel ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  QPoint srcOrigin = srcRect.topLeft();
  if (srcRect.size() != dstRect.size()) {
    source = source.copy(srcRect).scaled(dstRect.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    srcOrigin = QPoint(0, 0);
  }
  QPoint dstOrigin = dstRect.topLeft();
  QSize size = dstRect.size();
  if (!Clip(dst, dstOrigin, source, srcOrigin, size)) return true;

  const int constant = bf.SourceConstantAlpha;
  const bool sourceAlphaFormat = (bf.AlphaFormat & AC_SRC_ALPHA) != 0;
  for (int y = 0; y < size.height(); ++y) {
    const auto* s = reinterpret_cast<const QRgb*>(source.constScanLine(srcOrigin.y() + y)) + srcOrigin.x();
    auto* d = reinterpret_cast<QRgb*>(dst.scanLine(dstOrigin.y() + y)) + dstOrigin.x();
    for (int x = 0; x < size.width(); ++x) {
      const QRgb sp = s[x];
      QRgb& dp = d[x];
      int alpha;  // the scaled source alpha that weakens the destination
      if (sourceAlphaFormat) {
        alpha = perPixel ? Scale(qAlpha(sp), constant) : 0;
      } else {
        alpha = constant;
      }
      const auto mix = [&](int sc, int dc) { return std::min(255, Scale(sc, constant) + Scale(dc, 255 - alpha)); };
      dp = qRgba(mix(qRed(sp), qRed(dp)), mix(qGreen(sp), qGreen(dp)), mix(qBlue(sp), qBlue(dp)), qAlpha(dp));
    }
  }
  return true;
}

void BlendOverlayHalf(QImage& dst, QPoint at, const QImage& overlay) {
  if (overlay.isNull() || !EnsureBlendable(dst)) return;
  const QImage source = overlay.format() == QImage::Format_RGB32 || overlay.format() == QImage::Format_ARGB32
                            ? overlay
                            : overlay.convertToFormat(QImage::Format_RGB32);
  QPoint srcOrigin(0, 0);
  QSize size = source.size();
  if (!Clip(dst, at, source, srcOrigin, size)) return;
  constexpr int kHalf = 128;
  for (int y = 0; y < size.height(); ++y) {
    const auto* s = reinterpret_cast<const QRgb*>(source.constScanLine(srcOrigin.y() + y)) + srcOrigin.x();
    auto* d = reinterpret_cast<QRgb*>(dst.scanLine(at.y() + y)) + at.x();
    for (int x = 0; x < size.width(); ++x) {
      const QRgb sp = s[x];
      const QRgb dp = d[x];
      const auto add = [](int sc, int dc) { return std::min(255, dc + Scale(sc, kHalf)); };
      d[x] = qRgba(add(qRed(sp), qRed(dp)), add(qGreen(sp), qGreen(dp)), add(qBlue(sp), qBlue(dp)), qAlpha(dp));
    }
  }
}

}  // namespace lv
