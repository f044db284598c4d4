#pragma once
// The bridge's HTTP side on libmicrohttpd: one thread per client, so a viewer
// that reads slowly blocks only its own thread while the others go on.
//
//   GET /                                          the page of every channel
//   GET /status                                    JSON status
//   GET /sites/{site}/channels/{n}/stream.mjpeg    multipart/x-mixed-replace JPEG stream
//   GET /sites/{site}/channels/{n}/snapshot.jpg    the newest picture (?stale=1: even an old one)
//   GET /events                                    motion events as Server-Sent Events
//   GET /sites/{site}/channels/{n}/events          the same, for one channel
//   POST /sites/{site}/channels/{n}/ptz            a PTZ move and, after its duration, its stop;
//                                                  answered when the stop is sent
//
// Event streams count as streams against maxStreams.
// With a token, every request must carry it ("Authorization: Bearer" or
// "?token="). At most maxStreams streams are served at once; more get 503.
// Clients that do not finish their request header are dropped (see
// ConnectionGuard), and one address holds at most maxPerAddress connections.
#include <atomic>
#include <memory>
#include <string>

#include "bridge.h"
#include "connection_guard.h"
#include "mjpeg_stream.h"

struct MHD_Daemon;

namespace lvbridge {

struct ServerOptions {
  std::string address = "127.0.0.1";  // IPv4 or IPv6
  int port = 8480;                     // 0: any free port
  std::string token;                   // empty: none asked for
  int maxStreams = 64;
  int maxPerAddress = 32;              // connections from one client address; 0: no limit
  int headerDeadlineMs = 10000;        // a request must finish its header this soon
};

class HttpServer {
 public:
  HttpServer(Bridge& bridge, ServerOptions options);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens; false with *error set when it cannot.
  bool Start(std::string* error);
  int Port() const { return m_port; }
  // Ends every response and joins every client thread. Safe to call twice.
  void Stop();
  // Streams being served now.
  int Streams() const { return m_streams.load(); }

  // Callbacks of the library (public for its C interface only).
  // body: what a POST carried (null for other methods).
  bool Answer(void* connection, const char* url, const char* method, const std::string* body);
  ConnectionGuard& Guard() { return *m_guard; }

 private:
  bool Authorized(void* connection) const;
  bool AnswerSnapshot(void* connection, ChannelFeed& feed, bool head);
  bool AnswerStream(void* connection, ChannelFeed& feed, bool head);
  bool AnswerEvents(void* connection, const std::string& site, int channel);
  bool AnswerPtz(void* connection, ChannelFeed& feed, const std::string& site, const std::string& body);

  Bridge& m_bridge;
  const ServerOptions m_options;
  std::unique_ptr<ConnectionGuard> m_guard;
  MHD_Daemon* m_daemon = nullptr;
  int m_port = 0;
  std::atomic<int> m_streams{0};
  std::atomic<bool> m_stopping{false};
};

// True when address names this machine only (127.0.0.0/8, ::1, ::ffff:127.x.x.x).
bool IsLoopback(const std::string& address);
// True when the Authorization value is "Bearer" (any case) and the token.
bool BearerMatches(std::string_view authorization, const std::string& token);
// Compares in time that depends on the given text's length only, not on
// where the two differ.
bool SameSecret(const std::string& given, const std::string& secret);

}  // namespace lvbridge
