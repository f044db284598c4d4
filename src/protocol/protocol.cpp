#include "protocol/protocol.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "protocol/debug_hook.h"
#include "protocol/text.h"

namespace lv {
namespace {

std::atomic<ProtocolDebugHook> g_debugHook{nullptr};

Message Allocate(std::uint32_t id, std::uint32_t bodyLength) {
  Message m;
  m.length = kHeaderSize + bodyLength;
  m.data = std::make_unique<std::uint8_t[]>(m.length);  // zero-filled
  PutU32(m.data.get(), id);
  PutU32(m.data.get() + 4, 0);
  PutU32(m.data.get() + 8, bodyLength);
  return m;
}

// Writes a login text as its character count and that many code-page bytes.
// Returns the position after it.
std::uint8_t* PutLoginText(std::uint8_t* p, const std::u16string& text) {
  const auto n = static_cast<int>(text.size());
  PutU16(p, static_cast<std::uint16_t>(n));
  p += 2;
  char scratch[256 + 1];
  WideToAnsi(text.c_str(), scratch, n);
  std::memcpy(p, scratch, static_cast<size_t>(n));
  return p + n;
}

Message BuildLogin(const LoginParams& lp) {
  // Each text goes through a 256-byte scratch: longer texts cannot be sent.
  if (lp.user.size() >= 256 || lp.password.size() >= 256) return {};
  const auto n1 = static_cast<std::uint32_t>(lp.user.size());
  const auto n2 = static_cast<std::uint32_t>(lp.password.size());
  Message m = Allocate(PID_XAV_REQ_LOGIN, n1 + n2 + 5);
  std::uint8_t* p = m.data.get() + kHeaderSize;
  p = PutLoginText(p, lp.user);
  p = PutLoginText(p, lp.password);
  *p = lp.flag;
  return m;
}

}  // namespace

void SetProtocolDebugHook(ProtocolDebugHook hook) { g_debugHook.store(hook, std::memory_order_release); }

void ProtocolDebug(const std::string& line) {
  if (auto hook = g_debugHook.load(std::memory_order_acquire)) hook(line);
}

HeaderKind ClassifyHeader(const std::uint8_t* p, PacketHeader* header) {
  const std::uint32_t id = GetU32(p);
  if (header) *header = PacketHeader{id, GetU32(p + 4), GetU32(p + 8)};
  switch (id) {
    case PID_XAV_RES_HEARTBEAT:
    case PID_XAV_RES_HW_INFO:
    case PID_XAV_RES_OS_INFO:
    case PID_XAV_RES_PROTO_VER:
    case PID_XAV_RES_LOGIN:
    case PID_XAV_RES_010002:
    case PID_XAV_RES_CH_OPEN:
    case PID_XAV_RES_CH_CLOSE:
    case PID_XAV_RES_010105:
    case PID_XAV_RES_CONTROL_PTZ:
      return HeaderKind::Control;
    case PID_XAV_RES_VIDEO:
      return HeaderKind::Video;
    default:
      return HeaderKind::NotHeader;
  }
}

Message CDvrProtocol::BuildRequest(std::uint32_t id, const RequestParams& params) {
  if (std::holds_alternative<std::monostate>(params)) return Allocate(id, 0);

  switch (id) {
    case PID_XAV_REQ_LOGIN:
      if (auto* lp = std::get_if<LoginParams>(&params)) return BuildLogin(*lp);
      break;
    case PID_XAV_REQ_CH_OPEN:
      if (auto* cp = std::get_if<ChannelOpenParams>(&params)) {
        Message m = Allocate(id, 11);
        std::uint8_t* b = m.data.get() + kHeaderSize;
        b[0] = cp->channel;
        b[1] = cp->b1;
        b[2] = cp->b2;
        PutU32(b + 3, cp->w1);
        PutU32(b + 7, cp->w2);
        return m;
      }
      break;
    case PID_XAV_REQ_CH_CLOSE:
    case PID_XAV_REQ_010104:
      if (auto* bp = std::get_if<ByteParams>(&params)) {
        Message m = Allocate(id, 1);
        m.data[kHeaderSize] = bp->v;
        return m;
      }
      break;
    case PID_XAV_REQ_010105:
    case PID_XAV_REQ_CONTROL_PTZ:
    case PID_XAV_REQ_030002:
      if (auto* tp = std::get_if<TwoByteParams>(&params)) {
        if (id == PID_XAV_REQ_CONTROL_PTZ) ProtocolDebug("[CMD] PID_XAV_REQ_CONTROL_PTZ \r\n");
        Message m = Allocate(id, 2);
        m.data[kHeaderSize] = tp->a;
        m.data[kHeaderSize + 1] = tp->b;
        return m;
      }
      break;
    case PID_XAV_REQ_010101:
    case PID_XAV_REQ_010102:
      if (auto* wp = std::get_if<ByteWordParams>(&params)) {
        Message m = Allocate(id, 5);
        m.data[kHeaderSize] = wp->v;
        PutU32(m.data.get() + kHeaderSize + 1, wp->w);
        return m;
      }
      break;
    case PID_XAV_REQ_010103:
      if (auto* wp = std::get_if<ByteTwoWordParams>(&params)) {
        Message m = Allocate(id, 9);
        m.data[kHeaderSize] = wp->v;
        PutU32(m.data.get() + kHeaderSize + 1, wp->w1);
        PutU32(m.data.get() + kHeaderSize + 5, wp->w2);
        return m;
      }
      break;
    default:
      break;
  }
  return {};
}

std::uint32_t CDvrProtocol::Decode(const std::uint8_t* message, std::uint32_t length, DecodeResult& r) {
  r = DecodeResult{};
  r.message = message;
  r.length = length;
  if (message == nullptr || length < kHeaderSize) return 0;

  PacketHeader h;
  ClassifyHeader(message, &h);
  r.id = h.id;
  const std::uint8_t* body = message + kHeaderSize;
  // The body as far as it is really there; a header may claim more.
  const std::uint32_t available = std::min(h.bodyLength, length - kHeaderSize);
  // A reply carries its kind's value only when its length is exactly right.
  auto exact = [&](std::uint32_t size) { return h.bodyLength == size && available == size; };
  auto wrote = [&](Slot s, std::uint32_t size) {
    r.slot = s;
    r.slotSize = size;
  };

  switch (h.id) {
    case PID_XAV_RES_HW_INFO:
      if (exact(2)) std::copy_n(body, 2, hwInfo.begin()); else hwInfo.fill(0);
      wrote(Slot::HwInfo, 2);
      break;
    case PID_XAV_RES_OS_INFO:
      if (exact(4)) std::copy_n(body, 4, osVersion.begin()); else osVersion.fill(0);
      wrote(Slot::OsVersion, 4);
      break;
    case PID_XAV_RES_PROTO_VER:
      if (exact(4)) std::copy_n(body, 4, protoVersion.begin()); else protoVersion.fill(0);
      wrote(Slot::ProtoVersion, 4);
      break;
    case PID_XAV_RES_LOGIN:
      if (exact(24)) {
        for (int i = 0; i < 6; ++i) login[i] = GetU32(body + 4 * i);
      } else {
        login = {0xFFFFFFFFu, 0, 0, 0xFFFFFFFFu, 0, 0};
      }
      wrote(Slot::Login, 24);
      break;
    case PID_XAV_RES_CH_OPEN:
      if (exact(3)) std::copy_n(body, 3, channelOpen.begin()); else channelOpen.fill(0);
      wrote(Slot::ChannelOpen, 3);
      break;
    case PID_XAV_RES_CH_CLOSE:
      channelClose[0] = exact(1) ? body[0] : 0;
      wrote(Slot::ChannelClose, 1);
      break;
    case PID_XAV_RES_010105:
      if (exact(2)) std::copy_n(body, 2, res010105.begin()); else res010105.fill(0);
      wrote(Slot::Res010105, 2);
      break;
    case PID_XAV_RES_010101:
      res010101Byte = exact(5) ? body[0] : 0;
      res010101Word = exact(5) ? GetU32(body + 1) : 0;
      wrote(Slot::Res010101, 5);
      break;
    case PID_XAV_RES_010102:
      if (exact(1441)) {
        res010102Byte = body[0];
        std::copy_n(body + 1, 1440, res010102Data.begin());
      } else {
        res010102Byte = 0;
        res010102Data.fill(0);
      }
      wrote(Slot::Res010102, 1441);
      break;
    case PID_XAV_RES_010103:
      res010103 = exact(1) ? body[0] : 0;
      wrote(Slot::Res010103, 1);
      break;
    case PID_XAV_RES_010104:
      res010104 = exact(1) ? body[0] : 0;
      wrote(Slot::Res010104, 1);
      break;
    case PID_XAV_RES_020002:
      res020002 = exact(1) ? body[0] : 0;
      wrote(Slot::Res020002, 1);
      break;
    case PID_XAV_RES_VIDEO: {
      video = VideoFrameInfo{};
      wrote(Slot::Video, sizeof(VideoFrameInfo));
      if (available < kVideoHeaderSize) break;  // too short to describe a picture
      video.channel = body[0];
      video.attribute = body[1];
      video.width = GetU16(body + 2);
      video.height = GetU16(body + 4);
      video.date = GetU32(body + 6);
      video.time = GetU32(body + 10);
      video.size = GetU32(body + 14);
      // The picture must lie wholly inside the message.
      if (video.size <= available - kVideoHeaderSize) {
        video.data = message + kVideoPictureOffset;
        r.video = 1;
      }
      break;
    }
    default:
      break;  // heartbeat, 010002, PTZ reply and unknown ids: no slot
  }
  return h.result;
}

}  // namespace lv
