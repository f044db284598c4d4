#include "session/send_queue.h"

namespace lv {

int SendQueue::Push(Message message) {
  std::lock_guard lock(m_lock);
  const int before = static_cast<int>(m_messages.size());
  m_messages.push_back(std::move(message));
  m_count.store(before + 1, std::memory_order_release);
  return before;
}

bool SendQueue::Pop(Message& out, int& before) {
  std::lock_guard lock(m_lock);
  if (m_messages.empty()) return false;
  before = static_cast<int>(m_messages.size());
  out = std::move(m_messages.front());
  m_messages.pop_front();
  m_count.store(before - 1, std::memory_order_release);
  return true;
}

void SendQueue::Clear() {
  std::deque<Message> dropped;
  std::lock_guard lock(m_lock);
  dropped.swap(m_messages);
  m_count.store(0, std::memory_order_release);
}

}  // namespace lv
