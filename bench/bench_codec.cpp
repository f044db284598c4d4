// Codec cost per message: building requests and decoding replies.
#include <benchmark/benchmark.h>

#include <vector>

#include "protocol/protocol.h"

namespace {

using namespace lv;

void BM_EncodeLogin(benchmark::State& state) {
  const LoginParams p{u"administrator", u"s3cret-pass", 1};
  for (auto _ : state) {
    Message m = CDvrProtocol::BuildRequest(PID_XAV_REQ_LOGIN, p);
    benchmark::DoNotOptimize(m.data.get());
  }
}
BENCHMARK(BM_EncodeLogin);

void BM_EncodeChannelOpen(benchmark::State& state) {
  for (auto _ : state) {
    Message m = CDvrProtocol::BuildRequest(PID_XAV_REQ_CH_OPEN, ChannelOpenParams{3});
    benchmark::DoNotOptimize(m.data.get());
  }
}
BENCHMARK(BM_EncodeChannelOpen);

std::vector<std::uint8_t> Reply(std::uint32_t id, std::uint32_t bodyLength) {
  std::vector<std::uint8_t> m(12 + bodyLength, 0);
  PutU32(m.data(), id);
  PutU32(m.data() + 4, 1);
  PutU32(m.data() + 8, bodyLength);
  return m;
}

void BM_DecodeLogin(benchmark::State& state) {
  CDvrProtocol p;
  DecodeResult r;
  const auto m = Reply(PID_XAV_RES_LOGIN, 24);
  for (auto _ : state) benchmark::DoNotOptimize(p.Decode(m.data(), static_cast<std::uint32_t>(m.size()), r));
}
BENCHMARK(BM_DecodeLogin);

void BM_DecodeVideo(benchmark::State& state) {
  CDvrProtocol p;
  DecodeResult r;
  auto m = Reply(PID_XAV_RES_VIDEO, 29 + 40000);
  PutU32(m.data() + 12 + 14, 40000);
  for (auto _ : state) benchmark::DoNotOptimize(p.Decode(m.data(), static_cast<std::uint32_t>(m.size()), r));
}
BENCHMARK(BM_DecodeVideo);

}  // namespace
