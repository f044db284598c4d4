#include "http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <poll.h>

#include <chrono>
#include <cstring>
#include <memory>

namespace lvbridge {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kConnectionMemory = 64 * 1024;  // request line and headers must fit; also the write buffer
constexpr unsigned kIdleTimeoutS = 30;                // a client that sends nothing this long is dropped
constexpr unsigned kStreamTimeoutS = 60;              // a stream client that reads nothing this long is dropped
constexpr std::size_t kStreamBlock = 32 * 1024;
constexpr auto kStreamPoll = 250ms;                   // how often a waiting stream looks at the stop flag

MHD_Result Send(MHD_Connection* connection, unsigned status, const std::string& body, const char* type,
                const char* extraName = nullptr, const char* extraValue = nullptr) {
  MHD_Response* response =
      MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
  if (!response) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
  MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
  if (extraName) MHD_add_response_header(response, extraName, extraValue);
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return queued;
}

MHD_Result SendText(MHD_Connection* connection, unsigned status, const std::string& text,
                    const char* extraName = nullptr, const char* extraValue = nullptr) {
  return Send(connection, status, text + "\n", "text/plain; charset=utf-8", extraName, extraValue);
}

// One viewer's stream: the picture being written and how far.
struct Stream {
  HttpServer* server;
  ChannelFeed* feed;
  MHD_Connection* connection = nullptr;
  int fd = -1;  // the client's socket, only to notice that it has gone
  std::uint64_t lastSequence = 0;
  std::shared_ptr<const Picture> picture;
  std::string head;
  std::size_t offset = 0;  // into head + picture + "\r\n"

  Stream(HttpServer* s, ChannelFeed* f) : server(s), feed(f) { feed->Subscribe(); }
  ~Stream() { feed->Unsubscribe(); }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
};

bool ClientGone(int fd) {
  pollfd p{fd, POLLRDHUP, 0};
  return fd >= 0 && poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

ssize_t ReadStream(void* cls, std::uint64_t, char* buf, std::size_t max) {
  auto* s = static_cast<Stream*>(cls);
  if (!s->picture) {
    if (s->server->Stopping()) return MHD_CONTENT_READER_END_OF_STREAM;
    // A viewer that was busy writing skips every picture but the newest.
    s->picture = s->feed->WaitNewer(s->lastSequence, kStreamPoll);
    if (!s->picture) {
      if (s->server->Stopping()) return MHD_CONTENT_READER_END_OF_STREAM;
      // While no picture comes (the DVR is away) nothing is written, so a
      // viewer that left would still count and keep the session.
      if (ClientGone(s->fd)) return MHD_CONTENT_READER_END_WITH_ERROR;
      // Waiting for the DVR is not the client's idleness: restart its timeout,
      // which then only ends a client that stops reading.
      MHD_set_connection_option(s->connection, MHD_CONNECTION_OPTION_TIMEOUT, 0u);
      MHD_set_connection_option(s->connection, MHD_CONNECTION_OPTION_TIMEOUT, kStreamTimeoutS);
      return 0;
    }
    s->lastSequence = s->picture->sequence;
    s->head = std::string("--") + kBoundary + "\r\nContent-Type: image/jpeg\r\nContent-Length: " +
              std::to_string(s->picture->size()) + "\r\n\r\n";
    s->offset = 0;
  }
  const std::size_t headSize = s->head.size();
  const std::size_t bodySize = s->picture->size();
  const std::size_t total = headSize + bodySize + 2;
  std::size_t written = 0;
  while (written < max && s->offset < total) {
    const char* from;
    std::size_t left;
    if (s->offset < headSize) {
      from = s->head.data() + s->offset;
      left = headSize - s->offset;
    } else if (s->offset < headSize + bodySize) {
      from = reinterpret_cast<const char*>(s->picture->data()) + (s->offset - headSize);
      left = headSize + bodySize - s->offset;
    } else {
      static constexpr char kEnd[] = "\r\n";
      from = kEnd + (s->offset - headSize - bodySize);
      left = total - s->offset;
    }
    const std::size_t n = std::min(left, max - written);
    std::memcpy(buf + written, from, n);
    written += n;
    s->offset += n;
  }
  if (s->offset == total) s->picture.reset();
  return static_cast<ssize_t>(written);
}

void FreeStream(void* cls) { delete static_cast<Stream*>(cls); }

void FreePicture(void* cls) { delete static_cast<std::shared_ptr<const Picture>*>(cls); }

MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                     const char* version, const char*, std::size_t* uploadSize, void** requestState) {
  return static_cast<HttpServer*>(cls)->Answer(connection, url, method, version, uploadSize, requestState)
             ? MHD_YES
             : MHD_NO;
}

void OnConnection(void* cls, MHD_Connection*, void**, MHD_ConnectionNotificationCode code) {
  static_cast<HttpServer*>(cls)->ConnectionEvent(code == MHD_CONNECTION_NOTIFY_STARTED);
}

// "/sites/{site}/channels/{n}/{leaf}", read from the right so that a site
// name may hold any character. False for any other shape.
bool SplitChannelPath(std::string_view url, std::string* site, int* channel, std::string* leaf) {
  constexpr std::string_view kSites = "/sites/";
  constexpr std::string_view kChannels = "/channels/";
  if (url.substr(0, kSites.size()) != kSites) return false;
  const std::size_t slash = url.rfind('/');
  *leaf = std::string(url.substr(slash + 1));
  const std::string_view rest = url.substr(0, slash);
  const std::size_t mark = rest.rfind(kChannels);
  if (mark == std::string_view::npos || mark < kSites.size()) return false;
  const std::string_view number = rest.substr(mark + kChannels.size());
  if (number.empty() || number.size() > 2 || number[0] == '0') return false;
  int n = 0;
  for (const char c : number) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  *channel = n;
  *site = std::string(rest.substr(kSites.size(), mark - kSites.size()));
  return !site->empty();
}

}  // namespace

