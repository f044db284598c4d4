#include "connection_guard.h"

#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>

namespace lvbridge {

ConnectionGuard::ConnectionGuard(std::chrono::milliseconds headerDeadline, int pendingSlots)
    : m_deadline(headerDeadline), m_slots(std::max(1, pendingSlots)), m_thread([this] { Main(); }) {}

ConnectionGuard::~ConnectionGuard() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  m_thread.join();
}

std::uintptr_t ConnectionGuard::Opened(int fd) {
  std::lock_guard lock(m_mutex);
  const std::uintptr_t id = m_nextId++;
  struct stat st{};
  m_entries[id] = Entry{fd, fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_ino) : 0u, Clock::now(), true};
  Enforce(Clock::now());
  return id;
}

void ConnectionGuard::HeaderDone(std::uintptr_t id) {
  std::lock_guard lock(m_mutex);
  if (const auto it = m_entries.find(id); it != m_entries.end()) it->second.waiting = false;
}

void ConnectionGuard::AnswerDone(std::uintptr_t id) {
  std::lock_guard lock(m_mutex);
  if (const auto it = m_entries.find(id); it != m_entries.end() && it->second.fd >= 0) {
    it->second.waiting = true;
    it->second.since = Clock::now();
  }
}

void ConnectionGuard::Closed(std::uintptr_t id) {
  std::lock_guard lock(m_mutex);
  m_entries.erase(id);
}

int ConnectionGuard::Pending() const {
  std::lock_guard lock(m_mutex);
  return static_cast<int>(
      std::count_if(m_entries.begin(), m_entries.end(), [](const auto& e) { return e.second.waiting; }));
}

void ConnectionGuard::Drop(Entry& entry) {
  // The connection's own thread sees the socket end and closes it. It reports
  // Closed before it closes the descriptor; the inode is checked all the same.
  struct stat st{};
  if (fstat(entry.fd, &st) == 0 && static_cast<std::uint64_t>(st.st_ino) == entry.inode) shutdown(entry.fd, SHUT_RDWR);
  entry.fd = -1;
  entry.waiting = false;
}

void ConnectionGuard::Enforce(Clock::time_point now) {
  int waiting = 0;
  for (auto& [id, entry] : m_entries) {
    if (!entry.waiting) continue;
    if (now - entry.since >= m_deadline) Drop(entry);
    else ++waiting;
  }
  const auto fairChance = m_deadline / 10;
  while (waiting > m_slots) {
    Entry* oldest = nullptr;
    for (auto& [id, entry] : m_entries)
      if (entry.waiting && (!oldest || entry.since < oldest->since)) oldest = &entry;
    if (!oldest || now - oldest->since < fairChance) return;
    Drop(*oldest);
    --waiting;
  }
}

void ConnectionGuard::Main() {
  const auto tick = std::clamp(m_deadline / 20, std::chrono::milliseconds(10), std::chrono::milliseconds(250));
  std::unique_lock lock(m_mutex);
  while (!m_stop) {
    m_wake.wait_for(lock, tick);
    Enforce(Clock::now());
  }
}

}  // namespace lvbridge
