#pragma once
// Fixed-size byte ring for one writer thread and one reader thread, without a
// lock. Separate wrap counters tell a full ring from an empty one, so it can
// hold its whole capacity.
//
// Each side stores its index before its wrap count (release) and reads the
// other side's wrap count before its index (acquire). A read of the other
// side's pair in the middle of an update can then only make DataSize (for the
// reader) or EmptySize (for the writer) smaller than the truth, never larger.
#include <atomic>
#include <cstdint>
#include <memory>

namespace lv {

class CRingBuffer {
 public:
  static constexpr std::int32_t kDefaultCapacity = 1 << 20;

  explicit CRingBuffer(std::int32_t capacity = kDefaultCapacity);
  virtual ~CRingBuffer() = default;
  CRingBuffer(const CRingBuffer&) = delete;
  CRingBuffer& operator=(const CRingBuffer&) = delete;

  std::int32_t Capacity() const { return m_capacity; }
  // Unread bytes / free space. Either side may call them for its own use.
  std::int32_t DataSize() const;
  std::int32_t EmptySize() const;

  // Writer side: 1 and the bytes appended, or 0 and nothing changed.
  std::int32_t Write(const void* source, std::int32_t length);

  // Reader side: all or nothing; 0 and nothing changed when too few bytes.
  std::int32_t Read(void* destination, std::int32_t length);
  std::int32_t Peek(void* destination, std::int32_t length) const;
  std::int32_t ReadByte(std::uint8_t* destination);
  // Discards unread bytes up to (not including) the first equal to a or b and
  // returns how many. With no match it discards everything. Only the read side
  // moves, so a concurrent Write is never disturbed.
  std::int32_t SkipTo(std::uint8_t a, std::uint8_t b);

  // Counters, for tests and diagnostics.
  std::int32_t WriteIndex() const { return m_writeIndex.load(std::memory_order_acquire); }
  std::int32_t ReadIndex() const { return m_readIndex.load(std::memory_order_acquire); }
  std::int32_t WriteWraps() const { return m_writeWraps.load(std::memory_order_acquire); }
  std::int32_t ReadWraps() const { return m_readWraps.load(std::memory_order_acquire); }

 private:
  // Consistent snapshots of the other side, wrap count first.
  void LoadWriter(std::int32_t& index, std::int32_t& wraps) const;
  void LoadReader(std::int32_t& index, std::int32_t& wraps) const;
  void CopyOut(std::int32_t from, void* destination, std::int32_t length) const;
  void StoreRead(std::int32_t index, std::int32_t wraps);

  std::unique_ptr<std::uint8_t[]> m_store;
  const std::int32_t m_capacity;
  std::atomic<std::int32_t> m_writeIndex{0};
  std::atomic<std::int32_t> m_readIndex{0};
  std::atomic<std::int32_t> m_writeWraps{0};
  std::atomic<std::int32_t> m_readWraps{0};
};

}  // namespace lv
