#pragma once
// The DVR wire format: 12-byte big-endian header, request encoder, header
// classification and response decoder with its last-reply slots. Pure data
// handling: no sockets, threads or windows.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "protocol/ids.h"

namespace lv {

constexpr std::uint32_t kHeaderSize = 12;
constexpr std::uint32_t kVideoHeaderSize = 29;   // frame header inside a video body
constexpr std::uint32_t kVideoPictureOffset = kHeaderSize + kVideoHeaderSize;  // 41

struct PacketHeader {
  std::uint32_t id = 0;
  std::uint32_t result = 0;
  std::uint32_t bodyLength = 0;
};

// Big-endian helpers.
inline std::uint16_t GetU16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
inline std::uint32_t GetU32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
inline void PutU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

// A whole message (header and body) in one owned heap block.
struct Message {
  std::unique_ptr<std::uint8_t[]> data;
  std::uint32_t length = 0;
  explicit operator bool() const { return data != nullptr; }
};

// Parameter records of the requests that have a body.
struct LoginParams {
  std::u16string user;
  std::u16string password;
  std::uint8_t flag = 1;
};
struct ChannelOpenParams {
  std::uint8_t channel = 0;
  std::uint8_t b1 = 1;
  std::uint8_t b2 = 0;
  std::uint32_t w1 = 0;
  std::uint32_t w2 = 0;
};
struct ByteParams { std::uint8_t v = 0; };                       // CH_CLOSE, 010104
struct TwoByteParams { std::uint8_t a = 0; std::uint8_t b = 0; };  // 010105, CONTROL_PTZ, 030002
struct ByteWordParams { std::uint8_t v = 0; std::uint32_t w = 0; };  // 010101, 010102
struct ByteTwoWordParams { std::uint8_t v = 0; std::uint32_t w1 = 0; std::uint32_t w2 = 0; };  // 010103

using RequestParams = std::variant<std::monostate, LoginParams, ChannelOpenParams, ByteParams, TwoByteParams,
                                   ByteWordParams, ByteTwoWordParams>;

// The descriptor of one video message; borrows the message buffer.
struct VideoFrameInfo {
  std::uint8_t channel = 0;
  std::uint8_t attribute = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint32_t date = 0;
  std::uint32_t time = 0;
  std::uint32_t size = 0;
  const std::uint8_t* data = nullptr;  // picture data at message offset 41, or null
};

// Which last-reply slot a decode wrote.
enum class Slot : std::uint8_t {
  None, HwInfo, OsVersion, ProtoVersion, Login, ChannelOpen, ChannelClose,
  Res010101, Res010102, Res010103, Res010104, Res010105, Video, Res020002
};

struct DecodeResult {
  const std::uint8_t* message = nullptr;
  std::uint32_t length = 0;
  std::uint32_t id = 0;
  Slot slot = Slot::None;
  std::uint32_t slotSize = 0;
  int video = 0;  // 1 only for a video message that carries a whole picture
};

enum class HeaderKind { NotHeader, Control, Video };

// Sorts the 12 bytes at p by their id; fills header when given.
HeaderKind ClassifyHeader(const std::uint8_t* p, PacketHeader* header = nullptr);

// Request encoder and response decoder; one per connection.
class CDvrProtocol {
 public:
  // Without parameters: the 12-byte header-only message for any id. With
  // parameters: the message laid out for the id; empty if the id has no body
  // layout or the parameters do not fit it.
  static Message BuildRequest(std::uint32_t id, const RequestParams& params = std::monostate{});

  // Decodes one whole message of length bytes. Never reads past length.
  // Fills result and the id's last-reply slot; returns the header's result word.
  std::uint32_t Decode(const std::uint8_t* message, std::uint32_t length, DecodeResult& result);

  // Last-reply slots, zero until a reply of their kind arrives.
  std::array<std::uint8_t, 2> hwInfo{};
  std::array<std::uint8_t, 4> osVersion{};
  std::array<std::uint8_t, 4> protoVersion{};
  std::array<std::uint32_t, 6> login{};
  std::array<std::uint8_t, 3> channelOpen{};
  std::array<std::uint8_t, 1> channelClose{};
  std::uint8_t res010101Byte = 0;
  std::uint32_t res010101Word = 0;
  std::uint8_t res010102Byte = 0;
  std::array<std::uint8_t, 1440> res010102Data{};
  std::uint8_t res010103 = 0;
  std::uint8_t res010104 = 0;
  std::array<std::uint8_t, 2> res010105{};
  VideoFrameInfo video{};
  std::uint8_t res020002 = 0;
};

// Version digits d0..d3 to the number d0*1000 + d1*100 + d2*10 + d3.
inline int VersionNumber(const std::uint8_t d[4]) { return d[0] * 1000 + d[1] * 100 + d[2] * 10 + d[3]; }

}  // namespace lv
