#pragma once
// Motion events fanned out to whoever listens: event streams (each with a
// queue of its own, read on its HTTP thread) and listeners called at once
// (the MQTT reporter).
//
// Threads: Publish is called from any thread (a feed's pump thread, tests);
// subscribers read on their own thread.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "motion/channel_motion.h"

namespace lvbridge {

// "2026-05-01T12:30:00.250Z" for microseconds since the epoch.
std::string IsoUtc(std::int64_t wallUs);
// {"site":..,"channel":N (1-based),"state":"start"|"end","time":..,"clip":..}
std::string MotionEventJson(const lv::MotionEvent& event);

class EventSubscription {
 public:
  // site empty: every channel; channel is 0-based.
  EventSubscription(std::string site, int channel) : m_site(std::move(site)), m_channel(channel) {}
  // Waits at most timeout for events; returns those queued (empty: none came).
  std::vector<lv::MotionEvent> Take(std::chrono::milliseconds timeout);
  // Events dropped because the reader fell behind.
  std::uint64_t Dropped() const;

 private:
  friend class EventHub;
  void Offer(const lv::MotionEvent& event);

  const std::string m_site;
  const int m_channel;
  mutable std::mutex m_mutex;
  std::condition_variable m_ready;
  std::deque<lv::MotionEvent> m_queue;
  std::uint64_t m_dropped = 0;
};

class EventHub {
 public:
  using Listener = std::function<void(const lv::MotionEvent&)>;

  // Any thread.
  void Publish(const lv::MotionEvent& event);
  std::shared_ptr<EventSubscription> Subscribe(std::string site = {}, int channel = -1);
  void Unsubscribe(const std::shared_ptr<EventSubscription>& subscription);
  // Called on the publishing thread; must not block. Added before events flow.
  void AddListener(Listener listener);
  void ClearListeners();

 private:
  std::mutex m_mutex;
  std::vector<std::shared_ptr<EventSubscription>> m_subscriptions;
  std::vector<Listener> m_listeners;
};

}  // namespace lvbridge
