#include "net/ddns.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/core/debug_out.h"
#include "platform/core/resolver.h"
#include "protocol/text.h"

namespace lv {
namespace {

std::mutex g_serverMutex;
std::string g_host = kDdnsHost;
std::uint16_t g_port = kDdnsPort;

constexpr char16_t kOpenMarker[] = u"<!--[[DDNS_REQIP";
constexpr char16_t kCloseMarker[] = u"]]-->";
constexpr std::size_t kOpenLength = 16;
constexpr int kReplySize = 1024;
// "GET /req_ip.asp?mac_addr=" and " HTTP/1.0\r\n\r\n" around the identifier.
constexpr std::size_t kRequestTextLength = 38;
constexpr auto kConnectTimeout = std::chrono::seconds(3);
constexpr auto kReplyTimeout = std::chrono::seconds(2);

int Pos(std::size_t p) { return p == std::u16string::npos ? -1 : static_cast<int>(p); }

// Waits for fd to be ready for events until the deadline; false on time-out.
bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(left.count()));
    if (n > 0) return true;
    if (n == 0 || errno != EINTR) return false;
  }
}

// One request and the first bytes of the reply (up to capacity), over a plain
// socket with bounded waits, so the lookup can run on any thread and a
// server that accepts and never answers costs at most the time-outs.
// Returns the bytes received, 0 or less on failure.
int Exchange(const sockaddr_in& server, const char* request, int length, char* reply, int capacity) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const auto close = [fd](int result) {
    ::close(fd);
    return result;
  };
  const auto now = std::chrono::steady_clock::now;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
    if (errno != EINPROGRESS || !WaitFor(fd, POLLOUT, now() + kConnectTimeout)) return close(-1);
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) return close(-1);
  }
  int sent = 0;
  while (sent < length) {
    const ssize_t n = ::send(fd, request + sent, static_cast<std::size_t>(length - sent), MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<int>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!WaitFor(fd, POLLOUT, now() + kConnectTimeout)) return close(-1);
    } else {
      return close(-1);
    }
  }
  DebugOut(" DDNS Send Len [%d]\r\n", sent);
  // What the first read brings is the reply: the wait for it is bounded.
  int received = 0;
  if (WaitFor(fd, POLLIN, now() + kReplyTimeout)) {
    const ssize_t n = ::recv(fd, reply, static_cast<std::size_t>(capacity), 0);
    received = n > 0 ? static_cast<int>(n) : 0;
  }
  return close(received);
}

}  // namespace

void SetDdnsServer(const std::string& host, std::uint16_t port) {
  std::lock_guard lock(g_serverMutex);
  g_host = host;
  g_port = port;
}

std::string DdnsHost() {
  std::lock_guard lock(g_serverMutex);
  return g_host;
}

std::uint16_t DdnsPort() {
  std::lock_guard lock(g_serverMutex);
  return g_port;
}

std::optional<DdnsServer> ParseDdnsServer(const std::string& text, std::string* error) {
  const std::size_t colon = text.rfind(':');
  DdnsServer server{text.substr(0, colon), kDdnsPort};
  if (colon != std::string::npos) {
    const std::string digits = text.substr(colon + 1);
    char* end = nullptr;
    errno = 0;
    const long port = digits.empty() ? 0 : std::strtol(digits.c_str(), &end, 10);
    if (digits.empty() || errno != 0 || *end != '\0' || port < 1 || port > 65535) {
      *error = "bad DDNS port in '" + text + "'";
      return std::nullopt;
    }
    server.port = static_cast<std::uint16_t>(port);
  }
  if (server.host.empty()) {
    *error = "the DDNS server needs a host";
    return std::nullopt;
  }
  return server;
}

std::optional<std::u16string> ParseDdnsReply(const std::u16string& reply) {
  const std::size_t open = reply.find(kOpenMarker);
  DebugOut(" First Str Len[%d] pos[%d]\r\n", static_cast<int>(reply.size()), Pos(open));
  if (open == std::u16string::npos || open < 1) return std::nullopt;
  const std::u16string rest = reply.substr(open + kOpenLength);
  const std::size_t close = rest.find(kCloseMarker);
  DebugOut(" Second Str [%s] Len[%d] Pos[%d]\r\n", Utf16ToUtf8(rest).c_str(), static_cast<int>(rest.size()),
           Pos(close));
  if (close == std::u16string::npos || close < 1) return std::nullopt;
  std::u16string address = rest.substr(0, close);
  DebugOut(" Recv String [%s][%d]\r\n", Utf16ToUtf8(address).c_str(), static_cast<int>(address.size()));
  return address;
}

std::optional<std::u16string> ResolveDdns(const std::u16string& dvrId) {
  // The request goes through a 256-byte scratch: 38 characters of format text
  // plus the identifier must stay below that.
  if (!DdnsIdFits(dvrId)) return std::nullopt;
  const std::u16string request = u"GET /req_ip.asp?mac_addr=" + dvrId + u" HTTP/1.0\r\n\r\n";
  const std::string host = DdnsHost();
  const auto addr = ResolveHostV4(host);
  if (!addr) return std::nullopt;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(DdnsPort());
  sa.sin_addr.s_addr = *addr;

  char scratch[256];
  const int length = static_cast<int>(request.size());
  WideToAnsi(request.c_str(), scratch, length);
  char reply[kReplySize];
  const int received = Exchange(sa, scratch, length, reply, kReplySize);
  if (received < 1) return std::nullopt;
  return DdnsAddressFromReply(reply, static_cast<std::size_t>(received));
}

std::optional<std::u16string> DdnsAddressFromReply(const char* reply, std::size_t received) {
  // Only what arrived counts, and a full buffer has no terminator.
  const std::u16string text = AnsiToWide(reply, std::min<std::size_t>(received, kReplySize));
  DebugOut(" RecvDDNS : %s \r\n", Utf16ToUtf8(text).c_str());
  return ParseDdnsReply(text);
}

bool DdnsIdFits(const std::u16string& dvrId) { return kRequestTextLength + dvrId.size() < 256; }

}  // namespace lv
