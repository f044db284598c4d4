#include "platform/core/sync.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace lv {
namespace {

std::atomic<int> g_failingStarts{0};

}  // namespace

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void FailNextThreadStarts(int count) { g_failingStarts.store(count); }

bool TakeForcedThreadStartFailure() {
  int left = g_failingStarts.load();
  while (left > 0 && !g_failingStarts.compare_exchange_weak(left, left - 1)) {
  }
  return left > 0;
}

void AutoResetEvent::Set() {
  {
    std::lock_guard lock(m_mutex);
    m_signalled = true;
  }
  m_cv.notify_one();
}

void AutoResetEvent::Wait() {
  std::unique_lock lock(m_mutex);
  m_cv.wait(lock, [this] { return m_signalled; });
  m_signalled = false;
}

bool AutoResetEvent::WaitFor(int ms) {
  std::unique_lock lock(m_mutex);
  if (!m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_signalled; })) return false;
  m_signalled = false;
  return true;
}

}  // namespace lv
