#include "event_stream.h"

#include <microhttpd.h>

#include <cstring>

#include "client_gone.h"

namespace lvbridge {
namespace {

constexpr auto kKeepalive = std::chrono::seconds(15);
constexpr auto kPoll = std::chrono::milliseconds(250);  // how often a waiting stream looks at the stop flag

}  // namespace

EventStream::EventStream(EventHub& hub, std::string site, int channel, const std::atomic<bool>& stopping,
                         std::atomic<int>& streams, int fd)
    : m_hub(hub),
      m_subscription(hub.Subscribe(std::move(site), channel)),
      m_stopping(stopping),
      m_streams(streams),
      m_fd(fd),
      m_lastWrite(std::chrono::steady_clock::now()) {
  // The first bytes tell the client the stream is open and how soon to come back.
  m_pending = "retry: 3000\n: connected\n\n";
}

EventStream::~EventStream() {
  m_hub.Unsubscribe(m_subscription);
  m_streams.fetch_sub(1);
}

ssize_t EventStream::Read(char* buf, std::size_t max) {
  if (m_offset == m_pending.size()) {
    m_pending.clear();
    m_offset = 0;
    if (m_stopping.load()) return MHD_CONTENT_READER_END_OF_STREAM;
    for (const lv::MotionEvent& e : m_subscription->Take(kPoll))
      m_pending += "event: motion\ndata: " + MotionEventJson(e) + "\n\n";
    const auto now = std::chrono::steady_clock::now();
    if (m_pending.empty() && now - m_lastWrite >= kKeepalive) m_pending = ": keepalive\n\n";
    if (m_pending.empty()) return ClientGone(m_fd) ? MHD_CONTENT_READER_END_WITH_ERROR : 0;
    m_lastWrite = now;
  }
  const std::size_t n = std::min(max, m_pending.size() - m_offset);
  std::memcpy(buf, m_pending.data() + m_offset, n);
  m_offset += n;
  return static_cast<ssize_t>(n);
}

}  // namespace lvbridge
