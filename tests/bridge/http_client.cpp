#include "http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>
#include <utility>

namespace lvbridgetest {

HttpConnection::HttpConnection(int port, int rcvbuf, const char* from) {
  m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (rcvbuf > 0) setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  if (from && inet_pton(AF_INET, from, &a.sin_addr) == 1) bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(m_fd);
    m_fd = -1;
  }
}

HttpConnection::~HttpConnection() {
  if (m_fd >= 0) close(m_fd);
}

bool HttpConnection::Send(const std::string& bytes) {
  std::size_t sent = 0;
  while (m_fd >= 0 && sent < bytes.size()) {
    const ssize_t n = send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return m_fd >= 0;
}

bool HttpConnection::Get(const std::string& target, const std::string& extraHeaders) {
  return Send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + extraHeaders + "\r\n");
}

bool HttpConnection::Fill(int timeoutMs) {
  if (m_fd < 0) return false;
  pollfd p{m_fd, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return false;
  char chunk[65536];
  // Paced: a twentieth of a second's worth, then the rest of that twentieth.
  const std::size_t most = m_pace > 0 ? static_cast<std::size_t>(m_pace / 20) : sizeof chunk;
  if (m_pace > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const ssize_t n = recv(m_fd, chunk, std::min(most, sizeof chunk), 0);
  if (n <= 0) m_closed = true;
  if (n <= 0) return false;
  m_buffer.append(chunk, static_cast<std::size_t>(n));
  return true;
}

bool HttpConnection::PeerClosed() {
  if (m_fd < 0 || m_closed) return true;
  pollfd p{m_fd, POLLIN | POLLRDHUP, 0};
  char c;
  if (poll(&p, 1, 0) > 0 && recv(m_fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) <= 0) m_closed = true;
  return m_closed;
}

bool HttpConnection::ReadLine(std::string* line, int timeoutMs) {
  std::size_t end;
  while ((end = m_buffer.find("\r\n")) == std::string::npos)
    if (!Fill(timeoutMs)) return false;
  *line = m_buffer.substr(0, end);
  m_buffer.erase(0, end + 2);
  return true;
}

bool HttpConnection::ReadExact(std::size_t n, std::string* out, int timeoutMs) {
  while (m_buffer.size() < n)
    if (!Fill(timeoutMs)) return false;
  *out = m_buffer.substr(0, n);
  m_buffer.erase(0, n);
  return true;
}


bool HttpConnection::ReadHeaders(std::map<std::string, std::string>* headers, int timeoutMs) {
  std::string line;
  while (ReadLine(&line, timeoutMs)) {
    if (line.empty()) return true;
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) return false;
    std::string name = line.substr(0, colon);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    (*headers)[name] = line.substr(std::min(line.size(), line.find_first_not_of(' ', colon + 1)));
  }
  return false;
}

bool HttpConnection::ReadHead(Response* r, int timeoutMs) {
  std::string line;
  if (!ReadLine(&line, timeoutMs) || line.rfind("HTTP/1.", 0) != 0 || line.size() < 12) return false;
  r->status = std::stoi(line.substr(9, 3));
  return ReadHeaders(&r->headers, timeoutMs);
}

std::string HttpConnection::ReadToClose(int timeoutMs) {
  while (Fill(timeoutMs)) {
  }
  return std::exchange(m_buffer, {});
}

bool HttpConnection::ReadPart(const std::string& boundary, std::map<std::string, std::string>* headers,
                              std::string* body, std::string* problem, int timeoutMs) {
  std::string line;
  if (!ReadLine(&line, timeoutMs)) return (*problem = "no boundary line"), false;
  if (line != "--" + boundary) return (*problem = "boundary line was '" + line + "'"), false;
  headers->clear();
  if (!ReadHeaders(headers, timeoutMs)) return (*problem = "part headers cut or malformed"), false;
  const auto length = headers->find("content-length");
  if (length == headers->end()) return (*problem = "part without Content-Length"), false;
  std::string tail;
  if (!ReadExact(std::stoul(length->second), body, timeoutMs) || !ReadExact(2, &tail, timeoutMs))
    return (*problem = "part body cut"), false;
  if (tail != "\r\n") return (*problem = "part body not followed by CRLF"), false;
  return true;
}

Response Fetch(int port, const std::string& target, const std::string& extraHeaders) {
  HttpConnection c(port);
  Response r;
  if (!c.Get(target, extraHeaders) || !c.ReadHead(&r)) return Response{};
  r.body = c.ReadToClose();
  return r;
}

}  // namespace lvbridgetest
