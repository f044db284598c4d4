#pragma once
// A small HTTP client over a loopback socket, enough to read the bridge's
// answers and its multipart streams byte by byte.
#include <map>
#include <string>

namespace lvbridgetest {

struct Response {
  int status = 0;  // 0: no answer
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

class HttpConnection {
 public:
  // rcvbuf > 0 shrinks the socket's receive buffer before connecting; from
  // (an address of 127.0.0.0/8) is the client's address.
  explicit HttpConnection(int port, int rcvbuf = 0, const char* from = nullptr);
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  bool Send(const std::string& bytes);
  // Sends "GET target" with extra header lines (each ending "\r\n").
  bool Get(const std::string& target, const std::string& extraHeaders = "");
  // Reads the status line and headers; false on timeout or close.
  bool ReadHead(Response* response, int timeoutMs = 5000);
  // Reads the rest of the answer until the server closes.
  std::string ReadToClose(int timeoutMs = 5000);
  // One multipart part of a stream: its header lines and its body, checking
  // the boundary line and the "\r\n" after the body. False (with *problem
  // set) on a malformed part, timeout or close.
  bool ReadPart(const std::string& boundary, std::map<std::string, std::string>* headers, std::string* body,
                std::string* problem, int timeoutMs = 5000);
  // Exactly n bytes; false on timeout or close.
  bool ReadExact(std::size_t n, std::string* out, int timeoutMs);
  int Fd() const { return m_fd; }
  // True once the server closed or reset the connection.
  bool PeerClosed();
  // From now on reads at most bytesPerSecond.
  void Pace(int bytesPerSecond) { m_pace = bytesPerSecond; }

 private:
  bool Fill(int timeoutMs);
  bool ReadLine(std::string* line, int timeoutMs);
  bool ReadHeaders(std::map<std::string, std::string>* headers, int timeoutMs);
  int m_fd = -1;
  int m_pace = 0;
  bool m_closed = false;
  std::string m_buffer;
};

// A whole request on a connection of its own.
Response Fetch(int port, const std::string& target, const std::string& extraHeaders = "");

}  // namespace lvbridgetest
