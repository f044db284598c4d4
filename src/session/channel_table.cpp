#include "session/channel_table.h"

#include <algorithm>

namespace lv {

std::shared_ptr<FrameRecord> FrameRecord::FromMessage(Message&& message, const VideoFrameInfo& info) {
  auto frame = std::make_shared<FrameRecord>();
  frame->buffer = std::move(message.data);
  frame->data = info.data;
  frame->size = info.size;
  frame->width = info.width;
  frame->height = info.height;
  frame->time = info.time;
  frame->date = info.date;
  frame->channel = info.channel;
  return frame;
}

int VideoList::Append(std::shared_ptr<FrameRecord> frame) {
  std::lock_guard lock(m_lock);
  m_frames.push_back(std::move(frame));
  const int n = static_cast<int>(m_frames.size());
  m_count.store(n, std::memory_order_release);
  return n;
}

int VideoList::PutNewest(std::shared_ptr<FrameRecord> frame) {
  std::deque<std::shared_ptr<FrameRecord>> replaced;  // released after the lock
  std::lock_guard lock(m_lock);
  const std::size_t kept = !m_frames.empty() && m_frames.front().get() == m_peeked ? 1 : 0;
  while (m_frames.size() > kept) {
    replaced.push_back(std::move(m_frames.back()));
    m_frames.pop_back();
  }
  m_frames.push_back(std::move(frame));
  const int n = static_cast<int>(m_frames.size());
  m_count.store(n, std::memory_order_release);
  return n;
}

std::uint32_t VideoList::PeekHead(const std::uint8_t** data, std::uint16_t* width, std::uint16_t* height,
                                  std::uint32_t* time, FrameRef* keep) {
  if (Count() == 0) return 0;
  std::lock_guard lock(m_lock);
  if (m_frames.empty()) return 0;
  const auto& head = m_frames.front();
  if (data) *data = head->data;
  if (width) *width = head->width;
  if (height) *height = head->height;
  if (time) *time = head->time;
  if (keep) *keep = head;
  m_peeked = head.get();
  return head->size;
}

FrameRef VideoList::TakeHead() {
  if (Count() == 0) return nullptr;
  std::lock_guard lock(m_lock);
  if (m_frames.empty()) return nullptr;
  FrameRef head = std::move(m_frames.front());
  m_frames.pop_front();
  if (head.get() == m_peeked) m_peeked = nullptr;
  m_count.store(static_cast<int>(m_frames.size()), std::memory_order_release);
  return head;
}

int VideoList::DropHead() {
  std::shared_ptr<FrameRecord> dropped;  // released after the lock
  std::lock_guard lock(m_lock);
  if (m_frames.empty()) return -1;
  dropped = std::move(m_frames.front());
  m_frames.pop_front();
  if (dropped.get() == m_peeked) m_peeked = nullptr;
  const int n = static_cast<int>(m_frames.size());
  m_count.store(n, std::memory_order_release);
  return n;
}

void ChannelRecord::OpenFrom(const VideoFrameInfo& frame) {
  if (open.load() == 1) return;
  channel.store(frame.channel);
  date.store(frame.date);
  frames = std::make_unique<VideoList>();
  open.store(1, std::memory_order_release);
}

int ChannelTable::Count() const {
  std::lock_guard lock(m_mutex);
  return static_cast<int>(m_records.size());
}

ChannelRef ChannelTable::Find(std::uint32_t channel) const {
  std::lock_guard lock(m_mutex);
  auto it = std::find_if(m_records.begin(), m_records.end(),
                         [channel](const ChannelRef& r) { return r->channel.load() == channel; });
  return it == m_records.end() ? nullptr : *it;
}

ChannelRef ChannelTable::First() const {
  std::lock_guard lock(m_mutex);
  return m_records.empty() ? nullptr : m_records.front();
}

ChannelRef ChannelTable::CreateFromFrame(const VideoFrameInfo& frame) {
  auto record = std::make_shared<ChannelRecord>();
  record->OpenFrom(frame);
  return record;
}

void ChannelTable::Append(ChannelRef record) {
  if (!record) return;
  std::lock_guard lock(m_mutex);
  m_records.push_back(std::move(record));
}

bool ChannelTable::Remove(std::uint32_t channel) {
  ChannelRef removed;  // freed outside the lock (or later, by the last holder)
  std::lock_guard lock(m_mutex);
  auto it = std::find_if(m_records.begin(), m_records.end(),
                         [channel](const ChannelRef& r) { return r->channel.load() == channel; });
  if (it == m_records.end()) return false;
  removed = std::move(*it);
  m_records.erase(it);
  return true;
}

void ChannelTable::Clear() {
  std::list<ChannelRef> removed;
  std::lock_guard lock(m_mutex);
  removed.swap(m_records);
}

}  // namespace lv
