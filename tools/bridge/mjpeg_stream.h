#pragma once
// One viewer's multipart/x-mixed-replace stream, written part by part as
// libmicrohttpd asks for bytes on the viewer's own thread.
//
// A viewer always gets the newest picture at the moment its socket can take
// one: the socket keeps little unsent data (KeepUnsentSmall), and a part
// begins only once the socket is writable again, so a slow viewer skips
// pictures instead of receiving an ever older backlog. Each part carries the
// time its picture came from the DVR in X-Timestamp.
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "feed.h"

struct MHD_Connection;

namespace lvbridge {

inline constexpr const char* kBoundary = "lorventaframe";

// "1733650000.123456": seconds and microseconds since 1970 (UTC).
std::string TimestampText(std::chrono::system_clock::time_point t);
// "Tue, 08 Dec 2026 17:30:00 GMT", whatever the process's locale.
std::string HttpDate(std::chrono::system_clock::time_point t);
// Limits what a socket holds unsent to a few kilobytes.
void KeepUnsentSmall(int fd);

class MjpegStream {
 public:
  // Subscribes to feed; streams counts the open streams until destruction.
  MjpegStream(ChannelFeed& feed, const std::atomic<bool>& stopping, std::atomic<int>& streams,
              MHD_Connection* connection, int fd);
  ~MjpegStream();
  MjpegStream(const MjpegStream&) = delete;
  MjpegStream& operator=(const MjpegStream&) = delete;

  // The library's content reader: bytes written, 0 for "none yet", or its end codes.
  ssize_t Read(char* buf, std::size_t max);

 private:
  enum class Next { Part, NotYet, End, Error };
  Next BeginPart();

  ChannelFeed& m_feed;
  const std::atomic<bool>& m_stopping;
  std::atomic<int>& m_streams;
  MHD_Connection* const m_connection;
  const int m_fd;  // the viewer's socket: is it writable, has it gone
  const std::uint64_t m_ends;  // the feed's Ends() when the viewer came
  std::uint64_t m_lastSequence = 0;
  // The part being written: head, body (a picture's bytes or m_text), tail.
  std::shared_ptr<const Picture> m_picture;
  std::string m_head, m_text, m_tail;
  std::size_t m_offset = 0;
  bool m_writing = false;
  bool m_last = false;  // the part that ends the stream
};

}  // namespace lvbridge
