#include "dvrsim/simulator.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <system_error>
#include <thread>

#include "connection.h"
#include "net.h"
#include "state.h"
#include "wire.h"

namespace dvrsim {

std::string Request::Describe() const {
  char head[96];
  const std::string_view name = wire::RequestName(id);
  if (name.empty()) {
    std::snprintf(head, sizeof head, "UNKNOWN id=0x%08X result=0x%X length=%u", id, result, bodyLength);
  } else {
    std::snprintf(head, sizeof head, "%.*s", static_cast<int>(name.size()), name.data());
  }
  std::string out = head;
  char buf[64];
  switch (id) {
    case wire::kReqLogin:
      out += " user=" + user + " password=" + password;
      std::snprintf(buf, sizeof buf, " flag=%u", loginFlag);
      out += buf;
      break;
    case wire::kReqChOpen:
    case wire::kReqChClose:
      std::snprintf(buf, sizeof buf, " channel=%d", channel);
      out += buf;
      break;
    case wire::kReqControlPtz:
      std::snprintf(buf, sizeof buf, " channel=%d code=%d", channel, ptzCode);
      out += buf;
      break;
    case wire::kReq010105:
      std::snprintf(buf, sizeof buf, " v1=%u v2=%u", v1, v2);
      out += buf;
      break;
    default:
      break;
  }
  if (!wellFormed) {
    std::snprintf(buf, sizeof buf, " MALFORMED length=%u", bodyLength);
    out += buf;
  }
  return out;
}

struct Simulator::Impl {
  explicit Impl(Config c) : s(std::move(c)) {}

  void AcceptLoop();
  void ReapFinished();  // with mu held
  size_t Broadcast(const Command& c);

  SharedState s;
  int listenFd = -1;
  std::atomic<uint16_t> port{0};
  std::atomic<bool> running{false};
  std::atomic<bool> stopping{false};
  net::Wake wake;
  std::thread acceptor;
  mutable std::mutex mu;  // guards conns and error
  std::vector<std::unique_ptr<Connection>> conns;
  std::atomic<size_t> accepted{0};
  std::string error;
};

void Simulator::Impl::AcceptLoop() {
  while (!stopping.load()) {
    pollfd fds[2] = {{listenFd, POLLIN, 0}, {wake.fd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
    if (fds[1].revents & POLLIN) wake.Drain();
    if (stopping.load()) break;
    std::lock_guard<std::mutex> lock(mu);
    ReapFinished();
    if (!(fds[0].revents & POLLIN)) continue;
    const int fd = net::AcceptNonBlocking(listenFd);
    if (fd < 0) continue;
    const size_t index = accepted.load();
    if (s.cfg.verbose) std::fprintf(stderr, "[dvrsim] connection %zu accepted\n", index);
    conns.push_back(std::make_unique<Connection>(s, fd, index, [this] { wake.Signal(); }));
    // Counted before its thread runs, so no reply can reach a client while
    // the connection is not yet counted.
    accepted.store(index + 1);
    conns.back()->Start();
  }
}

// A connection whose thread has ended is closed here, and only then no longer
// counted open: a test that waits for no open connections also sees every
// descriptor of them closed.
void Simulator::Impl::ReapFinished() {
  const size_t reaped = std::erase_if(conns, [](const std::unique_ptr<Connection>& c) { return c->Finished(); });
  s.openConnections.fetch_sub(reaped);
}

size_t Simulator::Impl::Broadcast(const Command& c) {
  std::lock_guard<std::mutex> lock(mu);
  size_t n = 0;
  for (auto& conn : conns) {
    if (conn->Finished()) continue;
    conn->Post(c);
    ++n;
  }
  return n;
}

Simulator::Simulator(Config cfg) : impl_(std::make_unique<Impl>(std::move(cfg))) {}

Simulator::~Simulator() { Stop(); }

bool Simulator::Start(uint16_t port) {
  if (impl_->running.load()) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->error = "already running";
    return false;
  }
  if (!impl_->wake.ok()) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->error = "cannot make the wake-up descriptor";
    return false;
  }
  std::string err;
  uint16_t bound = 0;
  const int fd = net::ListenLoopback(port, &bound, &err);
  if (fd < 0) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->error = err;
    return false;
  }
  impl_->listenFd = fd;
  impl_->port.store(bound);
  impl_->s.startedUs.store(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
  impl_->stopping.store(false);
  impl_->running.store(true);
  try {
    impl_->acceptor = std::thread([this] { impl_->AcceptLoop(); });
  } catch (const std::system_error& e) {  // no thread to be had
    impl_->running.store(false);
    net::Close(&impl_->listenFd);
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->error = e.what();
    return false;
  }
  return true;
}

void Simulator::Stop() {
  if (!impl_->running.exchange(false)) return;
  impl_->stopping.store(true);
  impl_->wake.Signal();
  impl_->acceptor.join();
  net::Close(&impl_->listenFd);
  std::vector<std::unique_ptr<Connection>> conns;
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    conns.swap(impl_->conns);
  }
  for (auto& c : conns) c->Stop();
  for (auto& c : conns) c->Join();
  const size_t closed = conns.size();
  conns.clear();
  impl_->s.openConnections.fetch_sub(closed);
}

