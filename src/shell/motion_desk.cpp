#include "shell/motion_desk.h"

#include <QMetaObject>
#include <QObject>
#include <ctime>

#include "platform/core/debug_out.h"
#include "platform/notify/desktop_notifier.h"
#include "protocol/text.h"
#include "view/site_view.h"
#include "wall/wall_tile.h"

namespace lv {
namespace {

// The key a notification carries: the channel, then the site's name.
std::string NotificationKey(const std::string& site, int channel) { return std::to_string(channel) + ":" + site; }

std::u16string Clock(std::int64_t wallUs) {
  const std::time_t t = static_cast<std::time_t>(wallUs / 1'000'000);
  std::tm local{};
  localtime_r(&t, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return Utf8ToUtf16(text);
}

}  // namespace

MotionDesk::MotionDesk(MotionSetup setup, DesktopNotifier* notifier)
    : m_setup(std::move(setup)), m_notifier(notifier), m_context(std::make_unique<QObject>()) {
  if (!m_notifier) return;
  m_notifier->onAction = [this](const std::string& key) {
    const std::size_t colon = key.find(':');
    if (colon == std::string::npos || !onShow) return;
    onShow(Utf8ToUtf16(key.substr(colon + 1)), std::stoi(key.substr(0, colon)));
  };
}

MotionDesk::~MotionDesk() {
  if (m_notifier) m_notifier->onAction = nullptr;
}

void MotionDesk::OnEvent(const MotionEvent& event) {
  QMetaObject::invokeMethod(m_context.get(), [this, event] { Apply(event); }, Qt::QueuedConnection);
}

std::uint32_t MotionDesk::Active(const std::string& site) const {
  const auto it = m_active.find(site);
  return it == m_active.end() ? 0 : it->second;
}

void MotionDesk::Apply(const MotionEvent& event) {
  if (event.channel < 0 || event.channel >= 16) return;
  const std::uint32_t bit = 1u << event.channel;
  std::uint32_t& active = m_active[event.site];
  if (((active & bit) != 0) == event.started) return;  // said already: one notification per event
  active ^= bit;
  DebugOut("# MOTION %s at %s channel %d\r\n", event.started ? "started" : "ended", event.site.c_str(),
           event.channel + 1);
  Mark(event.site, event.channel, event.started);
  if (!event.started || !m_notifier || !m_setup.Notifies(event.site)) return;
  m_notifier->Notify(u"Motion at " + Utf8ToUtf16(event.site) + u", channel " +
                         Utf8ToUtf16(std::to_string(event.channel + 1)),
                     u"Since " + Clock(event.wallUs), NotificationKey(event.site, event.channel));
}

void MotionDesk::Mark(const std::string& site, int channel, bool active) {
  const std::u16string name = Utf8ToUtf16(site);
  if (views)
    for (CDlg_SiteView* view : views()) {
      const CDvrSession* dvr = view ? view->m_pCurr_DVR.load() : nullptr;
      if (dvr && view->GetSafeHwnd() && dvr->m_strSiteName == name) view->SetMotion(channel, active);
    }
  if (tiles)
    for (WallTile* tile : tiles())
      if (tile && tile->Site().name == name && tile->Channel() == channel) tile->SetMotion(active);
}

void MotionDesk::RefreshMarks() {
  for (const auto& [site, mask] : m_active)
    for (int ch = 0; ch < 16; ++ch) Mark(site, ch, (mask >> ch) & 1u);
}

bool MotionDesk::ShowIn(CDlg_SiteView* view, const std::u16string& site, int channel) {
  const CDvrSession* dvr = view && view->GetSafeHwnd() ? view->m_pCurr_DVR.load() : nullptr;
  if (!dvr || dvr->m_strSiteName != site) return false;
  view->ShowChannel(channel);
  return true;
}

void MotionDesk::Attach(CDlg_SiteView& view) {
  view.m_motionHooks.motionNow = [this](const std::u16string& site) { return Active(Utf16ToUtf8(site)); };
  view.m_motionHooks.clipsOn = [this](const std::u16string& site) {
    return saveClip && m_setup.KeepsClips(Utf16ToUtf8(site));
  };
  view.m_motionHooks.saveClip = [this](const std::u16string& site, int channel) {
    return saveClip && saveClip(Utf16ToUtf8(site), channel);
  };
  view.m_motionHooks.watch = watch;
}

}  // namespace lv
