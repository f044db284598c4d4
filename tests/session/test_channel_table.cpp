#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "session/channel_table.h"

using namespace lv;

namespace {

// A video message of the given channel as the parser would hold it.
struct Frame {
  Message msg;
  VideoFrameInfo info;
};

Frame MakeFrame(std::uint8_t channel, std::uint32_t date = 20100315, std::uint32_t time = 120000,
                std::uint32_t pictureSize = 64) {
  Frame f;
  f.msg.length = kVideoPictureOffset + pictureSize;
  f.msg.data = std::make_unique<std::uint8_t[]>(f.msg.length);
  f.info.channel = channel;
  f.info.width = 704;
  f.info.height = 480;
  f.info.date = date;
  f.info.time = time;
  f.info.size = pictureSize;
  f.info.data = f.msg.data.get() + kVideoPictureOffset;
  return f;
}

std::shared_ptr<FrameRecord> TakeFrame(Frame&& f) { return FrameRecord::FromMessage(std::move(f.msg), f.info); }

}  // namespace

TEST(VideoList, OneSlotMailbox) {
  VideoList list;
  const std::uint8_t* data = reinterpret_cast<const std::uint8_t*>(0x1);
  std::uint16_t w = 7, h = 7;
  std::uint32_t t = 7;
  EXPECT_EQ(list.PeekHead(&data, &w, &h, &t), 0u);
  EXPECT_EQ(data, reinterpret_cast<const std::uint8_t*>(0x1));  // untouched
  EXPECT_EQ(w, 7);
  EXPECT_EQ(list.DropHead(), -1);

  Frame f = MakeFrame(0, 20100315, 101112, 100);
  const std::uint8_t* bufferStart = f.msg.data.get();
  EXPECT_EQ(list.Append(TakeFrame(std::move(f))), 1);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.PeekHead(&data, &w, &h, &t), 100u);
  EXPECT_EQ(data, bufferStart + 41);
  EXPECT_EQ(w, 704);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(t, 101112u);
  EXPECT_EQ(list.Count(), 1);  // peeking keeps the frame
  EXPECT_EQ(list.DropHead(), 0);
  EXPECT_EQ(list.Count(), 0);
}

TEST(VideoList, KeptFrameOutlivesItsDrop) {
  VideoList list;
  list.Append(TakeFrame(MakeFrame(1)));
  FrameRef keep;
  const std::uint8_t* data = nullptr;
  ASSERT_GT(list.PeekHead(&data, nullptr, nullptr, nullptr, &keep), 0u);
  std::weak_ptr<const FrameRecord> watch = keep;
  list.DropHead();
  ASSERT_FALSE(watch.expired());
  EXPECT_EQ(data[0], 0);  // still readable (AddressSanitizer would object otherwise)
  keep.reset();
  EXPECT_TRUE(watch.expired());
}

// The newest picture wins, but a head the render thread has peeked (and may
// be drawing from) is neither freed nor displaced until it drops it.
TEST(VideoList, PutNewestReplacesWhatWaitsButNotWhatIsPeeked) {
  VideoList list;
  auto put = [&](std::uint32_t time) { return list.PutNewest(TakeFrame(MakeFrame(0, 20100315, time))); };
  auto head = [&] {
    std::uint32_t t = 0;
    const std::uint8_t* data = nullptr;
    list.PeekHead(&data, nullptr, nullptr, &t);  // marks the head as in use
    return data[0] == 0 ? t : 0;  // read it, as a renderer would (AddressSanitizer watches)
  };
  EXPECT_EQ(put(1), 1);
  EXPECT_EQ(put(2), 1);  // replaced while waiting
  EXPECT_EQ(head(), 2u);
  EXPECT_EQ(put(3), 2);  // queued behind the peeked head
  EXPECT_EQ(put(4), 2);  // replaces 3
  EXPECT_EQ(head(), 2u);
  EXPECT_EQ(list.DropHead(), 1);
  EXPECT_EQ(head(), 4u);  // the drop took the peeked frame, not the newer one
  EXPECT_EQ(list.DropHead(), 0);
  EXPECT_EQ(put(5), 1);  // nothing peeked: replaceable again
  EXPECT_EQ(put(6), 1);
  EXPECT_EQ(head(), 6u);
}

