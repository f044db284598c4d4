#include "event_hub.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "bridge.h"

namespace lvbridge {
namespace {

// A reader that falls this far behind loses its oldest events, not the bridge's memory.
constexpr std::size_t kMaxQueued = 256;

}  // namespace

std::string IsoUtc(std::int64_t wallUs) {
  const std::int64_t seconds = wallUs >= 0 ? wallUs / 1000000 : (wallUs - 999999) / 1000000;
  const auto millis = static_cast<int>((wallUs - seconds * 1000000) / 1000);
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
  return text;
}

std::string MotionEventJson(const lv::MotionEvent& e) {
  return "{\"site\":" + JsonString(e.site) + ",\"channel\":" + std::to_string(e.channel + 1) +
         ",\"state\":" + (e.started ? "\"start\"" : "\"end\"") + ",\"time\":\"" + IsoUtc(e.wallUs) +
         "\",\"clip\":" + JsonString(e.clipPath) + "}";
}

std::vector<lv::MotionEvent> EventSubscription::Take(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  m_ready.wait_for(lock, timeout, [&] { return !m_queue.empty(); });
  std::vector<lv::MotionEvent> out(std::make_move_iterator(m_queue.begin()), std::make_move_iterator(m_queue.end()));
  m_queue.clear();
  return out;
}

std::uint64_t EventSubscription::Dropped() const {
  std::lock_guard lock(m_mutex);
  return m_dropped;
}

void EventSubscription::Offer(const lv::MotionEvent& event) {
  if (!m_site.empty() && (event.site != m_site || event.channel != m_channel)) return;
  {
    std::lock_guard lock(m_mutex);
    if (m_queue.size() >= kMaxQueued) {
      m_queue.pop_front();
      ++m_dropped;
    }
    m_queue.push_back(event);
  }
  m_ready.notify_all();
}

void EventHub::Publish(const lv::MotionEvent& event) {
  std::lock_guard lock(m_mutex);
  for (const auto& s : m_subscriptions) s->Offer(event);
  for (const auto& l : m_listeners) l(event);
}

std::shared_ptr<EventSubscription> EventHub::Subscribe(std::string site, int channel) {
  auto s = std::make_shared<EventSubscription>(std::move(site), channel);
  std::lock_guard lock(m_mutex);
  m_subscriptions.push_back(s);
  return s;
}

void EventHub::Unsubscribe(const std::shared_ptr<EventSubscription>& subscription) {
  std::lock_guard lock(m_mutex);
  std::erase(m_subscriptions, subscription);
}

void EventHub::AddListener(Listener listener) {
  std::lock_guard lock(m_mutex);
  m_listeners.push_back(std::move(listener));
}

void EventHub::ClearListeners() {
  std::lock_guard lock(m_mutex);
  m_listeners.clear();
}

}  // namespace lvbridge
