// Streaming run against the simulator in its own process: latency from the
// simulator's send of a picture to the picture's arrival in its frame list,
// the client's CPU time per picture, and its resident memory while a channel
// is open. The simulator stamps each picture with its steady-clock send time.
// A render-like thread waits for the hand-over (WaitForFrame) and takes each
// frame as it comes; the latency is reported per 5-second window too, so a
// client that falls behind shows as a latency that grows.
//
//   bench_stream [seconds=20] [WxH=704x480] [fps=25]
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "platform/core/message_target.h"
#include "session/dvr_session.h"

namespace {

using namespace lv;
using namespace lvbench;
using Clock = std::chrono::steady_clock;

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  const std::string size = argc > 2 ? argv[2] : "704x480";
  const std::string fps = argc > 3 ? argv[3] : "25";
  SimProcess sim({"--size", size, "--fps", fps});
  if (!sim.pid) {
    std::fprintf(stderr, "cannot start %s\n", LORVENTA_DVRSIM_PATH);
    return 1;
  }
  const int port = sim.port;

  CDvrSession session;
  bool opened = false, closed = false;
  MessageTarget view([&](std::uint32_t msg, WPARAM, LPARAM l) {
    if (msg == WM_DVR_CONNECT_SOCKET) {
      session.BeginLogin();
    } else if (msg == WM_DVR_REPLAY_LOGIN && l == 1 && session.FirstChannelToOpen() >= 0) {
      session.OpenChannel(static_cast<std::uint8_t>(session.FirstChannelToOpen()));
    } else if (msg == WM_DVR_RESP_CH_OPEN && l == 1) {
      opened = true;
    } else if (msg == WM_DVR_CLOSE_SOCKET) {
      closed = true;
    }
  });
  session.m_hNotifyWnd = view.Handle();
  UseSimulator(session, port);
  if (!session.TryConnect_DVR()) {
    std::fprintf(stderr, "connect failed\n");
    return 1;
  }

  // Let the stream settle for a second, then measure.
  struct Sample {
    double atSeconds;  // since the measurement began
    double latencyMs;
  };
  std::vector<Sample> samples;  // the taker's until it is joined
  std::atomic<bool> measuring{false}, stopTaker{false};
  std::atomic<long> rss{0};
  Clock::time_point measureStart{};
  std::thread taker([&] {
    while (!stopTaker.load()) {
      if (!session.WaitForFrame(kParsePaceMs)) continue;
      const std::uint64_t now = NowMicros();
      ChannelRef rec = session.m_ChannelTable.First();
      const FrameRef frame = rec ? rec->frames->TakeHead() : nullptr;
      if (!frame) continue;
      if (!measuring.load()) continue;
      samples.push_back({std::chrono::duration<double>(Clock::now() - measureStart).count(),
                         MicrosSinceSent(frame->buffer.get(), now) / 1000.0});
      rss.store(std::max(rss.load(), RssKiB()));
    }
  });

  double cpuStart = 0;
  const auto settle = Clock::now() + std::chrono::seconds(1);
  const auto end = settle + std::chrono::seconds(seconds);
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    if (closed || Clock::now() >= end) {
      QCoreApplication::quit();
    } else if (!measuring.load() && opened && Clock::now() >= settle) {
      cpuStart = CpuSeconds();
      measureStart = Clock::now();
      measuring.store(true);
    }
  });
  tick.start(10);
  QCoreApplication::exec();
  const double cpu = CpuSeconds() - cpuStart;
  stopTaker.store(true);
  session.WakeFrameWaiter();
  taker.join();
  session.Disconnect();

  if (samples.empty()) {
    std::fprintf(stderr, "no frames measured\n");
    return 1;
  }
  std::vector<double> all;
  for (const auto& x : samples) all.push_back(x.latencyMs);
  const int frames = static_cast<int>(samples.size());
  std::printf("stream %s at %s fps for %d s: %d frames taken (%.1f/s)\n", size.c_str(), fps.c_str(), seconds, frames,
              frames / static_cast<double>(seconds));
  std::printf("latency send -> frame list: median %.2f ms, p99 %.2f ms, max %.2f ms\n", Percentile(all, 0.5),
              Percentile(all, 0.99), *std::max_element(all.begin(), all.end()));
  // Per 5-second window: a client that cannot keep up shows a rising median.
  std::vector<double> medians;
  for (int w = 0; w * 5 < seconds; ++w) {
    std::vector<double> win;
    for (const auto& x : samples)
      if (x.atSeconds >= w * 5 && x.atSeconds < (w + 1) * 5) win.push_back(x.latencyMs);
    if (win.empty()) continue;
    medians.push_back(Percentile(win, 0.5));
    std::printf("  %2d-%2d s: %4zu frames, median %.2f ms, p99 %.2f ms\n", w * 5, (w + 1) * 5, win.size(),
                medians.back(), Percentile(win, 0.99));
  }
  // Steady means the last window's median is within 10 ms (or 50 %) of the first's.
  const bool steady = medians.size() < 2 || medians.back() <= std::max(medians.front() + 10.0, medians.front() * 1.5);
  std::printf("latency over the run: %s\n", steady ? "steady" : "GROWING (the client falls behind)");
  std::printf("client CPU per frame: %.3f ms\n", 1000.0 * cpu / frames);
  std::printf("resident memory with the channel open: %ld KiB\n", rss.load());
  return steady ? 0 : 2;
}
