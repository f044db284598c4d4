#include "http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <strings.h>

#include <chrono>
#include <cstring>
#include <memory>

#include "client_gone.h"
#include "event_stream.h"

namespace lvbridge {
namespace {

constexpr std::size_t kConnectionMemory = 64 * 1024;  // request line and headers must fit; also the write buffer
constexpr unsigned kIdleTimeoutS = 30;                // a client that sends nothing this long is dropped
constexpr std::size_t kStreamBlock = 32 * 1024;
constexpr std::size_t kMaxBody = 4096;                // a PTZ command is a few dozen bytes

MHD_Result Queue(MHD_Connection* connection, unsigned status, MHD_Response* response) {
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return queued;
}

MHD_Result Send(MHD_Connection* connection, unsigned status, const std::string& body, const char* type,
                const char* extraName = nullptr, const char* extraValue = nullptr) {
  MHD_Response* response =
      MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
  if (!response) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
  MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
  if (extraName) MHD_add_response_header(response, extraName, extraValue);
  return Queue(connection, status, response);
}

MHD_Result SendText(MHD_Connection* connection, unsigned status, const std::string& text,
                    const char* extraName = nullptr, const char* extraValue = nullptr) {
  return Send(connection, status, text + "\n", "text/plain; charset=utf-8", extraName, extraValue);
}

ssize_t ReadStream(void* cls, std::uint64_t, char* buf, std::size_t max) {
  return static_cast<MjpegStream*>(cls)->Read(buf, max);
}

ssize_t ReadNothing(void*, std::uint64_t, char*, std::size_t) { return MHD_CONTENT_READER_END_OF_STREAM; }

void FreeStream(void* cls) { delete static_cast<MjpegStream*>(cls); }

void FreePicture(void* cls) { delete static_cast<std::shared_ptr<const Picture>*>(cls); }

ssize_t ReadEvents(void* cls, std::uint64_t, char* buf, std::size_t max) {
  return static_cast<EventStream*>(cls)->Read(buf, max);
}

void FreeEvents(void* cls) { delete static_cast<EventStream*>(cls); }

// A POST's body is gathered over several calls (kept in *requestContext,
// freed when the request completes) and answered on the last one.
MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                     const char* upload, std::size_t* uploadSize, void** requestContext) {
  auto* server = static_cast<HttpServer*>(cls);
  if (std::strcmp(method, MHD_HTTP_METHOD_POST) != 0) return server->Answer(connection, url, method, nullptr) ? MHD_YES : MHD_NO;
  auto* body = static_cast<std::string*>(*requestContext);
  if (!body) {
    const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (length && std::strtoull(length, nullptr, 10) > kMaxBody)  // refused before it is read
      return server->Answer(connection, url, method, nullptr) ? MHD_YES : MHD_NO;
    *requestContext = new std::string;
    return MHD_YES;
  }
  if (*uploadSize > 0) {
    if (body->size() + *uploadSize > kMaxBody) return MHD_NO;  // a chunked body that never ends
    body->append(upload, *uploadSize);
    *uploadSize = 0;
    return MHD_YES;
  }
  return server->Answer(connection, url, method, body) ? MHD_YES : MHD_NO;
}

std::uintptr_t GuardId(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
  return info ? reinterpret_cast<std::uintptr_t>(info->socket_context) : 0;
}

void OnConnection(void* cls, MHD_Connection* connection, void** context, MHD_ConnectionNotificationCode code) {
  ConnectionGuard& guard = static_cast<HttpServer*>(cls)->Guard();
  if (code == MHD_CONNECTION_NOTIFY_STARTED) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    *context = reinterpret_cast<void*>(guard.Opened(info ? info->connect_fd : -1));
  } else {
    guard.Closed(reinterpret_cast<std::uintptr_t>(*context));
  }
}

void OnCompleted(void* cls, MHD_Connection* connection, void** requestContext, MHD_RequestTerminationCode) {
  delete static_cast<std::string*>(*requestContext);
  *requestContext = nullptr;
  static_cast<HttpServer*>(cls)->Guard().AnswerDone(GuardId(connection));
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

// The headers every stream answer has, with or without its body.
void AddStreamHeaders(MHD_Response* response) {
  // No chunked coding: the stream is the body up to the closing of the connection,
  // which every MJPEG client reads.
  MHD_set_response_options(response, MHD_RF_HTTP_1_0_COMPATIBLE_STRICT, MHD_RO_END);
  const std::string type = std::string("multipart/x-mixed-replace;boundary=") + kBoundary;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type.c_str());
  MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache, no-store, must-revalidate");
  MHD_add_response_header(response, MHD_HTTP_HEADER_PRAGMA, "no-cache");
}

