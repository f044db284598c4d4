#include "net/ring_buffer.h"

#include <cstring>

namespace lv {

// Wrap counts are compared by difference, so their own overflow after 2^31
// wraps is harmless: unsigned arithmetic keeps the difference exact.
namespace {
std::int32_t WrapDiff(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
std::int32_t NextWrap(std::int32_t w) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(w) + 1u); }
}  // namespace

CRingBuffer::CRingBuffer(std::int32_t capacity)
    : m_store(new std::uint8_t[static_cast<size_t>(capacity > 0 ? capacity : 1)]),
      m_capacity(capacity > 0 ? capacity : 1) {}

void CRingBuffer::LoadWriter(std::int32_t& index, std::int32_t& wraps) const {
  wraps = m_writeWraps.load(std::memory_order_acquire);
  index = m_writeIndex.load(std::memory_order_acquire);
}

void CRingBuffer::LoadReader(std::int32_t& index, std::int32_t& wraps) const {
  wraps = m_readWraps.load(std::memory_order_acquire);
  index = m_readIndex.load(std::memory_order_acquire);
}

std::int32_t CRingBuffer::DataSize() const {
  std::int32_t wi, ww, ri, rw;
  LoadWriter(wi, ww);
  LoadReader(ri, rw);
  return m_capacity * WrapDiff(ww, rw) + wi - ri;
}

std::int32_t CRingBuffer::EmptySize() const {
  std::int32_t wi, ww, ri, rw;
  LoadReader(ri, rw);
  LoadWriter(wi, ww);
  return m_capacity * (WrapDiff(rw, ww) + 1) + ri - wi;
}

std::int32_t CRingBuffer::Write(const void* source, std::int32_t length) {
  if (length < 0 || length > EmptySize()) return 0;
  const auto* src = static_cast<const std::uint8_t*>(source);
  const std::int32_t wi = m_writeIndex.load(std::memory_order_relaxed);
  const std::int32_t ww = m_writeWraps.load(std::memory_order_relaxed);
  std::int32_t newIndex = wi + length;
  std::int32_t newWraps = ww;
  if (newIndex > m_capacity) {
    const std::int32_t first = m_capacity - wi;
    std::memcpy(m_store.get() + wi, src, static_cast<size_t>(first));
    std::memcpy(m_store.get(), src + first, static_cast<size_t>(length - first));
    newIndex -= m_capacity;
    newWraps = NextWrap(ww);
  } else {
    if (length > 0) std::memcpy(m_store.get() + wi, src, static_cast<size_t>(length));
    if (newIndex == m_capacity) {
      newIndex = 0;
      newWraps = NextWrap(ww);
    }
  }
  m_writeIndex.store(newIndex, std::memory_order_release);
  m_writeWraps.store(newWraps, std::memory_order_release);
  return 1;
}

void CRingBuffer::CopyOut(std::int32_t from, void* destination, std::int32_t length) const {
  auto* dst = static_cast<std::uint8_t*>(destination);
  if (from + length > m_capacity) {
    const std::int32_t first = m_capacity - from;
    std::memcpy(dst, m_store.get() + from, static_cast<size_t>(first));
    std::memcpy(dst + first, m_store.get(), static_cast<size_t>(length - first));
  } else if (length > 0) {
    std::memcpy(dst, m_store.get() + from, static_cast<size_t>(length));
  }
}

void CRingBuffer::StoreRead(std::int32_t index, std::int32_t wraps) {
  m_readIndex.store(index, std::memory_order_release);
  m_readWraps.store(wraps, std::memory_order_release);
}

std::int32_t CRingBuffer::Peek(void* destination, std::int32_t length) const {
  if (length < 0 || length > DataSize()) return 0;
  CopyOut(m_readIndex.load(std::memory_order_relaxed), destination, length);
  return 1;
}

std::int32_t CRingBuffer::Read(void* destination, std::int32_t length) {
  if (length < 0 || length > DataSize()) return 0;
  const std::int32_t ri = m_readIndex.load(std::memory_order_relaxed);
  const std::int32_t rw = m_readWraps.load(std::memory_order_relaxed);
  CopyOut(ri, destination, length);
  std::int32_t newIndex = ri + length;
  std::int32_t newWraps = rw;
  if (newIndex >= m_capacity) {
    newIndex -= m_capacity;
    newWraps = NextWrap(rw);
  }
  StoreRead(newIndex, newWraps);
  return 1;
}

std::int32_t CRingBuffer::ReadByte(std::uint8_t* destination) {
  if (DataSize() < 1) return 0;
  const std::int32_t ri = m_readIndex.load(std::memory_order_relaxed);
  const std::int32_t rw = m_readWraps.load(std::memory_order_relaxed);
  *destination = m_store[static_cast<size_t>(ri)];
  if (ri + 1 == m_capacity)
    StoreRead(0, NextWrap(rw));
  else
    StoreRead(ri + 1, rw);
  return 1;
}

std::int32_t CRingBuffer::SkipTo(std::uint8_t a, std::uint8_t b) {
  // The unread bytes as seen now; bytes the writer adds meanwhile stay unread.
  const std::int32_t available = DataSize();
  std::int32_t ri = m_readIndex.load(std::memory_order_relaxed);
  std::int32_t rw = m_readWraps.load(std::memory_order_relaxed);
  std::int32_t skipped = 0;
  while (skipped < available) {
    const std::uint8_t byte = m_store[static_cast<size_t>(ri)];
    if (byte == a || byte == b) break;
    ++skipped;
    if (++ri == m_capacity) {
      ri = 0;
      rw = NextWrap(rw);
    }
  }
  if (skipped > 0) StoreRead(ri, rw);
  return skipped;
}

}  // namespace lv
