#include "motion_watch.h"

#include <cmath>
#include <optional>

#include "feed.h"
#include "log.h"

namespace lvbridge {
namespace {

bool WatchChannel(Bridge& bridge, const Options& options, const std::string& site, int channel,
                  const std::string& settingsText, std::string* error) {
  ChannelFeed* feed = bridge.Find(site, channel);
  if (!feed) {
    *error = "--motion names channel " + std::to_string(channel) + " of '" + site + "', which is not served";
    return false;
  }
  lv::MotionSettings settings;
  settings.enabled = true;
  const std::string& text = settingsText.empty() ? options.motionSettings : settingsText;
  if (!text.empty() && !lv::ParseMotionSettings(text, &settings, error)) return false;
  std::optional<lv::ClipOptions> clips;
  if (options.recordFolder) {
    const auto cap = static_cast<std::uint64_t>(std::llround(options.recordMaxGib * 1024.0 * 1024.0 * 1024.0));
    clips = lv::ClipOptions{*options.recordFolder, site, channel - 1, 5, 10, cap};
  }
  feed->Watch(std::make_unique<lv::ChannelMotion>(
      site, channel - 1, settings, std::move(clips),
      [&bridge](const lv::MotionEvent& event) {
        Log(event.site + " channel " + std::to_string(event.channel + 1) + ": motion " +
            (event.started ? "started" : "ended") + (event.clipPath.empty() ? "" : ", clip " + event.clipPath));
        bridge.PublishMotion(event);
      },
      kMotionPicturesPerSecond, [](const std::filesystem::path& path, const std::string& clipError) {
        if (!clipError.empty()) Log("clip not kept: " + clipError, Priority::Warning);
        else Log("clip kept: " + path.string());
      }));
  return true;
}

}  // namespace

bool StartMotionWatch(Bridge& bridge, const Options& options, std::string* error) {
  if (options.motionAll) {
    // A channel without a camera ends its session after the first login.
    // A channel also named on its own keeps its own settings.
    for (const std::string& site : bridge.SiteNames())
      for (int ch = 1; ch <= lv::kMaxChannels; ++ch) {
        std::string settings;
        for (const MotionChannel& m : options.motion)
          if (m.site == site && m.channel == ch) settings = m.settings;
        if (!WatchChannel(bridge, options, site, ch, settings, error)) return false;
      }
    return true;
  }
  for (const MotionChannel& m : options.motion)
    if (!WatchChannel(bridge, options, m.site, m.channel, m.settings, error)) return false;
  return true;
}

}  // namespace lvbridge