long long AgeMs(const Picture& picture) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - picture.arrived).count();
}

}  // namespace

bool IsLoopback(const std::string& address) {
  in_addr a{};
  if (inet_pton(AF_INET, address.c_str(), &a) == 1) return (ntohl(a.s_addr) >> 24) == 127;
  in6_addr a6{};
  if (inet_pton(AF_INET6, address.c_str(), &a6) != 1) return false;
  return IN6_IS_ADDR_LOOPBACK(&a6) || (IN6_IS_ADDR_V4MAPPED(&a6) && a6.s6_addr[12] == 127);
}

bool BearerMatches(std::string_view value, const std::string& token) {
  constexpr std::string_view kBearer = "Bearer";
  if (value.size() <= kBearer.size() || strncasecmp(value.data(), kBearer.data(), kBearer.size()) != 0 ||
      (value[kBearer.size()] != ' ' && value[kBearer.size()] != '\t'))
    return false;
  value.remove_prefix(kBearer.size());
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  return SameSecret(std::string(value), token);
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
  sockaddr_in6 address6{};
  const sockaddr* where = reinterpret_cast<const sockaddr*>(&address);
  unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_ITC;
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(m_options.port));
  if (inet_pton(AF_INET, m_options.address.c_str(), &address.sin_addr) != 1) {
    address6.sin6_family = AF_INET6;
    address6.sin6_port = address.sin_port;
    if (inet_pton(AF_INET6, m_options.address.c_str(), &address6.sin6_addr) != 1) {
      *error = "not an IP address: " + m_options.address;
      return false;
    }
    where = reinterpret_cast<const sockaddr*>(&address6);
    flags |= MHD_USE_IPv6;
  }
  // Slots: the streams, as many clients still sending their header, and room
  // for short answers (page, status, snapshots) beside them.
  const int waitingSlots = m_options.maxStreams + 16;
  m_guard = std::make_unique<ConnectionGuard>(std::chrono::milliseconds(m_options.headerDeadlineMs), waitingSlots);
  m_daemon = MHD_start_daemon(
      flags, 0, nullptr, nullptr, &OnRequest, this, MHD_OPTION_SOCK_ADDR, where, MHD_OPTION_CONNECTION_LIMIT,
      static_cast<unsigned>(m_options.maxStreams + waitingSlots + 16), MHD_OPTION_PER_IP_CONNECTION_LIMIT,
      static_cast<unsigned>(std::max(0, m_options.maxPerAddress)), MHD_OPTION_CONNECTION_MEMORY_LIMIT,
      kConnectionMemory, MHD_OPTION_CONNECTION_TIMEOUT, kIdleTimeoutS, MHD_OPTION_NOTIFY_CONNECTION, &OnConnection,
      this, MHD_OPTION_NOTIFY_COMPLETED, &OnCompleted, this, MHD_OPTION_END);
  if (!m_daemon) {
    *error = "cannot listen on " + m_options.address + ":" + std::to_string(m_options.port) + ": " +
             std::strerror(errno);
    m_guard.reset();
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
  m_guard.reset();
}

bool HttpServer::Authorized(void* c) const {
  if (m_options.token.empty()) return true;
  auto* connection = static_cast<MHD_Connection*>(c);
  const char* header = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
  if (header && BearerMatches(header, m_options.token)) return true;
  const char* query = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "token");
  return query && SameSecret(query, m_options.token);
}

