#include "shell/motion_watch.h"

#include <chrono>
#include <utility>

#include "platform/core/debug_out.h"
#include "protocol/text.h"

namespace lv {

namespace {

std::int64_t WallNowUs() {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

// A view run or a wall tile shows one channel at a time: the watcher keeps the
// channel it is fed and, when the pictures move to another channel or the run
// ends, stops the old one (an event under way is reported ended, its clip
// closed), so no mark or event outlives its pictures.
struct MotionWatch::SiteWatch {
  std::string site;
  std::shared_ptr<const MotionSetup> setup;
  std::function<void(const MotionEvent&)> onEvent;
  std::mutex mutex;  // pictures on the taking thread, clips kept from the UI
  std::unique_ptr<ChannelMotion> current;
  LumaPlane luma;

  ~SiteWatch() {
    std::lock_guard lock(mutex);
    if (current) current->StopWatching(WallNowUs());
  }

  ChannelMotion& Channel(int channel) {
    if (current && current->Channel() == channel) return *current;
    if (current) current->StopWatching(WallNowUs());
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
    current = std::make_unique<ChannelMotion>(
        site, channel, settings, std::move(clips),
        [this](const MotionEvent& event) {
          if (onEvent) onEvent(event);
        },
        kAnalysedPerSecond,
        [](const std::filesystem::path& path, const std::string& error) {
          if (!error.empty()) DebugOut("[Motion] clip not kept: %s\r\n", error.c_str());
          else DebugOut("[Motion] clip kept: %s\r\n", path.c_str());
        });
    return *current;
  }

  void Picture(const FrameRecord& frame, const QImage* picture) {
    using namespace std::chrono;
    const std::int64_t steadyUs = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    std::lock_guard lock(mutex);
    ChannelMotion& watch = Channel(frame.channel);
    LumaView view;
    const LumaView* shown = nullptr;
    // Shrunk only for a picture the detector will look at.
    if (picture && !picture->isNull() && picture->format() == QImage::Format_RGB32 && watch.Due(steadyUs)) {
      ShrinkToLuma(picture->constBits(), picture->width(), picture->height(),
                   static_cast<int>(picture->bytesPerLine()), &luma);
      view = luma.View();
      shown = &view;
    }
    watch.OnPicture(frame.data, frame.size, WallNowUs(), steadyUs, shown);
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
  const std::int64_t wallUs = WallNowUs();
  std::vector<std::shared_ptr<SiteWatch>> live;
  {
    std::lock_guard lock(m_mutex);
    for (const auto& w : m_watches)
      if (auto watch = w.lock(); watch && watch->site == site) live.push_back(std::move(watch));
  }
  bool kept = false;
  for (const auto& watch : live) {
    std::lock_guard lock(watch->mutex);
    if (watch->current && watch->current->Channel() == channel) kept = watch->current->SaveClipNow(wallUs) || kept;
  }
  return kept;
}

}  // namespace lv
