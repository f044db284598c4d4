#pragma once
// Thread helpers: sleep and an auto-reset event (one waiter released per Set).
#include <condition_variable>
#include <mutex>

namespace lv {

void SleepMs(int ms);

class AutoResetEvent {
 public:
  explicit AutoResetEvent(bool initiallySignalled = false) : m_signalled(initiallySignalled) {}
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;

  void Set();
  // Waits without a time limit; consumes the signal.
  void Wait();
  // Waits at most ms milliseconds; true if signalled (and the signal consumed).
  bool WaitFor(int ms);

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_signalled;
};

}  // namespace lv
