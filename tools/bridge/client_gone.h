#pragma once
// Whether the client on a connection's socket has hung up, without waiting.
#include <poll.h>

namespace lvbridge {

inline bool ClientGone(int fd) {
  pollfd p{fd, POLLRDHUP, 0};
  return fd >= 0 && poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

}  // namespace lvbridge
