#pragma once
// First-in first-out queue of outgoing messages. One lock, held for a single
// list operation; the send thread is the only consumer.
#include <atomic>
#include <deque>
#include <mutex>

#include "protocol/protocol.h"

namespace lv {

class SendQueue {
 public:
  // Appends; returns the count just before the append.
  int Push(Message message);
  // Takes the oldest message; false if empty. before = count before removal.
  bool Pop(Message& out, int& before);
  int Count() const { return m_count.load(std::memory_order_acquire); }
  void Clear();

 private:
  std::mutex m_lock;
  std::deque<Message> m_messages;
  std::atomic<int> m_count{0};
};

}  // namespace lv
