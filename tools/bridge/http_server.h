#pragma once
// The bridge's HTTP side on libmicrohttpd: one thread per client, so a viewer
// that reads slowly blocks only its own thread while the others go on.
//
//   GET /                                          the page of every channel
//   GET /status                                    JSON status
//   GET /sites/{site}/channels/{n}/stream.mjpeg    multipart/x-mixed-replace JPEG stream
//   GET /sites/{site}/channels/{n}/snapshot.jpg    the newest picture
//
// With a token, every request must carry it ("Authorization: Bearer" or
// "?token="). At most maxClients connections are served; more get 503.
#include <atomic>
#include <string>

#include "bridge.h"

struct MHD_Daemon;

namespace lvbridge {

struct ServerOptions {
  std::string address = "127.0.0.1";  // IPv4
  int port = 8480;                     // 0: any free port
  std::string token;                   // empty: none asked for
  int maxClients = 64;
};

inline constexpr const char* kBoundary = "lorventaframe";

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

  // Callbacks of the library (public for its C interface only).
  struct Request;
  bool Answer(void* connection, const char* url, const char* method, const char* version, std::size_t* uploadSize,
             void** requestState);
  void ConnectionEvent(bool opened) { m_connections.fetch_add(opened ? 1 : -1); }
  bool Stopping() const { return m_stopping.load(); }

 private:
  bool Authorized(void* connection) const;

  Bridge& m_bridge;
  const ServerOptions m_options;
  MHD_Daemon* m_daemon = nullptr;
  int m_port = 0;
  std::atomic<int> m_connections{0};
  std::atomic<bool> m_stopping{false};
};

// True when address names this machine only (127.0.0.0/8).
bool IsLoopback(const std::string& address);
// Compares in time that depends on the given text's length only, not on
// where the two differ.
bool SameSecret(const std::string& given, const std::string& secret);

}  // namespace lvbridge