bool HttpServer::Answer(void* c, const char* url, const char* method, const std::string* body) {
  auto* connection = static_cast<MHD_Connection*>(c);
  m_guard->HeaderDone(GuardId(connection));
  const bool head = std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
  const bool post = std::strcmp(method, MHD_HTTP_METHOD_POST) == 0;
  const std::string_view path(url);
  const bool ptzPath = path.size() > 4 && path.substr(path.size() - 4) == "/ptz";
  if (ptzPath && !post)
    return SendText(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only POST", MHD_HTTP_HEADER_ALLOW, "POST");
  if (!ptzPath && !head && std::strcmp(method, MHD_HTTP_METHOD_GET) != 0)
    return SendText(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET and HEAD", MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
  // Only a PTZ command carries a body, and a short one; others are refused rather than read.
  const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
  if (!post && ((length && std::strcmp(length, "0") != 0) ||
                MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_TRANSFER_ENCODING)))
    return SendText(connection, MHD_HTTP_CONTENT_TOO_LARGE, "Requests carry no body");
  if (post && !body) return SendText(connection, MHD_HTTP_CONTENT_TOO_LARGE, "A PTZ command is at most 4096 bytes");
  if (!Authorized(connection))
    return SendText(connection, MHD_HTTP_UNAUTHORIZED, "A valid token is needed", MHD_HTTP_HEADER_WWW_AUTHENTICATE,
                    "Bearer realm=\"lorventa-bridge\"");

  if (path == "/") {
    const std::string query = m_options.token.empty() ? "" : "?token=" + UrlSegment(m_options.token);
    return Send(connection, MHD_HTTP_OK, m_bridge.PageHtml(query), "text/html; charset=utf-8");
  }
  if (path == "/status") return Send(connection, MHD_HTTP_OK, m_bridge.StatusJson(), "application/json");
  if (path == "/events") return AnswerEvents(connection, {}, -1);

  std::string site, leaf, why = "Not found";
  int channel = 0;
  ChannelFeed* feed = nullptr;
  if (SplitChannelPath(path, &site, &channel, &leaf) &&
      (leaf == "stream.mjpeg" || leaf == "snapshot.jpg" || leaf == "events" || leaf == "ptz"))
    feed = m_bridge.Find(site, channel, &why);
  if (!feed) return SendText(connection, MHD_HTTP_NOT_FOUND, why);
  if (leaf == "events") return AnswerEvents(connection, site, channel - 1);
  if (const std::string refusal = feed->LoginRefusal(); !refusal.empty())
    return SendText(connection, MHD_HTTP_BAD_GATEWAY, refusal);
  if (leaf == "ptz") return AnswerPtz(connection, *feed, site, *body);
  return leaf == "snapshot.jpg" ? AnswerSnapshot(connection, *feed, head) : AnswerStream(connection, *feed, head);
}

bool HttpServer::AnswerEvents(void* c, const std::string& site, int channel) {
  auto* connection = static_cast<MHD_Connection*>(c);
  if (m_streams.fetch_add(1) >= m_options.maxStreams) {
    m_streams.fetch_sub(1);
    return SendText(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "Too many streams", MHD_HTTP_HEADER_RETRY_AFTER, "5");
  }
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  auto stream = std::make_unique<EventStream>(m_bridge.Events(), site, channel, m_stopping, m_streams,
                                              info ? info->connect_fd : -1);
  MHD_Response* response =
      MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, &ReadEvents, stream.get(), &FreeEvents);
  if (!response) return false;
  stream.release();  // the response owns it now
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream; charset=utf-8");
  MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache, no-store");
  MHD_add_response_header(response, "X-Accel-Buffering", "no");
  MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT, 60u);
  return Queue(connection, MHD_HTTP_OK, response) == MHD_YES;
}

// The request is held open while the camera moves and answered once its stop
// is sent; a client that leaves before stops the camera at once.
bool HttpServer::AnswerPtz(void* c, ChannelFeed& feed, const std::string& site, const std::string& body) {
  auto* connection = static_cast<MHD_Connection*>(c);
  std::string error;
  const auto request = ParsePtz(body, kPtzDefaultSeconds, &error);
  if (!request) return SendText(connection, MHD_HTTP_BAD_REQUEST, error);
  const std::string where = "channel " + std::to_string(feed.Channel() + 1);
  if (feed.KnownWithoutPtz()) return SendText(connection, MHD_HTTP_CONFLICT, "No PTZ camera on " + where);
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  const int fd = info ? info->connect_fd : -1;
  auto move = std::make_shared<PtzMove>(*request);
  feed.Ptz(move);
  PtzMove::Outcome outcome = PtzMove::Outcome::Pending;
  while ((outcome = move->Wait(std::chrono::milliseconds(100), &error)) == PtzMove::Outcome::Pending) {
    if (m_stopping.load()) {
      feed.CancelPtz(move);  // the bridge's shutdown sends the stop
      return SendText(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "The bridge is shutting down");
    }
    if (ClientGone(fd)) {
      feed.CancelPtz(move);
      return false;  // nobody to answer: the connection is closed
    }
  }
  switch (outcome) {
    case PtzMove::Outcome::Done:
    case PtzMove::Outcome::Replaced:
      return Send(connection, MHD_HTTP_OK,
                  "{\"site\":" + JsonString(site) + ",\"channel\":" + std::to_string(feed.Channel() + 1) +
                      ",\"move\":" + JsonString(request->move) + ",\"duration\":" + OneDecimal(request->seconds) +
                      ",\"result\":" + (outcome == PtzMove::Outcome::Done ? "\"stopped\"" : "\"replaced\"") + "}\n",
                  "application/json");
    case PtzMove::Outcome::NoPtz: return SendText(connection, MHD_HTTP_CONFLICT, error);
    case PtzMove::Outcome::Cancelled: return false;
    default: return SendText(connection, MHD_HTTP_BAD_GATEWAY, error.empty() ? "The move failed" : error);
  }
}

