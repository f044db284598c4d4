// A small blocking client for the simulator tests. It frames messages itself
// (big-endian, 12-byte header) and gives up reading after five seconds, so a
// silent simulator fails a test instead of hanging it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dvrsim_test {

inline constexpr uint32_t kReqHwInfo = 0x0B000001, kReqOsInfo = 0x0B000002, kReqProtoVer = 0x0B000003,
                          kReqLogin = 0x0B010001, kReqChOpen = 0x0B010003, kReqChClose = 0x0B010004,
                          kReq010105 = 0x0B010105, kReqPtz = 0x0B030001;
inline constexpr uint32_t kResHeartbeat = 0xAB000000, kResHwInfo = 0xAB000001, kResOsInfo = 0xAB000002,
                          kResProtoVer = 0xAB000003, kResLogin = 0xAB010001, kRes010002 = 0xAB010002,
                          kResChOpen = 0xAB010003, kResChClose = 0xAB010004, kRes010105 = 0xAB010105,
                          kResVideo = 0xAB020001, kResPtz = 0xAB030001;

uint32_t U32(const std::vector<uint8_t>& b, size_t at);
uint16_t U16(const std::vector<uint8_t>& b, size_t at);
std::vector<uint8_t> Frame(uint32_t id, const std::vector<uint8_t>& body = {});
std::vector<uint8_t> LoginBody(const std::string& user, const std::string& password, uint8_t flag = 1);
std::vector<uint8_t> OpenBody(uint8_t channel);

struct Msg {
  uint32_t id = 0, result = 0;
  std::vector<uint8_t> body;
};

class Client {
 public:
  explicit Client(uint16_t port, int timeoutMs = 5000);
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool connected() const { return fd_ >= 0; }
  void Send(uint32_t id, const std::vector<uint8_t>& body = {});
  void SendBytes(const std::vector<uint8_t>& bytes);
  // Sends HW_INFO, OS_INFO, PROTO_VER and LOGIN and reads the four replies;
  // returns the login reply.
  Msg LoginSequence(const std::string& user = "admin", const std::string& password = "1234");

  // The next whole message, or nothing at end of stream or timeout.
  std::optional<Msg> Read();
  // The next message with this id; the ones before it go to *skipped.
  std::optional<Msg> ReadUntil(uint32_t id, std::vector<Msg>* skipped = nullptr);
  bool ReadExact(size_t n, std::vector<uint8_t>* out);
  // True when the peer closed the stream (after any bytes still buffered).
  bool SeesEndOfStream();

 private:
  bool Fill(size_t n);
  int fd_ = -1;
  std::vector<uint8_t> buf_;
  bool eof_ = false;
};

}  // namespace dvrsim_test
