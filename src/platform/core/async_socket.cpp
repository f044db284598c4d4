#include "platform/core/async_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>

#include "platform/core/resolver.h"

namespace lv {
namespace {
thread_local int t_lastError = 0;

void SetLastErrorFromErrno() { t_lastError = WinsockError(errno); }
}  // namespace

int WinsockError(int e) {
  switch (e) {
    case 0: return 0;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS: return kErrWouldBlock;
    case ECONNREFUSED: return kErrConnRefused;
    case ECONNRESET: return kErrConnReset;
    case EPIPE:
    case ENOTCONN: return kErrNotConnected;
    case ETIMEDOUT: return kErrTimedOut;
    case ENETUNREACH: return 10051;
    case EHOSTUNREACH: return 10065;
    case ECONNABORTED: return 10053;
    case EADDRINUSE: return 10048;
    case EMFILE: return 10024;
    case ENOBUFS: return 10055;
    default: return 10000 + e;
  }
}

// The notifiers and a liveness flag. A handler may destroy its socket; the
// flag tells the dispatch code not to touch the object afterwards, and the
// notifier whose signal is being delivered is then deleted later, not inside
// its own emission.
struct CAsyncSocket::Notifiers {
  std::unique_ptr<QSocketNotifier> read;
  std::unique_ptr<QSocketNotifier> write;
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);
  int dispatchDepth = 0;
};

CAsyncSocket::CAsyncSocket() : m_notifiers(std::make_unique<Notifiers>()) {}

CAsyncSocket::~CAsyncSocket() {
  *m_notifiers->alive = false;
  Close();
}

int CAsyncSocket::GetLastError() { return t_lastError; }
bool CAsyncSocket::IsOpen() const { return m_fd >= 0; }
int CAsyncSocket::Handle() const { return m_fd; }

void CAsyncSocket::OnConnect(int) {}
void CAsyncSocket::OnReceive(int) {}
void CAsyncSocket::OnSend(int) {}
void CAsyncSocket::OnClose(int) {}

bool CAsyncSocket::Create() {
  if (m_fd >= 0) Close();
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    SetLastErrorFromErrno();
    return false;
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  m_fd = fd;
  Arm();
  return true;
}

void CAsyncSocket::Arm() {
  Notifiers& n = *m_notifiers;
  n.read = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
  n.write = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Write);
  n.read->setEnabled(false);
  n.write->setEnabled(false);
  QObject::connect(n.read.get(), &QSocketNotifier::activated, [this] { HandleReadable(); });
  QObject::connect(n.write.get(), &QSocketNotifier::activated, [this] { HandleWritable(); });
}

void CAsyncSocket::Close() {
  Notifiers& n = *m_notifiers;
  for (auto* slot : {&n.read, &n.write}) {
    if (!*slot) continue;
    (*slot)->setEnabled(false);
    if (n.dispatchDepth > 0)
      slot->release()->deleteLater();
    else
      slot->reset();
  }
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
  m_connecting = false;
}

bool CAsyncSocket::Connect(const char* host, std::uint16_t port) {
  const auto addr = ResolveHostV4(host ? host : "");
  if (!addr) {
    t_lastError = kErrHostNotFound;
    return false;
  }
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = *addr;
  return Connect(sa);
}

bool CAsyncSocket::Connect(const sockaddr_in& address) {
  if (m_fd < 0) {
    t_lastError = 10038;  // not a socket
    return false;
  }
  const int rc = ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int err = rc == 0 ? 0 : errno;
  if (rc == 0 || err == EINPROGRESS) {
    // Completion (immediate or later) is reported from the event loop.
    m_connecting = true;
    m_notifiers->write->setEnabled(true);
    t_lastError = kErrWouldBlock;
    return rc == 0;
  }
  // Refused at once: still report it the asynchronous way, as a failed connect.
  t_lastError = WinsockError(err);
  const int code = t_lastError;
  std::weak_ptr<bool> alive = m_notifiers->alive;
  QTimer::singleShot(0, m_notifiers->write.get(), [this, alive, code] {
    if (auto a = alive.lock(); a && *a) OnConnect(code);
  });
  return false;
}

int CAsyncSocket::Send(const void* data, int length, int flags) {
  if (m_fd < 0) {
    t_lastError = 10038;
    return -1;
  }
  const ssize_t n = ::send(m_fd, data, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
  if (n < 0) {
    SetLastErrorFromErrno();
    return -1;
  }
  return static_cast<int>(n);
}

int CAsyncSocket::Receive(void* buffer, int length, int flags) {
  if (m_fd < 0) {
    t_lastError = 10038;
    return -1;
  }
  ssize_t n;
  do {
    n = ::recv(m_fd, buffer, static_cast<size_t>(length), flags | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    SetLastErrorFromErrno();
    return -1;
  }
  return static_cast<int>(n);
}

void CAsyncSocket::HandleWritable() {
  Notifiers& n = *m_notifiers;
  n.write->setEnabled(false);
  if (!m_connecting) return;
  m_connecting = false;
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
  if (err == 0) n.read->setEnabled(true);
  auto alive = n.alive;
  ++n.dispatchDepth;
  OnConnect(WinsockError(err));
  if (*alive) --n.dispatchDepth;
}

void CAsyncSocket::HandleReadable() {
  Notifiers& n = *m_notifiers;
  // Tell data from an orderly close or an error without consuming anything:
  // the data itself is taken by OnReceive. If OnReceive leaves bytes in the
  // socket (no room to store them), the level-triggered notifier fires again.
  char probe;
  const ssize_t r = ::recv(m_fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
  const int err = r < 0 ? errno : 0;
  if (r < 0 && (err == EAGAIN || err == EWOULDBLOCK || err == EINTR)) return;
  auto alive = n.alive;
  ++n.dispatchDepth;
  if (r > 0) {
    OnReceive(0);
  } else {
    n.read->setEnabled(false);
    OnClose(WinsockError(err));
  }
  if (*alive) --n.dispatchDepth;
}

}  // namespace lv
