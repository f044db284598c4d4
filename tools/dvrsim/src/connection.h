// One client connection of the simulated DVR, served by a thread of its own
// that reads requests, answers them and streams pictures and heartbeats.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <span>
#include <thread>
#include <vector>

#include "dvrsim/picture.h"
#include "net.h"
#include "state.h"

namespace dvrsim {

// An action asked for from another thread, done between two messages.
struct Command {
  enum class Kind { kRaw, kHeartbeat, kCloseChannel, kDrop, kDropIfStreaming };
  Kind kind = Kind::kRaw;
  std::vector<uint8_t> bytes;
  uint32_t result = 1;
  int channel = 0;
};

class Connection {
 public:
  // Takes ownership of fd. `ended` is called on the connection's thread when
  // it has finished, so its owner can reap it (close its descriptors) at once.
  Connection(SharedState& shared, int fd, size_t index, std::function<void()> ended);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void Start();
  void Post(Command c);
  void Stop();
  void Join();
  bool Finished() const { return finished_.load(std::memory_order_acquire); }

 private:
  using Clock = std::chrono::steady_clock;

  void Run();
  bool RunCommands();
  bool ReadRequests();
  bool Handle(const uint8_t* msg, size_t len);
  bool Login(const Request& r);
  bool OpenChannel(const Request& r);
  bool SendPictures();
  bool SendPicture(int ch);
  bool SendShortVideo(std::span<const uint8_t> frameHeader, std::span<const uint8_t> jpeg);
  bool CloseChannel(int ch);
  bool Reply(uint32_t id, uint32_t result, const std::vector<uint8_t>& body);
  bool SendMessage(const uint8_t* p, size_t n);
  bool Write(const uint8_t* p, size_t n);
  bool WriteSlowly(const uint8_t* p, size_t n);  // one byte a second
  bool SendHostilePicture(const uint8_t* m, size_t n, uint32_t seq);
  bool WaitWritable();
  std::vector<uint8_t> Garbage(size_t n);

  SharedState& s_;
  const Config& cfg_;
  int fd_;
  const size_t index_;
  net::Wake wake_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  std::function<void()> ended_;
  std::mutex cmdMu_;
  std::deque<Command> cmds_;

  // Owned by the connection's thread.
  std::vector<uint8_t> in_;
  bool loggedIn_ = false;
  std::vector<int> open_;  // streaming channels, in the order they were opened
  std::array<int, 256> framesThisOpening_{};
  Clock::time_point nextPicture_{};
  uint32_t pictures_ = 0;
  uint64_t messages_ = 0;
  bool shortVideoSent_ = false;
  bool dropNow_ = false;
  bool stalled_ = false;  // sends nothing more (a header went out without its body)
  std::mt19937 rng_;
  std::unique_ptr<PictureMaker> maker_;
  std::vector<uint8_t> video_;
};

}  // namespace dvrsim
