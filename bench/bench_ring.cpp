// Receive ring: Write + Read of 8 KiB chunks against plain memcpy of the same
// bytes (the ring does two copies per byte; memcpy here does two as well).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "net/ring_buffer.h"

namespace {

constexpr int kChunk = 8192;

void BM_RingWriteRead8K(benchmark::State& state) {
  lv::CRingBuffer ring(1 << 20);
  std::vector<std::uint8_t> in(kChunk, 0x5A), out(kChunk);
  // Keep some data buffered so chunks wrap around the end of the store.
  std::vector<std::uint8_t> lead(100000, 1);
  ring.Write(lead.data(), static_cast<int>(lead.size()));
  for (auto _ : state) {
    ring.Write(in.data(), kChunk);
    ring.Read(out.data(), kChunk);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kChunk);
}
BENCHMARK(BM_RingWriteRead8K);

void BM_Memcpy8KTwice(benchmark::State& state) {
  // The same two copies into and out of a 1 MiB store at moving offsets.
  std::vector<std::uint8_t> store(1 << 20), in(kChunk, 0x5A), out(kChunk);
  std::size_t at = 100000;
  for (auto _ : state) {
    if (at + kChunk > store.size()) at = 0;
    std::memcpy(store.data() + at, in.data(), kChunk);
    std::memcpy(out.data(), store.data() + at, kChunk);
    at += kChunk;
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kChunk);
}
BENCHMARK(BM_Memcpy8KTwice);

void BM_RingPeekHeader(benchmark::State& state) {
  lv::CRingBuffer ring(1 << 20);
  std::vector<std::uint8_t> data(4096, 0xAB);
  ring.Write(data.data(), static_cast<int>(data.size()));
  std::uint8_t h[12];
  for (auto _ : state) {
    ring.Peek(h, 12);
    benchmark::DoNotOptimize(h);
  }
}
BENCHMARK(BM_RingPeekHeader);

}  // namespace
