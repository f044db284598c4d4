#include "test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace dvrsim_test {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t{b.at(at)} << 24) | (uint32_t{b.at(at + 1)} << 16) | (uint32_t{b.at(at + 2)} << 8) | b.at(at + 3);
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>((b.at(at) << 8) | b.at(at + 1));
}

std::vector<uint8_t> Frame(uint32_t id, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> m;
  for (uint32_t v : {id, 0u, static_cast<uint32_t>(body.size())})
    for (int s = 24; s >= 0; s -= 8) m.push_back(static_cast<uint8_t>(v >> s));
  m.insert(m.end(), body.begin(), body.end());
  return m;
}

std::vector<uint8_t> LoginBody(const std::string& user, const std::string& password, uint8_t flag) {
  std::vector<uint8_t> b;
  for (const std::string* t : {&user, &password}) {
    b.push_back(static_cast<uint8_t>(t->size() >> 8));
    b.push_back(static_cast<uint8_t>(t->size()));
    b.insert(b.end(), t->begin(), t->end());
  }
  b.push_back(flag);
  return b;
}

std::vector<uint8_t> OpenBody(uint8_t channel) { return {channel, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}; }

Client::Client(uint16_t port, int timeoutMs) {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

Client::~Client() {
  if (fd_ >= 0) ::close(fd_);
}

void Client::SendBytes(const std::vector<uint8_t>& bytes) {
  size_t off = 0;
  while (fd_ >= 0 && off < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return;
    off += static_cast<size_t>(n);
  }
}

void Client::Send(uint32_t id, const std::vector<uint8_t>& body) { SendBytes(Frame(id, body)); }

Msg Client::LoginSequence(const std::string& user, const std::string& password) {
  Send(kReqHwInfo);
  Send(kReqOsInfo);
  Send(kReqProtoVer);
  Send(kReqLogin, LoginBody(user, password));
  for (uint32_t id : {kResHwInfo, kResOsInfo, kResProtoVer})
    if (!ReadUntil(id)) return {};
  return ReadUntil(kResLogin).value_or(Msg{});
}

bool Client::Fill(size_t n) {
  uint8_t tmp[65536];
  while (buf_.size() < n) {
    const ssize_t got = fd_ >= 0 ? ::recv(fd_, tmp, sizeof tmp, 0) : -1;
    if (got <= 0) {
      if (got == 0) eof_ = true;
      return false;
    }
    buf_.insert(buf_.end(), tmp, tmp + got);
  }
  return true;
}

bool Client::ReadExact(size_t n, std::vector<uint8_t>* out) {
  if (!Fill(n)) return false;
  out->assign(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(n));
  buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(n));
  return true;
}

std::optional<Msg> Client::Read() {
  std::vector<uint8_t> h;
  if (!Fill(12)) return std::nullopt;
  const uint32_t length = U32(buf_, 8);
  if (length > (64u << 20) || !Fill(12 + length)) return std::nullopt;
  ReadExact(12, &h);
  Msg m{U32(h, 0), U32(h, 4), {}};
  ReadExact(length, &m.body);
  return m;
}

std::optional<Msg> Client::ReadUntil(uint32_t id, std::vector<Msg>* skipped) {
  for (;;) {
    std::optional<Msg> m = Read();
    if (!m || m->id == id) return m;
    if (skipped) skipped->push_back(std::move(*m));
  }
}

bool Client::SeesEndOfStream() {
  while (Fill(buf_.size() + 1)) {
  }
  return eof_;
}

}  // namespace dvrsim_test
