// The codec on arbitrary bytes. The first byte picks the path: decode a
// received message (header classification included) or build a request from
// fuzzed parameters.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "protocol/protocol.h"
#include "protocol/text.h"

using namespace lv;

namespace {

bool IsControlId(std::uint32_t id) {
  switch (id) {
    case PID_XAV_RES_HEARTBEAT: case PID_XAV_RES_HW_INFO: case PID_XAV_RES_OS_INFO: case PID_XAV_RES_PROTO_VER:
    case PID_XAV_RES_LOGIN: case PID_XAV_RES_010002: case PID_XAV_RES_CH_OPEN: case PID_XAV_RES_CH_CLOSE:
    case PID_XAV_RES_010105: case PID_XAV_RES_CONTROL_PTZ:
      return true;
    default:
      return false;
  }
}

void DecodeMessage(const std::uint8_t* data, std::size_t size) {
  const auto length = static_cast<std::uint32_t>(size);
  CDvrProtocol codec;
  DecodeResult r;
  const std::uint32_t result = codec.Decode(data, length, r);
  FUZZ_CHECK(r.message == data && r.length == length);
  if (size < kHeaderSize) {
    FUZZ_CHECK(result == 0 && r.slot == Slot::None && r.video == 0);
    return;
  }
  PacketHeader h;
  const HeaderKind kind = ClassifyHeader(data, &h);
  FUZZ_CHECK(h.id == GetU32(data) && h.result == GetU32(data + 4) && h.bodyLength == GetU32(data + 8));
  FUZZ_CHECK(kind == (h.id == PID_XAV_RES_VIDEO ? HeaderKind::Video
                      : IsControlId(h.id)       ? HeaderKind::Control
                                                : HeaderKind::NotHeader));
  FUZZ_CHECK(result == h.result && r.id == h.id);

  // A kind's value is read only from a body of exactly its size, wholly there
  // (bytes after the stated body belong to no message).
  const bool exact = [&](std::uint32_t want) { return h.bodyLength == want && length - kHeaderSize >= want; }(
      r.slotSize);
  switch (h.id) {
    case PID_XAV_RES_HW_INFO:
      if (!exact) FUZZ_CHECK(codec.hwInfo[0] == 0 && codec.hwInfo[1] == 0);
      else FUZZ_CHECK(std::memcmp(codec.hwInfo.data(), data + 12, 2) == 0);
      break;
    case PID_XAV_RES_LOGIN:
      if (!exact) FUZZ_CHECK(codec.login[0] == 0xFFFFFFFFu && codec.login[1] == 0 && codec.login[3] == 0xFFFFFFFFu);
      else FUZZ_CHECK(codec.login[5] == GetU32(data + 32));
      break;
    case PID_XAV_RES_CH_OPEN:
      FUZZ_CHECK(codec.channelOpen[0] == (exact ? data[12] : 0));
      break;
    case PID_XAV_RES_CH_CLOSE:
      FUZZ_CHECK(codec.channelClose[0] == (exact ? data[12] : 0));
      break;
    case PID_XAV_RES_VIDEO: {
      FUZZ_CHECK(r.slot == Slot::Video);
      const VideoFrameInfo& v = codec.video;
      if (r.video == 1) {
        // The picture lies wholly inside both the message and its stated body.
        FUZZ_CHECK(v.data == data + kVideoPictureOffset);
        FUZZ_CHECK(std::uint64_t{kVideoPictureOffset} + v.size <= size);
        FUZZ_CHECK(std::uint64_t{kVideoHeaderSize} + v.size <= h.bodyLength);
        FUZZ_CHECK(v.channel == data[12] && v.width == GetU16(data + 14) && v.size == GetU32(data + 26));
      } else {
        FUZZ_CHECK(v.data == nullptr);
      }
      break;
    }
    default:
      FUZZ_CHECK(r.video == 0);
      break;
  }
  // A second decode of the same bytes gives the same answer.
  DecodeResult again;
  FUZZ_CHECK(codec.Decode(data, length, again) == result && again.slot == r.slot && again.video == r.video);
}

std::u16string TextFrom(const std::uint8_t* data, std::size_t bytes) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes; i += 2)
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  return text;
}

void BuildRequest(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return;
  const std::uint32_t id = GetU32(data);
  const std::uint8_t which = data[4] % 7;
  const std::uint8_t split = data[5];
  data += 6;
  size -= 6;
  RequestParams params;
  auto byteAt = [&](std::size_t i) -> std::uint8_t { return i < size ? data[i] : 0; };
  auto wordAt = [&](std::size_t i) -> std::uint32_t {
    return (std::uint32_t{byteAt(i)} << 24) | (std::uint32_t{byteAt(i + 1)} << 16) | (byteAt(i + 2) << 8) | byteAt(i + 3);
  };
  std::size_t body = 0;  // the body length the layout gives, when it is known
  switch (which) {
    case 0: params = std::monostate{}; break;
    case 1: {
      const std::size_t cut = std::min<std::size_t>(size, split * 4u) & ~std::size_t{1};
      LoginParams lp{TextFrom(data, cut), TextFrom(data + cut, size - cut), byteAt(0)};
      body = lp.user.size() + lp.password.size() + 5;
      params = lp;
      break;
    }
    case 2: params = ChannelOpenParams{byteAt(0), byteAt(1), byteAt(2), wordAt(3), wordAt(7)}; body = 11; break;
    case 3: params = ByteParams{byteAt(0)}; body = 1; break;
    case 4: params = TwoByteParams{byteAt(0), byteAt(1)}; body = 2; break;
    case 5: params = ByteWordParams{byteAt(0), wordAt(1)}; body = 5; break;
    default: params = ByteTwoWordParams{byteAt(0), wordAt(1), wordAt(5)}; body = 9; break;
  }
  const Message m = CDvrProtocol::BuildRequest(id, params);
  if (!m) return;
  FUZZ_CHECK(m.length >= kHeaderSize && GetU32(m.data.get()) == id && GetU32(m.data.get() + 4) == 0);
  FUZZ_CHECK(GetU32(m.data.get() + 8) == m.length - kHeaderSize);
  if (which == 0) FUZZ_CHECK(m.length == kHeaderSize);
  else FUZZ_CHECK(m.length == kHeaderSize + body);
  if (const auto* lp = std::get_if<LoginParams>(&params)) {
    // Each text goes out as its length and its code-page bytes (a text cannot
    // hold a zero character: the store and the form never give one).
    const std::string user = ToAnsi(lp->user.substr(0, lp->user.find(u'\0')));
    FUZZ_CHECK(GetU16(m.data.get() + 12) == lp->user.size());
    FUZZ_CHECK(std::memcmp(m.data.get() + 14, user.data(), user.size()) == 0);
    FUZZ_CHECK(m.data[m.length - 1] == lp->flag);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  if (data[0] & 1) BuildRequest(data + 1, size - 1);
  else DecodeMessage(data + 1, size - 1);
  return 0;
}