bool IsLoopback(const std::string& address) {
  in_addr a{};
  return inet_pton(AF_INET, address.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

bool SameSecret(const std::string& given, const std::string& secret) {
  if (secret.empty()) return false;
  unsigned diff = given.size() == secret.size() ? 0u : 1u;
  for (std::size_t i = 0; i < given.size(); ++i)
    diff |= static_cast<unsigned char>(given[i]) ^ static_cast<unsigned char>(secret[i % secret.size()]);
  return diff == 0;
}

HttpServer::HttpServer(Bridge& bridge, ServerOptions options) : m_bridge(bridge), m_options(std::move(options)) {}

HttpServer::~HttpServer() { Stop(); }

bool HttpServer::Start(std::string* error) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(m_options.port));
  if (inet_pton(AF_INET, m_options.address.c_str(), &address.sin_addr) != 1) {
    *error = "not an IPv4 address: " + m_options.address;
    return false;
  }
  m_daemon = MHD_start_daemon(
      MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_ITC, 0, nullptr,
      nullptr, &OnRequest, this, MHD_OPTION_SOCK_ADDR, &address, MHD_OPTION_CONNECTION_LIMIT,
      static_cast<unsigned>(m_options.maxClients + 16), MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory,
      MHD_OPTION_CONNECTION_TIMEOUT, kIdleTimeoutS, MHD_OPTION_NOTIFY_CONNECTION, &OnConnection, this,
      MHD_OPTION_END);
  if (!m_daemon) {
    *error = "cannot listen on " + m_options.address + ":" + std::to_string(m_options.port) + ": " +
             std::strerror(errno);
    return false;
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
  m_port = info ? info->port : m_options.port;
  return true;
}

void HttpServer::Stop() {
  if (!m_daemon) return;
  m_stopping = true;
  m_bridge.WakeAll();
  MHD_stop_daemon(m_daemon);
  m_daemon = nullptr;
}

bool HttpServer::Authorized(void* c) const {
  if (m_options.token.empty()) return true;
  auto* connection = static_cast<MHD_Connection*>(c);
  if (const char* header = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION)) {
    constexpr std::string_view kBearer = "Bearer ";
    const std::string_view value(header);
    if (value.substr(0, kBearer.size()) == kBearer &&
        SameSecret(std::string(value.substr(kBearer.size())), m_options.token))
      return true;
  }
  const char* query = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "token");
  return query && SameSecret(query, m_options.token);
}

