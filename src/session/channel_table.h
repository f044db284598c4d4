#pragma once
// The path of pictures from the parse thread to the render thread.
//
// The channel table holds one record per channel whose video is arriving; each
// record's VideoList holds received pictures until the render thread has drawn
// them. The parse thread puts each new picture in place of one still waiting,
// so each list is a one-slot mailbox that always offers the newest picture.
//
// Hand-over between threads: records and frames are reference-counted. The
// render thread takes a reference to the first record and to the frame it
// draws, so a record removed (channel closed) or cleared (session stopped)
// while a picture is being drawn is freed only when the drawing is done.
#include <atomic>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>

#include "protocol/protocol.h"

namespace lv {

// One received picture; owns the whole video message it came in.
struct FrameRecord {
  std::unique_ptr<std::uint8_t[]> buffer;
  const std::uint8_t* data = nullptr;  // picture data inside buffer (message offset 41)
  std::uint32_t size = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint32_t time = 0;
  std::uint32_t date = 0;     // the picture's own date (yyyymmdd)
  std::uint8_t channel = 0;   // the channel it came on

  // Takes over the message whose descriptor is info.
  static std::shared_ptr<FrameRecord> FromMessage(Message&& message, const VideoFrameInfo& info);
};

using FrameRef = std::shared_ptr<const FrameRecord>;

class VideoList {
 public:
  // Links the frame after the newest; returns the new count.
  int Append(std::shared_ptr<FrameRecord> frame);
  // The parse thread's put: the frame replaces every frame still waiting. A
  // head the render thread has peeked is kept until it drops it (it may be
  // drawing from it), with the new frame behind it, so its drop never takes
  // the newer picture. Returns the new count (1, or 2 behind a peeked head).
  int PutNewest(std::shared_ptr<FrameRecord> frame);
  // The oldest frame's fields; returns its size, or 0 (outputs untouched) when
  // the list is empty. keep, when given, holds the frame alive after a drop.
  std::uint32_t PeekHead(const std::uint8_t** data, std::uint16_t* width, std::uint16_t* height,
                         std::uint32_t* time, FrameRef* keep = nullptr);
  // Unlinks the oldest frame and hands it over (null when the list is
  // empty): the taker's reference keeps its bytes while it is used.
  FrameRef TakeHead();
  // Unlinks and releases the oldest frame; the new count, or -1 if empty.
  int DropHead();
  int Count() const { return m_count.load(std::memory_order_acquire); }

 private:
  std::mutex m_lock;
  std::deque<std::shared_ptr<FrameRecord>> m_frames;
  const FrameRecord* m_peeked = nullptr;  // the head as last peeked; only DropHead unlinks it
  std::atomic<int> m_count{0};
};

struct ChannelRecord {
  std::atomic<std::uint32_t> channel{0xFFFFFFFFu};
  std::atomic<int> open{0};
  std::atomic<std::uint32_t> date{0};  // date of the frame that opened the record
  std::unique_ptr<VideoList> frames;   // made when the record is opened

  // Opens a record from its first frame; an open record is left as it is.
  void OpenFrom(const VideoFrameInfo& frame);
};

using ChannelRef = std::shared_ptr<ChannelRecord>;

class ChannelTable {
 public:
  int Count() const;
  // The first record (in table order) of the channel, or null.
  ChannelRef Find(std::uint32_t channel) const;
  // The first record of the table, or null (the render thread's view).
  ChannelRef First() const;
  // A new record opened from the frame.
  static ChannelRef CreateFromFrame(const VideoFrameInfo& frame);
  void Append(ChannelRef record);
  // Unlinks the first record of the channel; false if there is none.
  bool Remove(std::uint32_t channel);
  void Clear();

 private:
  mutable std::mutex m_mutex;
  std::list<ChannelRef> m_records;
};

}  // namespace lv
