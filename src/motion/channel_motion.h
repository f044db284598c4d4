#pragma once
// Motion watching for one channel, the one place both the program and the
// bridge use: pictures in, events and clips out. It runs the detector on each
// picture (or on at most `maxAnalysedPerSecond` of them, for a client that
// must decode pictures only for this), keeps the clip recorder fed, starts a
// clip when an event starts and reports each event's start and end.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "motion/clip_recorder.h"
#include "motion/luma_decoder.h"
#include "motion/motion_detector.h"

namespace lv {

struct MotionEvent {
  std::string site;
  int channel = 0;          // 0-based
  bool started = false;     // false: the event ended
  std::int64_t wallUs = 0;  // when it started or ended, microseconds since the epoch
  std::string clipPath;     // the clip it is kept in ("" when not recording)
};

class ChannelMotion {
 public:
  // Called on the thread that feeds pictures.
  using EventFn = std::function<void(const MotionEvent&)>;

  // `onClip` hears of each clip closed, or of one that could not be written
  // (on the recorder's writer thread).
  ChannelMotion(std::string site, int channel, MotionSettings settings, std::optional<ClipOptions> clips,
                EventFn onEvent, int maxAnalysedPerSecond = 0 /* 0: every picture */,
                ClipRecorder::ClosedFn onClip = {});
  ~ChannelMotion();

  // A picture as received, with its arrival time on the wall clock and on a
  // monotonic clock. `luma` is the picture already shrunk for the screen when
  // the caller has one; otherwise the JPEG is decoded at 1/8 here.
  void OnPicture(const std::uint8_t* jpeg, std::size_t size, std::int64_t wallUs, std::int64_t steadyUs,
                 const LumaView* luma = nullptr);
  // Whether the next picture at steadyUs would be analysed: a caller that
  // prepares the luma plane itself does so only then.
  bool Due(std::int64_t steadyUs) const;
  // Keeps a clip around now (the user asked for it), motion or not. False
  // when this channel records no clips.
  bool SaveClipNow(std::int64_t wallUs);
  // The pictures stop (the channel was switched away or its run ended): an
  // event under way is reported ended now, since no picture will end it.
  void StopWatching(std::int64_t wallUs);
  const std::string& Site() const { return m_site; }
  int Channel() const { return m_channel; }

 private:
  std::string m_site;
  int m_channel;
  MotionDetector m_detector;
  std::unique_ptr<ClipRecorder> m_recorder;
  EventFn m_onEvent;
  int m_maxPerSecond;
  std::int64_t m_lastAnalysedUs = 0;
  std::string m_clipPath;  // the clip of the event under way
  LumaDecoder m_decoder;
  LumaPlane m_luma;
};

}  // namespace lv
