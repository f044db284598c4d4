#include "mjpeg_stream.h"

#include <microhttpd.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "client_gone.h"

namespace lvbridge {
namespace {

using namespace std::chrono_literals;

constexpr unsigned kStreamTimeoutS = 60;  // a viewer that reads nothing this long is dropped
constexpr int kPollMs = 250;              // how often a waiting stream looks at the stop flag
// Unsent bytes a viewer's socket may hold: below a picture, so the next
// part is chosen only when the one before it has nearly left.
constexpr int kUnsentLowWater = 16 * 1024;

}  // namespace

std::string TimestampText(std::chrono::system_clock::time_point t) {
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
  char text[40];
  std::snprintf(text, sizeof text, "%lld.%06lld", static_cast<long long>(us / 1000000),
                static_cast<long long>(us % 1000000));
  return text;
}

std::string HttpDate(std::chrono::system_clock::time_point t) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday], tm.tm_mday,
                kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

void KeepUnsentSmall(int fd) {
  setsockopt(fd, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &kUnsentLowWater, sizeof kUnsentLowWater);
}

MjpegStream::MjpegStream(ChannelFeed& feed, const std::atomic<bool>& stopping, std::atomic<int>& streams,
                         MHD_Connection* connection, int fd)
    : m_feed(feed), m_stopping(stopping), m_streams(streams), m_connection(connection), m_fd(fd),
      m_ends(feed.Ends()) {
  m_feed.Subscribe();
}

MjpegStream::~MjpegStream() {
  m_feed.Unsubscribe();
  m_streams.fetch_sub(1);
}

MjpegStream::Next MjpegStream::BeginPart() {
  if (m_stopping.load()) return Next::End;
  // Choose the picture only when the socket can take it, so that it is the
  // newest one when it starts on its way.
  pollfd p{m_fd, POLLOUT, 0};
  if (poll(&p, 1, kPollMs) <= 0) return ClientGone(m_fd) ? Next::Error : Next::NotYet;
  if (p.revents & (POLLERR | POLLHUP)) return Next::Error;
  if (m_feed.Ends() == m_ends) m_picture = m_feed.WaitNewer(m_lastSequence, std::chrono::milliseconds(kPollMs));
  if (m_feed.Ends() != m_ends) {
    // The feed ended its viewers: the last part says why, as text.
    m_picture.reset();
    m_text = m_feed.Status().text + "\r\n";
    m_head = std::string("--") + kBoundary + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
             std::to_string(m_text.size()) + "\r\n\r\n";
    m_tail = std::string("\r\n--") + kBoundary + "--\r\n";
    m_last = true;
    return Next::Part;
  }
  if (!m_picture) {
    if (m_stopping.load()) return Next::End;
    // While no picture comes (the DVR is away) nothing is written, so a
    // viewer that left would still count and keep the session.
    if (ClientGone(m_fd)) return Next::Error;
    // Waiting for the DVR is not the viewer's idleness: restart its timeout,
    // which then only ends a viewer that stops reading.
    MHD_set_connection_option(m_connection, MHD_CONNECTION_OPTION_TIMEOUT, 0u);
    MHD_set_connection_option(m_connection, MHD_CONNECTION_OPTION_TIMEOUT, kStreamTimeoutS);
    return Next::NotYet;
  }
  m_lastSequence = m_picture->sequence;
  m_head = std::string("--") + kBoundary + "\r\nContent-Type: image/jpeg\r\nContent-Length: " +
           std::to_string(m_picture->size()) + "\r\nX-Timestamp: " + TimestampText(m_picture->wallArrived) +
           "\r\n\r\n";
  m_tail = "\r\n";
  return Next::Part;
}

ssize_t MjpegStream::Read(char* buf, std::size_t max) {
  if (!m_writing) {
    if (m_last) return MHD_CONTENT_READER_END_OF_STREAM;
    switch (BeginPart()) {
      case Next::NotYet: return 0;
      case Next::End: return MHD_CONTENT_READER_END_OF_STREAM;
      case Next::Error: return MHD_CONTENT_READER_END_WITH_ERROR;
      case Next::Part: break;
    }
    m_writing = true;
    m_offset = 0;
  }
  const char* body = m_picture ? reinterpret_cast<const char*>(m_picture->data()) : m_text.data();
  const std::size_t bodySize = m_picture ? m_picture->size() : m_text.size();
  const std::size_t pieces[] = {m_head.size(), bodySize, m_tail.size()};
  const char* from[] = {m_head.data(), body, m_tail.data()};
  std::size_t written = 0, start = 0;
  for (int i = 0; i < 3; ++i) {
    const std::size_t end = start + pieces[i];
    if (m_offset < end && written < max) {
      const std::size_t n = std::min(end - m_offset, max - written);
      std::memcpy(buf + written, from[i] + (m_offset - start), n);
      written += n;
      m_offset += n;
    }
    start = end;
  }
  if (m_offset == start) {
    m_writing = false;
    m_picture.reset();
  }
  return static_cast<ssize_t>(written);
}

}  // namespace lvbridge
