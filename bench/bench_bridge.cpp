// The bridge under load: one 704 x 480 channel at 25 pictures per second from
// the simulator (a process of its own), watched by 1, 10 and 50 MJPEG viewers
// on loopback. For each run: the latency from the simulator's send of a
// picture to its last byte in a viewer's socket (and, for comparison, to its
// hand-over inside the bridge), pictures forwarded per second, the bridge's
// CPU time per forwarded picture (the viewers' own CPU time taken out) and
// its resident memory. Then the bridge under hostile or slow clients: the age
// of the pictures a viewer reading 20 KB/s through a 16 KB receive buffer
// sees, a burst of 72 stream requests at once (how many are served), and 80
// connections that trickle their header one byte every 10 s while a client
// with the token asks for the status once a second.
//
//   bench_bridge [seconds per run=8]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "bridge.h"
#include "http_server.h"

namespace {

using namespace lvbench;

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::size_t Key(std::string_view jpeg) { return std::hash<std::string_view>{}(jpeg); }

// Send times of the pictures the bridge handed over, by content.
class SendTimes {
 public:
  void Put(std::size_t key, std::uint64_t sent) {
    std::lock_guard lock(m_mutex);
    m_sent[key] = sent;
    if (m_sent.size() > 4096) m_sent.erase(m_sent.begin());
  }
  bool Get(std::size_t key, std::uint64_t* sent) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_sent.find(key);
    if (it == m_sent.end()) return false;
    *sent = it->second;
    return true;
  }

 private:
  mutable std::mutex m_mutex;
  std::map<std::size_t, std::uint64_t> m_sent;
};

struct Viewer {
  std::thread thread;
  std::atomic<bool> measuring{false};
  std::atomic<bool> stop{false};
  std::atomic<long> pictures{0};
  std::atomic<double> cpu{0};  // the thread's CPU while measuring
  std::mutex mutex;
  std::vector<double> latencyUs;
};

// Reads the stream, parsing just enough of each part to find its JPEG.
void ViewerMain(Viewer* v, int port, const SendTimes* times) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
  const std::string request = "GET /sites/bench/channels/1/stream.mjpeg HTTP/1.1\r\nHost: x\r\n\r\n";
  if (send(fd, request.data(), request.size(), 0) < 0) return;
  std::string buf;
  char chunk[1 << 16];
  bool headDone = false;
  bool wasMeasuring = false;
  double cpuStart = 0;
  while (!v->stop.load()) {
    if (v->measuring.load() != wasMeasuring) {
      wasMeasuring = !wasMeasuring;
      if (wasMeasuring) cpuStart = ThreadCpuSeconds();
      else v->cpu = ThreadCpuSeconds() - cpuStart;
    }
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    buf.append(chunk, static_cast<std::size_t>(n));
    if (!headDone) {
      const std::size_t end = buf.find("\r\n\r\n");
      if (end == std::string::npos) continue;
      buf.erase(0, end + 4);
      headDone = true;
    }
    while (true) {
      const std::size_t end = buf.find("\r\n\r\n");
      if (end == std::string::npos) break;
      const std::size_t at = buf.find("Content-Length: ");
      const std::size_t length = std::stoul(buf.substr(at + 16));
      if (buf.size() < end + 4 + length + 2) break;
      const std::uint64_t now = NowMicros();
      if (wasMeasuring) {
        std::uint64_t sent = 0;
        if (times->Get(Key(std::string_view(buf).substr(end + 4, length)), &sent)) {
          std::lock_guard lock(v->mutex);
          v->latencyUs.push_back(static_cast<double>(now - sent));
        }
        ++v->pictures;
      }
      buf.erase(0, end + 4 + length + 2);
    }
  }
  if (wasMeasuring) v->cpu = ThreadCpuSeconds() - cpuStart;
  close(fd);
}

// Runs the event loop for ms, sleeping while it has nothing to do (so its
// own cost is the bridge's, not a polling loop's).
void Pump(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}


