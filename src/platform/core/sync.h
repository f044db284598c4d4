#pragma once
// Thread helpers: sleep, starting a thread without ending the process when
// the system has none to give, and an auto-reset event (one waiter released
// per Set).
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <utility>

namespace lv {

void SleepMs(int ms);

// Tests: the next count thread starts fail as if the system refused them.
void FailNextThreadStarts(int count);
bool TakeForcedThreadStartFailure();

// Runs fn on a new std::thread or std::jthread put into thread. False, with
// thread untouched, when none can be made: the constructor's
// std::system_error would otherwise end the process.
template <class Thread, class F>
bool StartThread(Thread& thread, F&& fn) {
  if (TakeForcedThreadStartFailure()) return false;
  try {
    thread = Thread(std::forward<F>(fn));
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

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
