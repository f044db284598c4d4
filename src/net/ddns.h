#pragma once
// DVR identifier to address through the DDNS server: one HTTP/1.0 request and
// the address between two markers in the reply. Blocking, on plain sockets
// with bounded waits (about 3 s to connect, 2 s for the reply), so the session
// runs it on a lookup thread of its own, never on the user-interface thread.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace lv {

constexpr std::uint16_t kDdnsPort = 8245;
// The server the program asks. Tests and tools may point it elsewhere.
constexpr const char* kDdnsHost = "ddns.lorventa.example";

void SetDdnsServer(const std::string& host, std::uint16_t port);
std::string DdnsHost();
std::uint16_t DdnsPort();

struct DdnsServer {
  std::string host;
  std::uint16_t port = kDdnsPort;
};
// "HOST" or "HOST:PORT" (port 1..65535; the usual port without one);
// nullopt and *error on anything else.
std::optional<DdnsServer> ParseDdnsServer(const std::string& text, std::string* error);

// The address text between the markers, or nullopt on any failure.
std::optional<std::u16string> ResolveDdns(const std::u16string& dvrId);

// Extracts the address from a reply text (exposed for tests).
std::optional<std::u16string> ParseDdnsReply(const std::u16string& reply);

// The lookup's last step: the received bytes (at most the 1024-byte reply
// buffer, not terminated; only what arrived counts) to the address.
std::optional<std::u16string> DdnsAddressFromReply(const char* reply, std::size_t received);

// Whether the identifier fits the request's 256-byte scratch (at most 217
// characters beside the 38 of the request's own text).
bool DdnsIdFits(const std::u16string& dvrId);

}  // namespace lv
