// The DDNS server a client asks for a DVR's address by its identifier: one
// HTTP/1.0 request "GET /req_ip.asp?mac_addr=ID HTTP/1.0\r\n\r\n" per
// connection, answered with the address inside a marked HTML comment
// ("<!--[[DDNS_REQIP" address "]]-->"), then the connection is closed. An
// unknown identifier gets a page without the markers.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dvrsim {

class DdnsServer {
 public:
  explicit DdnsServer(std::map<std::string, std::string> idToAddress);
  ~DdnsServer();
  DdnsServer(const DdnsServer&) = delete;
  DdnsServer& operator=(const DdnsServer&) = delete;

  // Listens on 127.0.0.1:port (0 = any free port).
  bool Start(uint16_t port = 0);
  uint16_t Port() const;
  void Stop();
  std::string Error() const;

  // Every request text received, in order (up to the blank line, or what
  // arrived before the client gave up).
  std::vector<std::string> RequestsSeen() const;
  bool WaitForRequests(size_t n, int timeoutMs) const;

  void SetAddress(const std::string& id, const std::string& address);
  // Replaces the whole reply text, whatever the request.
  void SetRawReply(std::optional<std::string> text);
  // Sends the first `at` bytes of the reply, waits delayMs, then the rest:
  // the reply reaches the client in two TCP segments.
  void SetSplitReply(std::optional<size_t> at, int delayMs = 500);
  // Reads the request and answers nothing; the connection stays open until
  // the client closes it or the server stops.
  void SetSilent(bool silent);

  // The reply text for one request, as the server would send it.
  static std::string ReplyFor(const std::map<std::string, std::string>& idToAddress, const std::string& request);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dvrsim
