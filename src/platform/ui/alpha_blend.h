#pragma once
// Blending of overlay pictures onto a picture. Plain functions on images, so
// the render thread can compose its off-screen picture with them.
#include <QImage>
#include <QPoint>
#include <QRect>
#include <cstdint>

namespace lv {

struct BLENDFUNCTION {
  std::uint8_t BlendOp = 0;  // AC_SRC_OVER
  std::uint8_t BlendFlags = 0;
  std::uint8_t SourceConstantAlpha = 255;
  std::uint8_t AlphaFormat = 0;  // AC_SRC_ALPHA: the source has per-pixel alpha
};

// The platform blend: every source channel is scaled by the constant alpha,
// then added to the destination scaled by one minus the source's (scaled)
// alpha; results saturate at 255. With AC_SRC_ALPHA the per-pixel alpha is the
// source's alpha channel; images without one (the 32-bit bitmaps of the
// resources, whose fourth byte is 0) count as alpha 0, which turns the blend
// into an addition. A source rectangle of another size is stretched first.
// The destination is clipped; it is converted to 32 bits if it is not.
// Returns false (and draws nothing) for null images or empty rectangles.
bool AlphaBlend(QImage& dst, const QRect& dstRect, const QImage& src, const QRect& srcRect, BLENDFUNCTION bf);

// The overlay blend of the video area (constant alpha 128 over pictures whose
// fourth byte is 0): each overlay pixel is added to the picture at half
// strength, saturating, so black leaves the picture as it is and a bright icon
// brightens it. The overlay's own alpha is ignored; the result is clipped.
void BlendOverlayHalf(QImage& dst, QPoint at, const QImage& overlay);

}  // namespace lv
