// What the simulator's threads share: the configuration (read-only once the
// simulator is built), the counters, the request log and the PTZ cameras.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "dvrsim/simulator.h"

namespace dvrsim {

// Bit of channel ch in a channel mask (channel 0 is the most significant bit).
inline bool ChannelBit(uint32_t mask, int ch) {
  return ch >= 0 && ch < 32 && ((mask >> (31 - ch)) & 1u) != 0;
}

class SharedState {
 public:
  explicit SharedState(Config c) : cfg(std::move(c)) {}

  const Config cfg;
  std::atomic<uint64_t> framesSent{0};
  std::atomic<uint64_t> sendCalls{0};
  std::atomic<uint64_t> bytesSent{0};
  std::atomic<size_t> openConnections{0};
  std::atomic<int> loggedIn{0};  // connections logged in now
  std::atomic<int64_t> startedUs{0};  // steady clock at Start(), for the scene script

  void Record(Request r);
  std::vector<Request> Requests() const;
  bool WaitForRequests(size_t n, int timeoutMs) const;

  // A PTZ camera keeps moving by its code on every picture it takes.
  void SetPtzCode(int ch, int code);
  PtzPosition AdvancePtz(int ch);
  PtzPosition Ptz(int ch) const;

 private:
  mutable std::mutex mu_;
  mutable std::condition_variable cv_;
  std::vector<Request> log_;
  std::array<PtzPosition, 256> ptz_{};
};

}  // namespace dvrsim
