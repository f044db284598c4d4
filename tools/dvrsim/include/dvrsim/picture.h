// Makes the JPEG pictures a simulated camera streams: a scene per channel with
// the channel number, a moving bar (so no two consecutive pictures are equal),
// the date and time, the picture's sequence number and, for a PTZ camera, its
// position. A scene script can keep the scene still instead, send objects
// across it and switch its brightness, the same in every channel. Pictures are drawn in YUV 4:2:0 and compressed straight from the
// planes, which keeps one 704 x 480 picture at a few milliseconds of one core.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace dvrsim {

// Where a PTZ camera points. Pan and tilt in degrees, zoom in tenths
// (10 = 1.0x), focus and iris in percent.
struct PtzPosition {
  int pan = 0;     // -90 (left) .. 90 (right)
  int tilt = 0;    // -45 (down) .. 45 (up)
  int zoom = 10;   // 10 .. 100
  int focus = 50;  // 0 .. 100
  int iris = 50;   // 0 .. 100
  int code = 0;    // movement under way, 0 = none
  bool operator==(const PtzPosition&) const = default;
};

// Steps p once in the direction of the control code (1 left, 2 right, 3 up,
// 4 down, 5 up-left, 6 up-right, 7 down-left, 8 down-right, 9 zoom in,
// 10 zoom out, 11 focus +, 12 focus -, 13 iris +, 14 iris -); other codes
// leave it as it is. Every value stops at its limit.
void StepPtz(PtzPosition* p, int code);

// What happens in front of every camera, in seconds since the simulator
// started.
struct SceneScript {
  bool still = false;             // no moving bar and no sequence number: only the clock changes
  std::vector<double> objectAt;   // a dark block enters at the left edge and crosses the picture
  double brightnessAt = -1;       // from then on the picture is brighter and grey (< 0: never)
};
inline constexpr double kObjectCrossSeconds = 3.0;  // from entering at the left to gone at the right

struct PictureStamp {
  int channel = 0;         // 0-based; the caption shows it 1-based
  uint32_t sequence = 0;   // drives the moving bar and is printed
  int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  const PtzPosition* ptz = nullptr;  // set for a PTZ camera
  const SceneScript* script = nullptr;  // nullptr: the moving scene, nothing scripted
  double seconds = 0;                   // since the simulator started, for the script
};

class PictureMaker {
 public:
  PictureMaker(int width, int height, int quality);
  ~PictureMaker();
  PictureMaker(const PictureMaker&) = delete;
  PictureMaker& operator=(const PictureMaker&) = delete;

  // The JPEG bytes, valid until the next call; empty when compression failed
  // (the reason is in Error()).
  std::span<const uint8_t> Make(const PictureStamp& stamp);
  const std::string& Error() const { return error_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  struct Planes {
    int width = 0, height = 0;  // luma size; chroma is half of each, rounded up
    std::vector<uint8_t> y, u, v;
  };
  const Planes& Scene(int channel);
  void Fill(int x, int y, int w, int h, uint8_t luma, bool neutral);
  void Darken(int x, int y, int w, int h);
  void Play(const SceneScript& script, double seconds);
  void Text(int x, int y, int scale, const std::string& text);
  static int TextWidth(const std::string& text, int scale);

  int width_, height_, quality_;
  int lumaStride_, lumaRows_;  // the luma plane, padded to whole 2 x 2 blocks
  int chromaWidth_, chromaHeight_;
  int marginX_, marginY_;  // how far a PTZ camera can look beyond the centre view
  std::map<int, Planes> scenes_;
  Planes frame_;
  void* tj_ = nullptr;
  uint8_t* jpeg_ = nullptr;
  unsigned long jpegCapacity_ = 0;
  std::string error_;
};

}  // namespace dvrsim
