#pragma once
// The program's motion watchers: for each view run and wall tile of a watched
// site, a watcher of its pictures that keeps a detector and clip recorder for
// the channel it is shown (made anew when the channel changes) and reports
// events to the desk. The picture already decoded for the screen is what the
// detector looks at; a hidden tile's pictures are decoded at 1/8 for it.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "motion/channel_motion.h"
#include "shell/command_line.h"
#include "video/picture_watch.h"

namespace lv {

class MotionWatch {
 public:
  MotionWatch(MotionSetup setup, std::function<void(const MotionEvent&)> onEvent);
  ~MotionWatch();
  MotionWatch(const MotionWatch&) = delete;
  MotionWatch& operator=(const MotionWatch&) = delete;

  // The watcher for one run of a site's pictures; empty when the site is not
  // watched. What it keeps ends (its clips closed) when the last copy goes.
  PictureWatch WatchSite(const std::u16string& site);
  // Keeps a clip of a site's channel now, in every watcher showing the
  // channel; false when none is.
  bool SaveClip(const std::string& site, int channel);
  // No event is reported after this returns (the desk is about to go);
  // watchers still running keep their clips going quietly.
  void Close();

  // Pictures analysed per second and channel at most: an event still starts
  // within 0.5 s, and a hidden tile's decoding stays cheap.
  static constexpr int kAnalysedPerSecond = 10;

 private:
  struct SiteWatch;
  const std::shared_ptr<const MotionSetup> m_setup;
  const std::function<void(const MotionEvent&)> m_onEvent;
  std::mutex m_mutex;
  std::vector<std::weak_ptr<SiteWatch>> m_watches;
};

}  // namespace lv
