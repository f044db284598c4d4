#include "bench_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "session/dvr_session.h"

extern char** environ;

namespace lvbench {

void UseSimulator(lv::CDvrSession& site, int port) {
  site.SetSite({u"Bench", u"127.0.0.1", port, u"admin", u"1234"});
}

SimProcess::SimProcess(std::vector<std::string> args) {
  port = 20000 + static_cast<int>(getpid() % 20000);
  args.insert(args.begin(), {LORVENTA_DVRSIM_PATH, "--port", std::to_string(port)});
  std::vector<char*> cargs;
  for (auto& a : args) cargs.push_back(a.data());
  cargs.push_back(nullptr);
  if (posix_spawn(&pid, cargs[0], nullptr, nullptr, cargs.data(), environ) != 0) {
    pid = 0;
    return;
  }
  for (int i = 0; i < 100; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    if (up) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

SimProcess::~SimProcess() {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

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

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

std::uint64_t NowMicros() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

double MicrosSinceSent(const std::uint8_t* message, std::uint64_t nowMicros) {
  // Video header bytes 22..28 after the message header: the send time, 56 bits.
  std::uint64_t sent = 0;
  for (int i = 0; i < 7; ++i) sent = (sent << 8) | message[12 + 22 + i];
  const std::uint64_t now = nowMicros & ((1ull << 56) - 1);
  return static_cast<double>((now - sent) & ((1ull << 56) - 1));
}

}  // namespace lvbench
