#include "dvrsim/picture.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "dvrsim/font.h"

namespace dvrsim {

void StepPtz(PtzPosition* p, int code) {
  int dPan = 0, dTilt = 0, dZoom = 0, dFocus = 0, dIris = 0;
  switch (code) {
    case 1: dPan = -1; break;
    case 2: dPan = 1; break;
    case 3: dTilt = 1; break;
    case 4: dTilt = -1; break;
    case 5: dPan = -1; dTilt = 1; break;
    case 6: dPan = 1; dTilt = 1; break;
    case 7: dPan = -1; dTilt = -1; break;
    case 8: dPan = 1; dTilt = -1; break;
    case 9: dZoom = 1; break;
    case 10: dZoom = -1; break;
    case 11: dFocus = 1; break;
    case 12: dFocus = -1; break;
    case 13: dIris = 1; break;
    case 14: dIris = -1; break;
    default: return;
  }
  p->pan = std::clamp(p->pan + 2 * dPan, -90, 90);
  p->tilt = std::clamp(p->tilt + dTilt, -45, 45);
  p->zoom = std::clamp(p->zoom + dZoom, 10, 100);
  p->focus = std::clamp(p->focus + 2 * dFocus, 0, 100);
  p->iris = std::clamp(p->iris + 2 * dIris, 0, 100);
}

PictureMaker::PictureMaker(int width, int height, int quality)
    : width_(std::clamp(width, 16, 4096)),
      height_(std::clamp(height, 16, 4096)),
      quality_(std::clamp(quality, 1, 100)),
      lumaStride_(tjPlaneWidth(0, width_, TJSAMP_420)),
      lumaRows_(tjPlaneHeight(0, height_, TJSAMP_420)),
      chromaWidth_(tjPlaneWidth(1, width_, TJSAMP_420)),
      chromaHeight_(tjPlaneHeight(1, height_, TJSAMP_420)),
      marginX_((width_ / 4) & ~1),
      marginY_((height_ / 4) & ~1) {
  frame_.width = width_;
  frame_.height = height_;
  // The compressor reads whole 2 x 2 blocks: an odd size is padded.
  frame_.y.resize(static_cast<size_t>(lumaStride_) * static_cast<size_t>(lumaRows_));
  frame_.u.resize(static_cast<size_t>(chromaWidth_) * static_cast<size_t>(chromaHeight_));
  frame_.v.resize(frame_.u.size());
  tj_ = tjInitCompress();
  if (tj_ == nullptr) {
    error_ = "cannot set up the JPEG compressor";
    return;
  }
  jpegCapacity_ = tjBufSize(width_, height_, TJSAMP_420);
  jpeg_ = tjAlloc(static_cast<int>(jpegCapacity_));
  if (jpeg_ == nullptr) error_ = "out of memory for the JPEG buffer";
}

PictureMaker::~PictureMaker() {
  if (jpeg_ != nullptr) tjFree(jpeg_);
  if (tj_ != nullptr) tjDestroy(tj_);
}

// The world a camera looks at: larger than the picture by the PTZ margins on
// every side, a gradient with a grid, every fifth cell filled, tinted by the
// channel. Drawn once per channel.
const PictureMaker::Planes& PictureMaker::Scene(int channel) {
  auto it = scenes_.find(channel);
  if (it != scenes_.end()) return it->second;
  Planes s;
  s.width = width_ + 2 * marginX_;
  s.height = height_ + 2 * marginY_;
  const int cw = (s.width + 1) / 2, ch = (s.height + 1) / 2;
  s.y.resize(static_cast<size_t>(s.width) * static_cast<size_t>(s.height));
  s.u.resize(static_cast<size_t>(cw) * static_cast<size_t>(ch));
  s.v.resize(s.u.size());
  const int cell = std::max(16, height_ / 10);
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      int luma = 50 + x * 70 / s.width + y * 50 / s.height;
      const int cx = x / cell, cy = y / cell;
      if ((cx + 2 * cy) % 5 == 0) luma += 50;
      if (x % cell < 2 || y % cell < 2) luma = 190;
      s.y[static_cast<size_t>(y) * static_cast<size_t>(s.width) + static_cast<size_t>(x)] = static_cast<uint8_t>(luma);
    }
  }
  const double angle = channel * 2.3999632;  // golden angle: neighbouring channels differ in hue
  const int du = static_cast<int>(std::lround(40 * std::cos(angle)));
  const int dv = static_cast<int>(std::lround(40 * std::sin(angle)));
  for (int y = 0; y < ch; ++y) {
    for (int x = 0; x < cw; ++x) {
      const int band = ((x * 2) / cell + (y * 2) / cell) % 3 - 1;  // -1, 0, 1
      const size_t i = static_cast<size_t>(y) * static_cast<size_t>(cw) + static_cast<size_t>(x);
      s.u[i] = static_cast<uint8_t>(128 + du + 8 * band);
      s.v[i] = static_cast<uint8_t>(128 + dv - 8 * band);
    }
  }
  return scenes_.emplace(channel, std::move(s)).first->second;
}

