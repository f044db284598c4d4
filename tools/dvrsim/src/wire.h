// Big-endian framing of the DVR messages, kept apart from the client's codec
// on purpose: the simulator frames its own bytes so that a fault in the
// client's encoder or decoder shows up in end-to-end tests instead of being
// mirrored here.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace dvrsim::wire {

inline constexpr size_t kHeaderSize = 12;
inline constexpr size_t kVideoHeaderSize = 29;

// Requests the DVR understands.
inline constexpr uint32_t kReqHwInfo = 0x0B000001;
inline constexpr uint32_t kReqOsInfo = 0x0B000002;
inline constexpr uint32_t kReqProtoVer = 0x0B000003;
inline constexpr uint32_t kReqLogin = 0x0B010001;
inline constexpr uint32_t kReqChOpen = 0x0B010003;
inline constexpr uint32_t kReqChClose = 0x0B010004;
inline constexpr uint32_t kReq010105 = 0x0B010105;
inline constexpr uint32_t kReqControlPtz = 0x0B030001;

// Responses and unasked messages.
inline constexpr uint32_t kResHeartbeat = 0xAB000000;
inline constexpr uint32_t kResHwInfo = 0xAB000001;
inline constexpr uint32_t kResOsInfo = 0xAB000002;
inline constexpr uint32_t kResProtoVer = 0xAB000003;
inline constexpr uint32_t kResLogin = 0xAB010001;
inline constexpr uint32_t kRes010002 = 0xAB010002;
inline constexpr uint32_t kResChOpen = 0xAB010003;
inline constexpr uint32_t kResChClose = 0xAB010004;
inline constexpr uint32_t kRes010105 = 0xAB010105;
inline constexpr uint32_t kResVideo = 0xAB020001;
inline constexpr uint32_t kResControlPtz = 0xAB030001;

inline constexpr uint32_t kResultOk = 1;
inline constexpr uint32_t kResultAccountRejected = 0xF0010000;
inline constexpr uint32_t kResultNoPermission = 0xF0020000;
inline constexpr uint32_t kResultNoCamera = 0xF0030000;

// A body length no request of this protocol comes near; a header claiming more
// is treated as a broken stream.
inline constexpr uint32_t kMaxRequestBody = 4096;

inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
inline uint16_t GetU16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint32_t GetU32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

inline void PutHeader(uint8_t* p, uint32_t id, uint32_t result, uint32_t bodyLength) {
  PutU32(p, id);
  PutU32(p + 4, result);
  PutU32(p + 8, bodyLength);
}

// A whole message: header plus body.
inline std::vector<uint8_t> Message(uint32_t id, uint32_t result, const std::vector<uint8_t>& body = {}) {
  std::vector<uint8_t> m(kHeaderSize + body.size());
  PutHeader(m.data(), id, result, static_cast<uint32_t>(body.size()));
  std::copy(body.begin(), body.end(), m.begin() + kHeaderSize);
  return m;
}

// Name of a request id for the log, or an empty view for an unknown id.
inline std::string_view RequestName(uint32_t id) {
  switch (id) {
    case kReqHwInfo: return "HW_INFO";
    case kReqOsInfo: return "OS_INFO";
    case kReqProtoVer: return "PROTO_VER";
    case kReqLogin: return "LOGIN";
    case kReqChOpen: return "CH_OPEN";
    case kReqChClose: return "CH_CLOSE";
    case kReq010105: return "010105";
    case kReqControlPtz: return "CONTROL_PTZ";
    default: return {};
  }
}

}  // namespace dvrsim::wire
