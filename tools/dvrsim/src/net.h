// Small POSIX socket helpers shared by the DVR and the DDNS server.
#pragma once

#include <cstdint>
#include <string>

namespace dvrsim::net {

// A listening TCP socket on 127.0.0.1:port (0 = any free port), non-blocking.
// Returns the descriptor and stores the bound port, or -1 with *error set.
int ListenLoopback(uint16_t port, uint16_t* boundPort, std::string* error);

// Accepts one pending connection as a non-blocking socket with Nagle off;
// -1 when none is pending.
int AcceptNonBlocking(int listenFd);

void Close(int* fd);

// An eventfd that wakes a thread blocked in poll().
class Wake {
 public:
  Wake();
  ~Wake();
  Wake(const Wake&) = delete;
  Wake& operator=(const Wake&) = delete;
  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void Signal();
  void Drain();

 private:
  int fd_ = -1;
};

}  // namespace dvrsim::net
