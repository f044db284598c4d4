// The parser's own cost per message, without its waits: one step cuts a
// message out of the ring, decodes and dispatches it.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <vector>

#include "session/dvr_session.h"

namespace {

using namespace lv;

std::vector<std::uint8_t> Msg(std::uint32_t id, std::uint32_t bodyLength) {
  std::vector<std::uint8_t> m(12 + bodyLength, 0);
  PutU32(m.data(), id);
  PutU32(m.data() + 4, 1);
  PutU32(m.data() + 8, bodyLength);
  return m;
}

// The session posts to no window here: the cost of posting a window message
// is the platform's and is left out.
void BM_ParseHeartbeat(benchmark::State& state) {
  CDvrSession session;
  session.AttachOffline(std::make_unique<CSoc_TCP>(0, 0, 0, 0));
  CRingBuffer& ring = session.Socket()->Ring();
  const auto m = Msg(PID_XAV_RES_HEARTBEAT, 0);
  for (auto _ : state) {
    ring.Write(m.data(), static_cast<int>(m.size()));
    benchmark::DoNotOptimize(session.ParseOneMessage());
  }
}
BENCHMARK(BM_ParseHeartbeat);

void BM_ParseVideo40K(benchmark::State& state) {
  CDvrSession session;
  session.AttachOffline(std::make_unique<CSoc_TCP>(0, 0, 0, 0));
  CRingBuffer& ring = session.Socket()->Ring();
  auto m = Msg(PID_XAV_RES_VIDEO, 29 + 40000);
  PutU32(m.data() + 12 + 14, 40000);
  for (auto _ : state) {
    ring.Write(m.data(), static_cast<int>(m.size()));
    benchmark::DoNotOptimize(session.ParseOneMessage());
    // Empty the slot as the renderer would, so every frame is appended.
    if (auto rec = session.m_ChannelTable.First()) rec->frames->DropHead();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(m.size()));
}
BENCHMARK(BM_ParseVideo40K);

// A large picture still arriving: each wake of the parse thread looks at the
// header and finds the message incomplete. No allocation may happen here.
void BM_ParseIncomplete1M(benchmark::State& state) {
  CDvrSession session;
  session.AttachOffline(std::make_unique<CSoc_TCP>(0, 0, 0, 0));
  CRingBuffer& ring = session.Socket()->Ring();
  auto m = Msg(PID_XAV_RES_VIDEO, 29 + 1000000);
  ring.Write(m.data(), 64 * 1024);  // the first 64 KiB of it
  for (auto _ : state) benchmark::DoNotOptimize(session.ParseOneMessage());
}
BENCHMARK(BM_ParseIncomplete1M);

// One pass of the parse thread over a burst: 50 pictures of 40 KB (a second
// of video at 50/s) waiting in the ring at once.
void BM_ParsePassBurst50(benchmark::State& state) {
  CDvrSession session;
  session.AttachOffline(std::make_unique<CSoc_TCP>(0, 0, 0, 0));
  CRingBuffer& ring = session.Socket()->Ring();
  auto m = Msg(PID_XAV_RES_VIDEO, 29 + 40000);
  PutU32(m.data() + 12 + 14, 40000);
  for (auto _ : state) {
    for (int i = 0; i < 50; ++i) ring.Write(m.data(), static_cast<int>(m.size()));
    benchmark::DoNotOptimize(session.ParsePass());
  }
  state.SetItemsProcessed(state.iterations() * 50);
}
BENCHMARK(BM_ParsePassBurst50);

}  // namespace
