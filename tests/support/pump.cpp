#include "support/pump.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include "platform/core/debug_out.h"

namespace lvtest {

bool PumpUntil(const std::function<bool()>& cond, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!cond()) {
    if (deadline.hasExpired()) return cond();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::sendPostedEvents();
    QThread::msleep(1);
  }
  return true;
}

void PumpFor(int ms) {
  QDeadlineTimer deadline(ms);
  while (!deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
}

DebugCapture::DebugCapture() {
  lv::SetDebugSink([this](const std::string& line) {
    std::lock_guard lock(m_mutex);
    m_lines.push_back(line);
  });
}

DebugCapture::~DebugCapture() { lv::SetDebugSink({}); }

std::vector<std::string> DebugCapture::Lines() const {
  std::lock_guard lock(m_mutex);
  return m_lines;
}

bool DebugCapture::Contains(const std::string& line) const { return Count(line) > 0; }

std::size_t DebugCapture::Count(const std::string& line) const {
  std::lock_guard lock(m_mutex);
  std::size_t n = 0;
  for (const auto& l : m_lines) n += (l == line);
  return n;
}

void DebugCapture::Clear() {
  std::lock_guard lock(m_mutex);
  m_lines.clear();
}

MessageRecorder::MessageRecorder()
    : m_target([this](std::uint32_t msg, lv::WPARAM w, lv::LPARAM l) { m_messages.push_back({msg, w, l}); }) {}

std::size_t MessageRecorder::Count(std::uint32_t msg) const {
  std::size_t n = 0;
  for (const auto& m : m_messages) n += (m.msg == msg);
  return n;
}

const Posted* MessageRecorder::Find(std::uint32_t msg) const {
  for (const auto& m : m_messages)
    if (m.msg == msg) return &m;
  return nullptr;
}

}  // namespace lvtest