void PictureMaker::Fill(int x, int y, int w, int h, uint8_t luma, bool neutral) {
  const int x0 = std::max(0, x), y0 = std::max(0, y);
  const int x1 = std::min(width_, x + w), y1 = std::min(height_, y + h);
  if (x0 >= x1 || y0 >= y1) return;
  for (int r = y0; r < y1; ++r)
    std::memset(&frame_.y[static_cast<size_t>(r) * static_cast<size_t>(lumaStride_) + static_cast<size_t>(x0)], luma,
                static_cast<size_t>(x1 - x0));
  if (!neutral) return;
  for (int r = y0 / 2; r <= (y1 - 1) / 2; ++r) {
    const size_t off = static_cast<size_t>(r) * static_cast<size_t>(chromaWidth_) + static_cast<size_t>(x0 / 2);
    const size_t n = static_cast<size_t>((x1 - 1) / 2 - x0 / 2 + 1);
    std::memset(&frame_.u[off], 128, n);
    std::memset(&frame_.v[off], 128, n);
  }
}

// A dark label behind a caption so it reads on any part of the scene.
void PictureMaker::Darken(int x, int y, int w, int h) {
  const int x0 = std::max(0, x), y0 = std::max(0, y);
  const int x1 = std::min(width_, x + w), y1 = std::min(height_, y + h);
  if (x0 >= x1 || y0 >= y1) return;
  for (int r = y0; r < y1; ++r) {
    uint8_t* row = &frame_.y[static_cast<size_t>(r) * static_cast<size_t>(lumaStride_)];
    for (int c = x0; c < x1; ++c) row[c] = static_cast<uint8_t>(16 + row[c] / 4);
  }
  for (int r = y0 / 2; r <= (y1 - 1) / 2; ++r) {
    for (int c = x0 / 2; c <= (x1 - 1) / 2; ++c) {
      const size_t i = static_cast<size_t>(r) * static_cast<size_t>(chromaWidth_) + static_cast<size_t>(c);
      frame_.u[i] = static_cast<uint8_t>((frame_.u[i] + 128) / 2);
      frame_.v[i] = static_cast<uint8_t>((frame_.v[i] + 128) / 2);
    }
  }
}

// The scripted objects and the switch to the brighter, grey night picture.
// Objects are part of the scene, so the switch lightens them too; captions
// are drawn after it.
void PictureMaker::Play(const SceneScript& script, double seconds) {
  const int side = std::max(2, height_ / 6);
  for (double at : script.objectAt) {
    const double t = seconds - at;
    if (t < 0 || t >= kObjectCrossSeconds) continue;
    // From just outside the left edge to just outside the right one.
    const int x = -side + static_cast<int>(t / kObjectCrossSeconds * (width_ + side));
    Fill(x, (height_ - side) / 2, side, side, 24, true);
  }
  if (script.brightnessAt < 0 || seconds < script.brightnessAt) return;
  for (int r = 0; r < height_; ++r) {
    uint8_t* row = &frame_.y[static_cast<size_t>(r) * static_cast<size_t>(lumaStride_)];
    for (int c = 0; c < width_; ++c) row[c] = static_cast<uint8_t>(120 + row[c] / 2);
  }
  std::fill(frame_.u.begin(), frame_.u.end(), uint8_t{128});
  std::fill(frame_.v.begin(), frame_.v.end(), uint8_t{128});
}

int PictureMaker::TextWidth(const std::string& text, int scale) {
  return static_cast<int>(text.size()) * (kGlyphWidth + 1) * scale - scale;
}

void PictureMaker::Text(int x, int y, int scale, const std::string& text) {
  Darken(x - scale * 2, y - scale * 2, TextWidth(text, scale) + scale * 4, kGlyphHeight * scale + scale * 4);
  GlyphRows rows;
  for (char c : text) {
    Glyph(c, &rows);
    for (int r = 0; r < kGlyphHeight; ++r)
      for (int col = 0; col < kGlyphWidth; ++col)
        if (rows[static_cast<size_t>(r)] & (0x10 >> col)) Fill(x + col * scale, y + r * scale, scale, scale, 235, true);
    x += (kGlyphWidth + 1) * scale;
  }
}

