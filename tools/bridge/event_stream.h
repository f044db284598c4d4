#pragma once
// One client's Server-Sent Events stream of motion events, written as
// libmicrohttpd asks for bytes on the client's own thread: an "event: motion"
// with its JSON per event, and a comment every 15 s so that proxies and the
// client see the stream alive while nothing moves.
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "event_hub.h"

namespace lvbridge {

class EventStream {
 public:
  // Subscribes to hub (site empty: every channel); streams counts the open
  // streams until destruction.
  EventStream(EventHub& hub, std::string site, int channel, const std::atomic<bool>& stopping,
              std::atomic<int>& streams, int fd);
  ~EventStream();
  EventStream(const EventStream&) = delete;
  EventStream& operator=(const EventStream&) = delete;

  // The library's content reader: bytes written, 0 for "none yet", or its end codes.
  ssize_t Read(char* buf, std::size_t max);

 private:
  EventHub& m_hub;
  std::shared_ptr<EventSubscription> m_subscription;
  const std::atomic<bool>& m_stopping;
  std::atomic<int>& m_streams;
  const int m_fd;
  std::string m_pending;  // written next
  std::size_t m_offset = 0;
  std::chrono::steady_clock::time_point m_lastWrite;
};

}  // namespace lvbridge