uint16_t Simulator::Port() const { return impl_->port.load(); }

std::string Simulator::Error() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->error;
}

const Config& Simulator::config() const { return impl_->s.cfg; }

std::vector<Request> Simulator::Requests() const { return impl_->s.Requests(); }

bool Simulator::WaitForRequests(size_t n, int timeoutMs) const { return impl_->s.WaitForRequests(n, timeoutMs); }

size_t Simulator::Connections() const { return impl_->accepted.load(); }

size_t Simulator::OpenConnections() const { return impl_->s.openConnections.load(); }

namespace {
template <typename Pred>
bool WaitUntil(Pred done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
}  // namespace

bool Simulator::WaitForConnections(size_t n, int timeoutMs) const {
  return WaitUntil([&] { return Connections() >= n; }, timeoutMs);
}

uint64_t Simulator::FramesSent() const { return impl_->s.framesSent.load(); }

bool Simulator::WaitForFrames(uint64_t n, int timeoutMs) const {
  return WaitUntil([&] { return FramesSent() >= n; }, timeoutMs);
}

uint64_t Simulator::SendCalls() const { return impl_->s.sendCalls.load(); }

uint64_t Simulator::BytesSent() const { return impl_->s.bytesSent.load(); }

PtzPosition Simulator::Ptz(int channel) const { return impl_->s.Ptz(channel); }

size_t Simulator::SendGarbage(std::vector<uint8_t> bytes) {
  if (bytes.empty()) {
    // Fixed filler that holds no 0xAB.
    for (int i = 0; i < 16; ++i) bytes.push_back(static_cast<uint8_t>(0x11 * (i % 8) + 0x3C));
  }
  Command c;
  c.kind = Command::Kind::kRaw;
  c.bytes = std::move(bytes);
  return impl_->Broadcast(c);
}

size_t Simulator::CloseChannelUnasked(int channel) {
  Command c;
  c.kind = Command::Kind::kCloseChannel;
  c.channel = channel;
  return impl_->Broadcast(c);
}

size_t Simulator::DropConnection() {
  Command c;
  c.kind = Command::Kind::kDrop;
  return impl_->Broadcast(c);
}

size_t Simulator::DropConnectionsOf(int channel) {
  Command c;
  c.kind = Command::Kind::kDropIfStreaming;
  c.channel = channel;
  return impl_->Broadcast(c);
}

size_t Simulator::SendHeartbeat(uint32_t result) {
  Command c;
  c.kind = Command::Kind::kHeartbeat;
  c.result = result;
  return impl_->Broadcast(c);
}

size_t Simulator::SendRaw(std::vector<uint8_t> bytes) {
  Command c;
  c.kind = Command::Kind::kRaw;
  c.bytes = std::move(bytes);
  return impl_->Broadcast(c);
}

}  // namespace dvrsim
