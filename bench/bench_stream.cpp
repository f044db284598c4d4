// Streaming run against the simulator in its own process: latency from the
// simulator's send of a picture to the picture's arrival in its frame list,
// the client's CPU time per picture, and its resident memory while a channel
// is open. The simulator stamps each picture with its steady-clock send time.
//
//   bench_stream [seconds=10] [WxH=704x480] [fps=25]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/core/message_target.h"
#include "session/dvr_session.h"

extern char** environ;

namespace {

using namespace lv;
using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long RssKiB() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

std::uint64_t NowMicros() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  const std::string size = argc > 2 ? argv[2] : "704x480";
  const std::string fps = argc > 3 ? argv[3] : "25";
  const int port = 20000 + static_cast<int>(getpid() % 20000);

  std::vector<std::string> args{LORVENTA_DVRSIM_PATH, "--port", std::to_string(port), "--size", size, "--fps", fps};
  std::vector<char*> cargs;
  for (auto& a : args) cargs.push_back(a.data());
  cargs.push_back(nullptr);
  pid_t sim = 0;
  if (posix_spawn(&sim, cargs[0], nullptr, nullptr, cargs.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", cargs[0]);
    return 1;
  }
  // Wait until the simulator listens.
  for (int i = 0; i < 100; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    if (up) break;
    QThread::msleep(50);
  }

  CDvrSession session;
  bool opened = false, closed = false;
  MessageTarget view([&](std::uint32_t msg, WPARAM, LPARAM l) {
    if (msg == WM_DVR_CONNECT_SOCKET && session.Start()) {
      session.ReqHwInfo();
      session.ReqOsInfo();
      session.ReqProtoVer();
      session.ReqLogin();
    } else if (msg == WM_DVR_REPLAY_LOGIN && l == 1) {
      session.OpenChannel(0);
    } else if (msg == WM_DVR_RESP_CH_OPEN && l == 1) {
      opened = true;
    } else if (msg == WM_DVR_CLOSE_SOCKET) {
      closed = true;
    }
  });
  session.m_hNotifyWnd = view.Handle();
  session.m_strAddress = u"127.0.0.1";
  session.m_nPort = port;
  session.m_strUserID = u"admin";
  session.m_strPassword = u"1234";
  if (!session.TryConnect_DVR()) {
    std::fprintf(stderr, "connect failed\n");
    kill(sim, SIGTERM);
    return 1;
  }

  // Let the stream settle for a second, then measure.
  std::vector<double> latencyMs;
  long rss = 0;
  double cpuStart = 0;
  int frames = 0;
  const auto settle = Clock::now() + std::chrono::seconds(1);
  const auto end = settle + std::chrono::seconds(seconds);
  bool measuring = false;
  while (Clock::now() < end && !closed) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    if (!measuring && Clock::now() >= settle && opened) {
      measuring = true;
      cpuStart = CpuSeconds();
    }
    // A renderer polling every 0.5 ms: the delay it adds is at most that.
    ChannelRef rec = session.m_ChannelTable.First();
    FrameRef frame;
    if (rec && rec->frames->PeekHead(nullptr, nullptr, nullptr, nullptr, &frame) > 0) {
      const std::uint64_t now = NowMicros();
      const std::uint8_t* stamp = frame->buffer.get() + 12 + 22;
      std::uint64_t sent = 0;
      for (int i = 0; i < 7; ++i) sent = (sent << 8) | stamp[i];
      rec->frames->DropHead();
      if (measuring) {
        latencyMs.push_back(static_cast<double>(now - (sent & ((1ull << 56) - 1)) % (1ull << 56)) / 1000.0);
        ++frames;
        rss = std::max(rss, RssKiB());
      }
    }
    QThread::usleep(500);
  }
  const double cpu = CpuSeconds() - cpuStart;
  session.Disconnect();
  kill(sim, SIGTERM);
  waitpid(sim, nullptr, 0);

  if (latencyMs.empty()) {
    std::fprintf(stderr, "no frames measured\n");
    return 1;
  }
  std::sort(latencyMs.begin(), latencyMs.end());
  auto pct = [&](double p) { return latencyMs[std::min(latencyMs.size() - 1, static_cast<std::size_t>(p * latencyMs.size()))]; };
  std::printf("stream %s at %s fps for %d s: %d frames taken\n", size.c_str(), fps.c_str(), seconds, frames);
  std::printf("latency send -> frame list: median %.2f ms, p99 %.2f ms, max %.2f ms\n", pct(0.5), pct(0.99),
              latencyMs.back());
  std::printf("client CPU per frame: %.3f ms (includes this 0.5 ms polling loop)\n", 1000.0 * cpu / frames);
  std::printf("resident memory with the channel open: %ld KiB\n", rss);
  return 0;
}