bool HttpServer::Answer(void* c, const char* url, const char* method, const char*, std::size_t*, void**) {
  auto* connection = static_cast<MHD_Connection*>(c);
  if (m_connections.load() > m_options.maxClients)
    return SendText(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "Too many clients", MHD_HTTP_HEADER_RETRY_AFTER, "5");
  const bool head = std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
  if (!head && std::strcmp(method, MHD_HTTP_METHOD_GET) != 0)
    return SendText(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET and HEAD", MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
  // Requests carry no body here; one that announces a body is refused rather than read.
  const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
  if ((length && std::strcmp(length, "0") != 0) ||
      MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_TRANSFER_ENCODING))
    return SendText(connection, MHD_HTTP_CONTENT_TOO_LARGE, "Requests carry no body");
  if (!Authorized(connection))
    return SendText(connection, MHD_HTTP_UNAUTHORIZED, "A valid token is needed", MHD_HTTP_HEADER_WWW_AUTHENTICATE,
                    "Bearer realm=\"lorventa-bridge\"");

  const std::string_view path(url);
  if (path == "/") {
    const std::string query = m_options.token.empty() ? "" : "?token=" + UrlSegment(m_options.token);
    return Send(connection, MHD_HTTP_OK, m_bridge.PageHtml(query), "text/html; charset=utf-8");
  }
  if (path == "/status") return Send(connection, MHD_HTTP_OK, m_bridge.StatusJson(), "application/json");

  std::string site, leaf;
  int channel = 0;
  ChannelFeed* feed = nullptr;
  if (SplitChannelPath(path, &site, &channel, &leaf) && (leaf == "stream.mjpeg" || leaf == "snapshot.jpg"))
    feed = m_bridge.Find(site, channel);
  if (!feed) return SendText(connection, MHD_HTTP_NOT_FOUND, "Not found");

  if (leaf == "snapshot.jpg") {
    feed->Subscribe();
    auto picture = feed->WaitNewer(0, std::chrono::milliseconds(m_bridge.timing().snapshotWaitMs));
    feed->Unsubscribe();
    if (!picture) return SendText(connection, MHD_HTTP_GATEWAY_TIMEOUT, "No picture from the DVR in time");
    auto* keep = new std::shared_ptr<const Picture>(picture);
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
        picture->size(), const_cast<std::uint8_t*>(picture->data()), &FreePicture, keep);
    if (!response) {
      delete keep;
      return false;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "image/jpeg");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return queued == MHD_YES;
  }

  auto stream = std::make_unique<Stream>(this, feed);
  stream->connection = connection;
  if (const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD))
    stream->fd = info->connect_fd;
  MHD_Response* response =
      MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, kStreamBlock, &ReadStream, stream.get(), &FreeStream);
  if (!response) return false;
  stream.release();  // the response owns it now
  // No chunked coding: the stream is the body up to the closing of the connection,
  // which every MJPEG client reads.
  MHD_set_response_options(response, MHD_RF_HTTP_1_0_COMPATIBLE_STRICT, MHD_RO_END);
  const std::string type = std::string("multipart/x-mixed-replace;boundary=") + kBoundary;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type.c_str());
  MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache, no-store, must-revalidate");
  MHD_add_response_header(response, MHD_HTTP_HEADER_PRAGMA, "no-cache");
  MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT, kStreamTimeoutS);
  const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
  MHD_destroy_response(response);
  return queued == MHD_YES;
}

}  // namespace lvbridge
