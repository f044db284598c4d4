#pragma once
// Test helpers shared by every test that runs an event loop.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/message_target.h"

namespace lvtest {

// Runs the event loop until cond() holds or timeoutMs passes; returns cond().
bool PumpUntil(const std::function<bool()>& cond, int timeoutMs = 5000);
// Runs the event loop for ms milliseconds.
void PumpFor(int ms);

// Captures every debug line while alive (thread-safe).
class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  std::vector<std::string> Lines() const;
  bool Contains(const std::string& line) const;
  std::size_t Count(const std::string& line) const;
  void Clear();

 private:
  mutable std::mutex m_mutex;
  std::vector<std::string> m_lines;
};

struct Posted {
  std::uint32_t msg;
  lv::WPARAM wParam;
  lv::LPARAM lParam;
};

// A window that records every message posted to it.
class MessageRecorder {
 public:
  MessageRecorder();
  lv::HWND Handle() const { return m_target.Handle(); }
  const std::vector<Posted>& Messages() const { return m_messages; }
  std::size_t Count(std::uint32_t msg) const;
  // The first recorded message with this number, or nullptr.
  const Posted* Find(std::uint32_t msg) const;
  void Clear() { m_messages.clear(); }

 private:
  std::vector<Posted> m_messages;
  lv::MessageTarget m_target;
};

}  // namespace lvtest