TEST(ChannelTable, CreateAppendFindRemoveClear) {
  ChannelTable table;
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table.First(), nullptr);

  Frame first = MakeFrame(0, 20100315);
  ChannelRef rec = ChannelTable::CreateFromFrame(first.info);
  EXPECT_EQ(rec->channel.load(), 0u);
  EXPECT_EQ(rec->date.load(), 20100315u);
  EXPECT_EQ(rec->open.load(), 1);
  ASSERT_NE(rec->frames, nullptr);
  EXPECT_EQ(rec->frames->Count(), 0);
  // Opening again (a later frame with another date) changes nothing.
  rec->OpenFrom(MakeFrame(5, 20991231).info);
  EXPECT_EQ(rec->channel.load(), 0u);
  EXPECT_EQ(rec->date.load(), 20100315u);

  table.Append(rec);
  table.Append(ChannelTable::CreateFromFrame(MakeFrame(2).info));
  table.Append(ChannelTable::CreateFromFrame(MakeFrame(2, 20200101).info));
  EXPECT_EQ(table.Count(), 3);
  EXPECT_EQ(table.First(), rec);
  EXPECT_EQ(table.Find(2)->date.load(), 20100315u);  // first in table order
  EXPECT_EQ(table.Find(9), nullptr);

  EXPECT_FALSE(table.Remove(5));
  EXPECT_EQ(table.Count(), 3);
  EXPECT_TRUE(table.Remove(2));
  EXPECT_EQ(table.Find(2)->date.load(), 20200101u);
  EXPECT_TRUE(table.Remove(0));
  EXPECT_EQ(table.First()->channel.load(), 2u);
  table.Clear();
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table.First(), nullptr);
}

TEST(ChannelTable, RemovingFreesTheFramesItHeldExactlyOnce) {
  ChannelTable table;
  table.Append(ChannelTable::CreateFromFrame(MakeFrame(2).info));
  auto frame = TakeFrame(MakeFrame(2));
  std::weak_ptr<FrameRecord> watch = frame;
  table.Find(2)->frames->Append(std::move(frame));
  EXPECT_FALSE(watch.expired());
  EXPECT_FALSE(table.Remove(5));
  EXPECT_FALSE(watch.expired());
  EXPECT_TRUE(table.Remove(2));
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(table.Count(), 0);
}

// The parse thread creates, fills (newest wins) and removes records while a
// render-like thread takes the first record, peeks, reads the picture and
// drops it, every other time without keeping a reference to the frame.
// Under AddressSanitizer and ThreadSanitizer this must stay clean.
TEST(ChannelTable, ReaderThreadNeverSeesFreedMemory) {
  ChannelTable table;
  std::atomic<bool> stop{false};
  std::atomic<long> drawn{0};
  std::thread render([&] {
    while (!stop.load()) {
      ChannelRef rec = table.First();
      if (!rec || rec->frames->Count() == 0) {
        std::this_thread::yield();
        continue;
      }
      const std::uint8_t* data = nullptr;
      std::uint16_t w = 0, h = 0;
      std::uint32_t t = 0;
      FrameRef keep;
      const bool kept = (drawn.load() & 1) == 0;
      const std::uint32_t size = rec->frames->PeekHead(&data, &w, &h, &t, kept ? &keep : nullptr);
      if (size == 0) continue;
      unsigned sum = 0;
      for (std::uint32_t i = 0; i < size; ++i) sum += data[i];  // "decode"
      (void)rec->date.load();
      if (sum == static_cast<unsigned>(size) * (data[0])) drawn.fetch_add(1);
      rec->frames->DropHead();
    }
  });
  for (int round = 0; round < 3000; ++round) {
    const auto ch = static_cast<std::uint8_t>(round % 4);
    if (table.Count() == 0) table.Append(ChannelTable::CreateFromFrame(MakeFrame(ch).info));
    ChannelRef rec = table.First();
    for (int k = 0; k < 5; ++k) {
      Frame f = MakeFrame(static_cast<std::uint8_t>(rec->channel.load()));
      std::fill_n(f.msg.data.get() + 41, 64, static_cast<std::uint8_t>(k + 1));
      EXPECT_LE(rec->frames->PutNewest(TakeFrame(std::move(f))), 2);
      std::this_thread::yield();
    }
    if (round % 3 == 0) table.Remove(rec->channel.load());
    if (round % 7 == 0) table.Clear();
  }
  stop = true;
  render.join();
  EXPECT_GT(drawn.load(), 0);
}