std::span<const uint8_t> PictureMaker::Make(const PictureStamp& stamp) {
  if (tj_ == nullptr || jpeg_ == nullptr) return {};
  const Planes& scene = Scene(stamp.channel);

  // The centre view, or for a PTZ camera the part of the scene it points at.
  int ox = marginX_, oy = marginY_;
  if (stamp.ptz != nullptr) {
    ox = (marginX_ + stamp.ptz->pan * marginX_ / 90) & ~1;
    oy = (marginY_ - stamp.ptz->tilt * marginY_ / 45) & ~1;
  }
  for (int r = 0; r < height_; ++r)
    std::memcpy(&frame_.y[static_cast<size_t>(r) * static_cast<size_t>(lumaStride_)],
                &scene.y[static_cast<size_t>(oy + r) * static_cast<size_t>(scene.width) + static_cast<size_t>(ox)],
                static_cast<size_t>(width_));
  const int sceneCw = (scene.width + 1) / 2;
  for (int r = 0; r < chromaHeight_; ++r) {
    const size_t src = static_cast<size_t>(oy / 2 + r) * static_cast<size_t>(sceneCw) + static_cast<size_t>(ox / 2);
    const size_t dst = static_cast<size_t>(r) * static_cast<size_t>(chromaWidth_);
    std::memcpy(&frame_.u[dst], &scene.u[src], static_cast<size_t>(chromaWidth_));
    std::memcpy(&frame_.v[dst], &scene.v[src], static_cast<size_t>(chromaWidth_));
  }

  const bool still = stamp.script != nullptr && stamp.script->still;
  if (!still) {
    // The moving bar: 8 pixels further on every picture, shown inverted.
    const int barWidth = std::max(4, width_ / 40);
    const int barX = static_cast<int>((uint64_t{stamp.sequence} * 8) % static_cast<uint64_t>(width_));
    for (int r = 0; r < height_; ++r) {
      uint8_t* row = &frame_.y[static_cast<size_t>(r) * static_cast<size_t>(lumaStride_)];
      for (int c = barX; c < std::min(width_, barX + barWidth); ++c) row[c] = static_cast<uint8_t>(255 - row[c]);
    }
  }
  if (stamp.script != nullptr) Play(*stamp.script, stamp.seconds);

  const int big = std::max(2, height_ / 60);
  const int small = std::max(1, height_ / 240);
  const int pad = 3 * small + 2;
  char buf[64];

  if (stamp.ptz != nullptr) {
    // Reticle: grows with the zoom.
    const int halfW = std::min(width_ / 2 - 2, width_ / 16 * stamp.ptz->zoom / 10);
    const int halfH = std::min(height_ / 2 - 2, height_ / 16 * stamp.ptz->zoom / 10);
    const int cx = width_ / 2, cy = height_ / 2, t = small;
    Fill(cx - halfW, cy - halfH, 2 * halfW, t, 235, true);
    Fill(cx - halfW, cy + halfH - t, 2 * halfW, t, 235, true);
    Fill(cx - halfW, cy - halfH, t, 2 * halfH, 235, true);
    Fill(cx + halfW - t, cy - halfH, t, 2 * halfH, 235, true);
  }

  std::snprintf(buf, sizeof buf, "CH%02d", stamp.channel + 1);
  Text(2 * big, 2 * big, big, buf);

  if (!still) {
    std::snprintf(buf, sizeof buf, "#%06u", static_cast<unsigned>(stamp.sequence % 1000000));
    Text(width_ - pad - TextWidth(buf, small), pad, small, buf);
  }

  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", stamp.year, stamp.month, stamp.day, stamp.hour,
                stamp.minute, stamp.second);
  const int lineStep = (kGlyphHeight + 4) * small;
  Text(pad, height_ - pad - kGlyphHeight * small, small, buf);

  if (stamp.ptz != nullptr) {
    const PtzPosition& p = *stamp.ptz;
    int y = (4 + kGlyphHeight) * big + 3 * small;
    std::snprintf(buf, sizeof buf, "PAN %+03d TILT %+03d ZOOM %d.%dX", p.pan, p.tilt, p.zoom / 10, p.zoom % 10);
    Text(pad, y, small, buf);
    y += lineStep;
    std::snprintf(buf, sizeof buf, "FOCUS %d IRIS %d", p.focus, p.iris);
    Text(pad, y, small, buf);
  }

  const unsigned char* planes[3] = {frame_.y.data(), frame_.u.data(), frame_.v.data()};
  const int strides[3] = {lumaStride_, chromaWidth_, chromaWidth_};
  unsigned long size = jpegCapacity_;
  if (tjCompressFromYUVPlanes(static_cast<tjhandle>(tj_), planes, width_, strides, height_, TJSAMP_420, &jpeg_, &size,
                              quality_, TJFLAG_NOREALLOC | TJFLAG_FASTDCT) != 0) {
    error_ = tjGetErrorStr2(static_cast<tjhandle>(tj_));
    return {};
  }
  return {jpeg_, static_cast<size_t>(size)};
}

}  // namespace dvrsim