// A loopback socket from source address 127.0.x.y (so that clients count as
// different addresses), connected to port; -1 on failure.
int ConnectFrom(int port, std::uint32_t source) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = htonl(source);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if ((source && bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) ||
      connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Runs f on a thread of its own while this thread runs the event loop.
void WhilePumping(const std::function<void()>& f) {
  std::atomic<bool> done{false};
  std::thread t([&] {
    f();
    done = true;
  });
  while (!done.load()) Pump(50);
  t.join();
}

// A viewer reading bytesPerSecond through a small receive buffer for the
// given time; the age (from the simulator's send) of each whole picture.
std::vector<double> SlowViewerAges(int port, const SendTimes* times, int bytesPerSecond, int seconds) {
  std::vector<double> ages;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int rcvbuf = 16 * 1024;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return ages;
  const std::string request = "GET /sites/bench/channels/1/stream.mjpeg HTTP/1.1\r\nHost: x\r\n\r\n";
  if (send(fd, request.data(), request.size(), 0) < 0) return ages;
  std::string buf;
  bool headDone = false;
  const auto start = std::chrono::steady_clock::now();
  double allowed = 0;
  for (auto now = start; now - start < std::chrono::seconds(seconds); now = std::chrono::steady_clock::now()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    allowed += bytesPerSecond / 20.0;
    char chunk[4096];
    while (allowed >= 1) {
      const ssize_t n = recv(fd, chunk, std::min<std::size_t>(sizeof chunk, static_cast<std::size_t>(allowed)),
                             MSG_DONTWAIT);
      if (n <= 0) break;
      allowed -= static_cast<double>(n);
      buf.append(chunk, static_cast<std::size_t>(n));
    }
    allowed = std::min(allowed, static_cast<double>(bytesPerSecond));
    if (!headDone) {
      const std::size_t end = buf.find("\r\n\r\n");
      if (end == std::string::npos) continue;
      buf.erase(0, end + 4);
      headDone = true;
    }
    while (true) {
      const std::size_t end = buf.find("\r\n\r\n");
      if (end == std::string::npos) break;
      const std::size_t length = std::stoul(buf.substr(buf.find("Content-Length: ") + 16));
      if (buf.size() < end + 4 + length + 2) break;
      std::uint64_t sent = 0;
      if (times->Get(Key(std::string_view(buf).substr(end + 4, length)), &sent))
        ages.push_back(static_cast<double>(NowMicros() - sent) / 1e6);
      buf.erase(0, end + 4 + length + 2);
    }
  }
  close(fd);
  return ages;
}

// count stream requests at once, each from an address of its own, sent
// delayMs after all connected: how many got 200, 503 and nothing (reset or
// no answer within 5 s).
void Burst(int port, int count, int delayMs) {
  std::vector<int> fds;
  for (int i = 0; i < count; ++i) fds.push_back(ConnectFrom(port, 0x7F000002u + static_cast<std::uint32_t>(i)));
  std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  const std::string request = "GET /sites/bench/channels/1/stream.mjpeg HTTP/1.1\r\nHost: x\r\n\r\n";
  for (const int fd : fds)
    if (fd >= 0) send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  int ok = 0, busy = 0, none = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (const int fd : fds) {
    std::string head;
    char c[512];
    while (fd >= 0 && head.find("\r\n") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd, POLLIN, 100};
      if (poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = recv(fd, c, sizeof c, 0);
      if (n <= 0) break;
      head.append(c, static_cast<std::size_t>(n));
    }
    if (head.rfind("HTTP/1.1 200", 0) == 0 || head.rfind("HTTP/1.0 200", 0) == 0) ++ok;
    else if (head.find(" 503 ") != std::string::npos) ++busy;
    else ++none;
  }
  std::printf("burst of %d stream requests (sent %d ms after connecting): %d served, %d answered 503, %d reset or "
              "unanswered\n",
              count, delayMs, ok, busy, none);
  std::fflush(stdout);
  for (const int fd : fds)
    if (fd >= 0) close(fd);
}

// 80 connections (each from an address of its own) that send one header
// byte every 10 s and reconnect when dropped, for the given time, while a
// client with the token asks for /status once a second.
void Trickle(int port, const std::string& token, int seconds) {
  constexpr int kTricklers = 80;
  const std::string header = "GET /status HTTP/1.1\r\nHost: x\r\nX-Slow: " + std::string(200, 'a');
  struct Trickler {
    int fd = -1;
    std::size_t sent = 0;
    std::chrono::steady_clock::time_point next;
  };
  std::vector<Trickler> ts(kTricklers);
  int drops = 0;
  std::atomic<bool> stop{false};
  std::thread trickle([&] {
    while (!stop.load()) {
      const auto now = std::chrono::steady_clock::now();
      for (int i = 0; i < kTricklers; ++i) {
        Trickler& t = ts[static_cast<std::size_t>(i)];
        if (t.fd >= 0) {
          pollfd p{t.fd, POLLIN, 0};
          char c[256];
          if (poll(&p, 1, 0) > 0 && recv(t.fd, c, sizeof c, MSG_DONTWAIT) <= 0) {
            close(t.fd);
            t.fd = -1;
            ++drops;
          }
        }
        if (t.fd < 0) {
          t.fd = ConnectFrom(port, 0x7F000100u + static_cast<std::uint32_t>(i));
          t.sent = 0;
          t.next = now;
        }
        if (t.fd >= 0 && now >= t.next) {
          send(t.fd, header.data() + t.sent % header.size(), 1, MSG_NOSIGNAL);
          ++t.sent;
          t.next = now + std::chrono::seconds(10);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    for (Trickler& t : ts)
      if (t.fd >= 0) close(t.fd);
  });
  std::this_thread::sleep_for(std::chrono::seconds(2));
  int answered = 0, asked = 0;
  std::vector<double> ms;
  for (int s = 2; s < seconds; ++s) {
    ++asked;
    const auto t0 = std::chrono::steady_clock::now();
    const int fd = ConnectFrom(port, 0);
    const std::string request =
        "GET /status HTTP/1.1\r\nHost: x\r\nConnection: close\r\nAuthorization: Bearer " + token + "\r\n\r\n";
    std::string answer;
    if (fd >= 0 && send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0) {
      char c[4096];
      pollfd p{fd, POLLIN, 0};
      while (poll(&p, 1, 3000) > 0) {
        const ssize_t n = recv(fd, c, sizeof c, 0);
        if (n <= 0) break;
        answer.append(c, static_cast<std::size_t>(n));
      }
    }
    if (fd >= 0) close(fd);
    if (answer.rfind("HTTP/1.1 200", 0) == 0) {
      ++answered;
      ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  stop = true;
  trickle.join();
  std::printf("80 trickling connections for %d s: %d of %d token requests answered, median %.1f ms, max %.1f ms; "
              "%d trickling connections dropped by the bridge\n",
              seconds, answered, asked, Percentile(ms, 0.5), ms.empty() ? 0.0 : *std::max_element(ms.begin(), ms.end()),
              drops);
  std::fflush(stdout);
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 8;
  SimProcess sim({"--size", "704x480", "--fps", "25"});
  if (sim.pid == 0) {
    std::fprintf(stderr, "bench_bridge: cannot start the simulator\n");
    return 1;
  }
  lvbridge::Bridge bridge({{"bench", "127.0.0.1", sim.port, "admin", "1234"}}, lvbridge::Timing{});
  lvbridge::HttpServer server(bridge, lvbridge::ServerOptions{"127.0.0.1", 0, "", 64, 0, 10000});
  std::string error;
  if (!server.Start(&error)) {
    std::fprintf(stderr, "bench_bridge: %s\n", error.c_str());
    return 1;
  }
  lvbridge::ChannelFeed* feed = bridge.Find("bench", 1);

  // Notes each picture's send time as the bridge hands it to the viewers.
  SendTimes times;
  std::atomic<bool> tapStop{false};
  std::mutex handMutex;
  std::vector<double> handOverUs;
  std::atomic<bool> tapMeasuring{false};
  std::thread tap([&] {
    std::uint64_t last = 0;
    while (!tapStop.load()) {
      const auto picture = feed->WaitNewer(last, std::chrono::milliseconds(100));
      if (!picture) continue;
      last = picture->sequence;
      const double since = MicrosSinceSent(picture->frame->buffer.get());
      times.Put(Key(std::string_view(reinterpret_cast<const char*>(picture->data()), picture->size())),
                NowMicros() - static_cast<std::uint64_t>(since));
      if (tapMeasuring.load()) {
        std::lock_guard lock(handMutex);
        handOverUs.push_back(since);
      }
    }
  });

  std::printf("bridge: one 704x480 channel at 25/s, %d s per run\n", seconds);
  std::printf("%7s %10s %8s %13s %12s %11s %10s %8s\n", "viewers", "median ms", "p99 ms", "hand-over ms",
              "forwarded/s", "CPU us/pic", "CPU %core", "RSS MiB");
  for (const int count : {1, 10, 50}) {
    std::vector<std::unique_ptr<Viewer>> viewers;
    for (int i = 0; i < count; ++i) {
      viewers.push_back(std::make_unique<Viewer>());
      Viewer* v = viewers.back().get();
      v->thread = std::thread(ViewerMain, v, server.Port(), &times);
    }
    Pump(3000);  // login, open, steady state
    {
      std::lock_guard lock(handMutex);
      handOverUs.clear();
    }
    for (auto& v : viewers) v->measuring = true;
    tapMeasuring = true;
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    Pump(seconds * 1000);
    for (auto& v : viewers) v->measuring = false;
    tapMeasuring = false;
    Pump(200);  // viewers note their CPU time
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const long rss = RssKiB();
    long pictures = 0;
    double viewerCpu = 0;
    std::vector<double> latency;
    for (auto& v : viewers) {
      pictures += v->pictures.load();
      viewerCpu += v->cpu.load();
      std::lock_guard lock(v->mutex);
      latency.insert(latency.end(), v->latencyUs.begin(), v->latencyUs.end());
    }
    double handOver;
    {
      std::lock_guard lock(handMutex);
      handOver = Percentile(handOverUs, 0.5);
    }
    const double bridgeCpu = cpu - viewerCpu;
    std::printf("%7d %10.2f %8.2f %13.2f %12.1f %11.1f %10.1f %8.1f\n", count, Percentile(latency, 0.5) / 1000,
                Percentile(latency, 0.99) / 1000, handOver / 1000, static_cast<double>(pictures) / wall,
                pictures ? bridgeCpu * 1e6 / static_cast<double>(pictures) : 0.0, 100 * bridgeCpu / wall,
                static_cast<double>(rss) / 1024.0);
    std::fflush(stdout);
    for (auto& v : viewers) v->stop = true;
    for (auto& v : viewers) v->thread.join();
    Pump(500);
  }

  {
    std::vector<double> ages;
    WhilePumping([&] { ages = SlowViewerAges(server.Port(), &times, 20000, 3 * seconds); });
    const std::vector<double> late(ages.begin() + static_cast<std::ptrdiff_t>(ages.size() / 2), ages.end());
    std::printf("viewer at 20 KB/s, 16 KB receive buffer, %d s: %zu pictures, age median %.2f s, max %.2f s, "
                "max over the second half %.2f s\n",
                3 * seconds, ages.size(), Percentile(ages, 0.5),
                ages.empty() ? 0.0 : *std::max_element(ages.begin(), ages.end()),
                late.empty() ? 0.0 : *std::max_element(late.begin(), late.end()));
    std::fflush(stdout);
  }
  Pump(500);
  for (const int delayMs : {0, 500}) {
    for (const int count : {72, 100}) {
      WhilePumping([&] { Burst(server.Port(), count, delayMs); });
      Pump(1000);
    }
  }
  {
    lvbridge::ServerOptions guarded{"127.0.0.1", 0, "bench-token", 64};
    lvbridge::HttpServer tokenServer(bridge, guarded);
    if (!tokenServer.Start(&error)) {
      std::fprintf(stderr, "bench_bridge: %s\n", error.c_str());
      return 1;
    }
    WhilePumping([&] { Trickle(tokenServer.Port(), "bench-token", 2 * seconds); });
    tokenServer.Stop();
  }
  tapStop = true;
  tap.join();
  server.Stop();
  bridge.Shutdown();
  return 0;
}
