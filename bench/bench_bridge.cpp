// The bridge under load: one 704 x 480 channel at 25 pictures per second from
// the simulator (a process of its own), watched by 1, 10 and 50 MJPEG viewers
// on loopback. For each run: the latency from the simulator's send of a
// picture to its last byte in a viewer's socket (and, for comparison, to its
// hand-over inside the bridge), pictures forwarded per second, the bridge's
// CPU time per forwarded picture (the viewers' own CPU time taken out) and
// its resident memory.
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
  lvbridge::HttpServer server(bridge, lvbridge::ServerOptions{"127.0.0.1", 0, "", 64});
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
  tapStop = true;
  tap.join();
  server.Stop();
  bridge.Shutdown();
  return 0;
}
