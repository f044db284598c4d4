#include "shell/motion_watch.h"

#include <chrono>
#include <map>
#include <utility>

#include "platform/core/debug_out.h"
#include "protocol/text.h"

namespace lv {

struct MotionWatch::SiteWatch {
  std::string site;
  std::shared_ptr<const MotionSetup> setup;
  std::function<void(const MotionEvent&)> onEvent;
  std::mutex mutex;  // pictures on the taking thread, clips kept from the UI
  std::map<int, std::unique_ptr<ChannelMotion>> channels;
  LumaPlane luma;

  ChannelMotion& Channel(int channel) {
    auto& slot = channels[channel];
    if (!slot) {
      MotionSettings settings;
      settings.enabled = true;
      std::string error;
      if (const std::string text = setup->ChannelText(site, channel);
          !text.empty() && !ParseMotionSettings(text, &settings, &error))
        DebugOut("[Motion] %s channel %d: %s; the defaults are used\r\n", site.c_str(), channel + 1, error.c_str());
      std::optional<ClipOptions> clips;
      if (setup->KeepsClips(site))
        clips = ClipOptions{setup->SiteClipsFolder(site), site, channel, 5, 10, setup->clipsMaxBytes};
      // Events are reported under the mutex, so Close waits for one under way.
      slot = std::make_unique<ChannelMotion>(
          site, channel, settings, std::move(clips),
          [this](const MotionEvent& event) {
            if (onEvent) onEvent(event);
          },
          kAnalysedPerSecond);
    }
    return *slot;
  }

  void Picture(const FrameRecord& frame, const QImage* picture) {
    using namespace std::chrono;
    const std::int64_t wallUs = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    const std::int64_t steadyUs = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    std::lock_guard lock(mutex);
    ChannelMotion& watch = Channel(frame.channel);
    LumaView view;
    const LumaView* shown = nullptr;
    if (picture && !picture->isNull() && picture->format() == QImage::Format_RGB32) {
      ShrinkToLuma(picture->constBits(), picture->width(), picture->height(),
                   static_cast<int>(picture->bytesPerLine()), &luma);
      view = luma.View();
      shown = &view;
    }
    watch.OnPicture(frame.data, frame.size, wallUs, steadyUs, shown);
  }
};

MotionWatch::MotionWatch(MotionSetup setup, std::function<void(const MotionEvent&)> onEvent)
    : m_setup(std::make_shared<const MotionSetup>(std::move(setup))), m_onEvent(std::move(onEvent)) {}

MotionWatch::~MotionWatch() = default;

PictureWatch MotionWatch::WatchSite(const std::u16string& name) {
  std::string site = Utf16ToUtf8(name);
  if (!m_setup->Watching(site)) return {};
  auto watch = std::make_shared<SiteWatch>();
  watch->site = std::move(site);
  watch->setup = m_setup;
  watch->onEvent = m_onEvent;
  {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_watches, [](const std::weak_ptr<SiteWatch>& w) { return w.expired(); });
    m_watches.push_back(watch);
  }
  return [watch](const FrameRecord& frame, const QImage* picture) { watch->Picture(frame, picture); };
}

void MotionWatch::Close() {
  std::vector<std::shared_ptr<SiteWatch>> live;
  {
    std::lock_guard lock(m_mutex);
    for (const auto& w : m_watches)
      if (auto watch = w.lock()) live.push_back(std::move(watch));
  }
  for (const auto& watch : live) {
    std::lock_guard lock(watch->mutex);
    watch->onEvent = nullptr;
  }
}

bool MotionWatch::SaveClip(const std::string& site, int channel) {
  using namespace std::chrono;
  const std::int64_t wallUs = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
  std::vector<std::shared_ptr<SiteWatch>> live;
  {
    std::lock_guard lock(m_mutex);
    for (const auto& w : m_watches)
      if (auto watch = w.lock(); watch && watch->site == site) live.push_back(std::move(watch));
  }
  bool kept = false;
  for (const auto& watch : live) {
    std::lock_guard lock(watch->mutex);
    if (const auto it = watch->channels.find(channel); it != watch->channels.end())
      kept = it->second->SaveClipNow(wallUs) || kept;
  }
  return kept;
}

}  // namespace lv