bool HttpServer::AnswerSnapshot(void* c, ChannelFeed& feed, bool head) {
  auto* connection = static_cast<MHD_Connection*>(c);
  std::shared_ptr<const Picture> picture;
  if (head) {
    // Answered from what is there: a HEAD opens no session.
    picture = feed.WaitNewer(0, std::chrono::milliseconds(0));
    if (!picture) return SendText(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "No picture now: " + feed.Status().text);
  } else {
    const std::uint64_t ends = feed.Ends();
    feed.Subscribe();
    picture = feed.WaitNewer(0, std::chrono::milliseconds(m_bridge.timing().snapshotWaitMs));
    feed.Unsubscribe();
    if (feed.Ends() != ends) return SendText(connection, MHD_HTTP_NOT_FOUND, feed.Status().text);
    if (!picture) {
      const std::string refusal = feed.LoginRefusal();
      return refusal.empty() ? SendText(connection, MHD_HTTP_GATEWAY_TIMEOUT, "No picture from the DVR in time")
                             : SendText(connection, MHD_HTTP_BAD_GATEWAY, refusal);
    }
  }
  const char* stale = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "stale");
  if (AgeMs(*picture) > m_bridge.timing().staleMs && !(stale && std::strcmp(stale, "1") == 0))
    return SendText(connection, MHD_HTTP_SERVICE_UNAVAILABLE,
                    "The newest picture is " + OneDecimal(static_cast<double>(AgeMs(*picture)) / 1000.0) +
                        " s old (" + feed.Status().text + "); ?stale=1 takes it all the same",
                    MHD_HTTP_HEADER_RETRY_AFTER, "5");
  auto* keep = new std::shared_ptr<const Picture>(picture);
  MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
      picture->size(), const_cast<std::uint8_t*>(picture->data()), &FreePicture, keep);
  if (!response) {
    delete keep;
    return false;
  }
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "image/jpeg");
  MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
  MHD_add_response_header(response, MHD_HTTP_HEADER_LAST_MODIFIED, HttpDate(picture->wallArrived).c_str());
  MHD_add_response_header(response, "X-Timestamp", TimestampText(picture->wallArrived).c_str());
  return Queue(connection, MHD_HTTP_OK, response) == MHD_YES;
}

bool HttpServer::AnswerStream(void* c, ChannelFeed& feed, bool head) {
  auto* connection = static_cast<MHD_Connection*>(c);
  if (head) {
    // What a GET would start with, without opening a session.
    MHD_Response* response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 1024, &ReadNothing, nullptr, nullptr);
    if (!response) return false;
    AddStreamHeaders(response);
    return Queue(connection, MHD_HTTP_OK, response) == MHD_YES;
  }
  // Counts streams being served, not connections still on their way in, so
  // a burst fills every stream slot before anyone is turned away.
  if (m_streams.fetch_add(1) >= m_options.maxStreams) {
    m_streams.fetch_sub(1);
    return SendText(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "Too many streams", MHD_HTTP_HEADER_RETRY_AFTER, "5");
  }
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  const int fd = info ? info->connect_fd : -1;
  if (fd >= 0) KeepUnsentSmall(fd);
  auto stream = std::make_unique<MjpegStream>(feed, m_stopping, m_streams, connection, fd);
  MHD_Response* response =
      MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, kStreamBlock, &ReadStream, stream.get(), &FreeStream);
  if (!response) return false;
  stream.release();  // the response owns it now
  AddStreamHeaders(response);
  MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT, 60u);
  return Queue(connection, MHD_HTTP_OK, response) == MHD_YES;
}

}  // namespace lvbridge
