#include "dvrsim/ddns_server.h"

#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "net.h"

namespace dvrsim {

namespace {
constexpr std::string_view kRequestStart = "GET /req_ip.asp?mac_addr=";
constexpr std::string_view kRequestEnd = " HTTP/1.";
constexpr size_t kMaxRequest = 4096;
constexpr int kRequestTimeoutMs = 3000;
constexpr int kSilentHoldMs = 5000;
}  // namespace

std::string DdnsServer::ReplyFor(const std::map<std::string, std::string>& idToAddress, const std::string& request) {
  std::string body = "<html><body>no such device</body></html>";
  if (request.compare(0, kRequestStart.size(), kRequestStart) == 0) {
    const size_t end = request.find(kRequestEnd, kRequestStart.size());
    if (end != std::string::npos) {
      const auto it = idToAddress.find(request.substr(kRequestStart.size(), end - kRequestStart.size()));
      if (it != idToAddress.end()) body = "<html><!--[[DDNS_REQIP" + it->second + "]]--></html>";
    }
  }
  return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

struct DdnsServer::Impl {
  explicit Impl(std::map<std::string, std::string> m) : map(std::move(m)) {}

  void Loop();
  void Serve(int fd);
  // Waits for fd to become ready for `events` or for the timeout; false on
  // timeout or when the server stops.
  bool WaitFor(int fd, short events, int timeoutMs);
  bool SendAll(int fd, const std::string& text);

  int listenFd = -1;
  std::atomic<uint16_t> port{0};
  std::atomic<bool> running{false};
  std::atomic<bool> stopping{false};
  net::Wake wake;
  std::thread thread;

  mutable std::mutex mu;  // guards everything below
  mutable std::condition_variable cv;
  std::map<std::string, std::string> map;
  std::optional<std::string> rawReply;
  std::optional<size_t> splitAt;
  int splitDelayMs = 500;
  bool silent = false;
  std::vector<std::string> seen;
  std::string error;
};

bool DdnsServer::Impl::WaitFor(int fd, short events, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (stopping.load()) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd fds[2] = {{fd, events, 0}, {wake.fd(), POLLIN, 0}};
    const int n = ::poll(fds, 2, static_cast<int>(left));
    if (n < 0 && errno != EINTR) return false;
    if (n > 0 && (fds[1].revents & POLLIN)) wake.Drain();
    if (n > 0 && fds[0].revents != 0) return true;
  }
}

bool DdnsServer::Impl::SendAll(int fd, const std::string& text) {
  size_t off = 0;
  while (off < text.size()) {
    const ssize_t n = ::send(fd, text.data() + off, text.size() - off, MSG_NOSIGNAL);
    if (n > 0) {
      off += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, kRequestTimeoutMs)) return false;
    } else {
      return false;
    }
  }
  return true;
}

void DdnsServer::Impl::Serve(int fd) {
  std::string request;
  char buf[1024];
  bool open = true;
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequest) {
    if (!WaitFor(fd, POLLIN, kRequestTimeoutMs)) break;
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n > 0) {
      request.append(buf, static_cast<size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
      open = false;
      break;
    }
  }
  const size_t end = request.find("\r\n\r\n");
  if (end != std::string::npos) request.resize(end + 4);

  std::string reply;
  std::optional<size_t> split;
  int delayMs = 0;
  bool quiet = false;
  {
    std::lock_guard<std::mutex> lock(mu);
    seen.push_back(request);
    reply = rawReply ? *rawReply : DdnsServer::ReplyFor(map, request);
    split = splitAt;
    delayMs = splitDelayMs;
    quiet = silent;
  }
  cv.notify_all();

  if (open && quiet) {
    // Hold the connection until the client gives up.
    while (WaitFor(fd, POLLIN, kSilentHoldMs)) {
      if (::recv(fd, buf, sizeof buf, 0) <= 0) break;
    }
  } else if (open && split && *split < reply.size()) {
    if (SendAll(fd, reply.substr(0, *split))) {
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs);
      while (!stopping.load() && std::chrono::steady_clock::now() < until) {
        // Nothing to read is expected: this only waits, waking early on Stop().
        pollfd w{wake.fd(), POLLIN, 0};
        ::poll(&w, 1, 10);
      }
      SendAll(fd, reply.substr(*split));
    }
  } else if (open) {
    SendAll(fd, reply);
  }
  ::shutdown(fd, SHUT_RDWR);
  net::Close(&fd);
}

void DdnsServer::Impl::Loop() {
  while (!stopping.load()) {
    pollfd fds[2] = {{listenFd, POLLIN, 0}, {wake.fd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
    if (fds[1].revents & POLLIN) wake.Drain();
    if (stopping.load()) break;
    if (!(fds[0].revents & POLLIN)) continue;
    const int fd = net::AcceptNonBlocking(listenFd);
    if (fd >= 0) Serve(fd);
  }
}

DdnsServer::DdnsServer(std::map<std::string, std::string> idToAddress)
    : impl_(std::make_unique<Impl>(std::move(idToAddress))) {}

DdnsServer::~DdnsServer() { Stop(); }

bool DdnsServer::Start(uint16_t port) {
  std::string err;
  if (impl_->running.load()) err = "already running";
  uint16_t bound = 0;
  const int fd = err.empty() ? net::ListenLoopback(port, &bound, &err) : -1;
  if (fd < 0) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->error = err;
    return false;
  }
  impl_->listenFd = fd;
  impl_->port.store(bound);
  impl_->stopping.store(false);
  impl_->running.store(true);
  try {
    impl_->thread = std::thread([this] { impl_->Loop(); });
  } catch (const std::system_error& e) {  // no thread to be had
    impl_->running.store(false);
    net::Close(&impl_->listenFd);
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->error = e.what();
    return false;
  }
  return true;
}

uint16_t DdnsServer::Port() const { return impl_->port.load(); }

void DdnsServer::Stop() {
  if (!impl_->running.exchange(false)) return;
  impl_->stopping.store(true);
  impl_->wake.Signal();
  impl_->thread.join();
  net::Close(&impl_->listenFd);
}

std::string DdnsServer::Error() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->error;
}

std::vector<std::string> DdnsServer::RequestsSeen() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->seen;
}

bool DdnsServer::WaitForRequests(size_t n, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(impl_->mu);
  return impl_->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return impl_->seen.size() >= n; });
}

void DdnsServer::SetAddress(const std::string& id, const std::string& address) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->map[id] = address;
}

void DdnsServer::SetRawReply(std::optional<std::string> text) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->rawReply = std::move(text);
}

void DdnsServer::SetSplitReply(std::optional<size_t> at, int delayMs) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->splitAt = at;
  impl_->splitDelayMs = delayMs;
}

void DdnsServer::SetSilent(bool silent) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->silent = silent;
}

}  // namespace dvrsim
