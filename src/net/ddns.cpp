#include "net/ddns.h"

#include <cstring>
#include <mutex>

#include "net/soc_tcp.h"
#include "platform/core/debug_out.h"
#include "platform/core/sync.h"
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
constexpr int kReceiveRetries = 10;

int Pos(std::size_t p) { return p == std::u16string::npos ? -1 : static_cast<int>(p); }

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
  const std::u16string request = u"GET /req_ip.asp?mac_addr=" + dvrId + u" HTTP/1.0\r\n\r\n";
  if (request.size() >= 256) return std::nullopt;

  const std::string host = DdnsHost();
  auto sock = std::make_unique<CSoc_TCP>(0, 0, 0, 0);
  if (!sock->ConnectByName(host.c_str(), DdnsPort())) return std::nullopt;
  SleepMs(100);  // let the connect complete

  char scratch[256];
  const int length = static_cast<int>(request.size());
  WideToAnsi(request.c_str(), scratch, length);
  const int sent = sock->Send(scratch, length, 0);
  DebugOut(" DDNS Send Len [%d]\r\n", sent);

  char reply[kReplySize];
  std::memset(reply, 0, sizeof reply);
  int received = sock->Receive(reply, kReplySize, 0);
  for (int retry = 0; received < 1 && retry < kReceiveRetries; ++retry) {
    SleepMs(100);
    received = sock->Receive(reply, kReplySize, 0);
  }
  sock->Disconnect();
  if (received < 1) return std::nullopt;

  // Only what arrived counts, and a full buffer has no terminator.
  const std::u16string text = AnsiToWide(reply, static_cast<std::size_t>(received));
  DebugOut(" RecvDDNS : %s \r\n", Utf16ToUtf8(text).c_str());
  return ParseDdnsReply(text);
}

}  // namespace lv
