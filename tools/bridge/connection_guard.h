#pragma once
// Keeps clients that never finish their request header from holding the
// bridge's connection slots.
//
// A connection waits for a header from the moment it opens and again after
// each answer (keep-alive). While it waits it gets an absolute deadline (the
// idle time-out alone restarts with every byte, so a client that trickles one
// byte at a time would stay for ever), and at most pendingSlots connections
// may wait at once: beyond that the one that has waited longest is dropped,
// once it has had a fair chance (a tenth of the deadline) to send its header.
// A burst of fresh clients is thus let in whole, while a crowd of old
// tricklers makes room for a client that sends its request at once.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace lvbridge {

class ConnectionGuard {
 public:
  using Clock = std::chrono::steady_clock;

  ConnectionGuard(std::chrono::milliseconds headerDeadline, int pendingSlots);
  ~ConnectionGuard();
  ConnectionGuard(const ConnectionGuard&) = delete;
  ConnectionGuard& operator=(const ConnectionGuard&) = delete;

  // A connection on socket fd opened; the id names it in the calls below.
  std::uintptr_t Opened(int fd);
  void HeaderDone(std::uintptr_t id);
  // Its answer is complete: it waits for the next header (keep-alive).
  void AnswerDone(std::uintptr_t id);
  // Before its socket is closed: the guard never touches the socket again.
  void Closed(std::uintptr_t id);

  // Connections waiting for their header now (for tests).
  int Pending() const;

 private:
  struct Entry {
    int fd = -1;
    std::uint64_t inode = 0;  // the socket's, so a reused descriptor is left alone
    Clock::time_point since;
    bool waiting = true;  // for a header
  };
  // Drops what overstayed; with the mutex held.
  void Enforce(Clock::time_point now);
  void Drop(Entry& entry);
  void Main();

  const std::chrono::milliseconds m_deadline;
  const int m_slots;
  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stop = false;
  std::uintptr_t m_nextId = 1;
  std::unordered_map<std::uintptr_t, Entry> m_entries;
  std::thread m_thread;  // last: it uses everything above
};

}  // namespace lvbridge
