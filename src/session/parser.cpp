// The parse thread's work: cut each complete message out of the receive ring,
// decode it, act on it and report it to the view.
#include <new>

#include "platform/core/debug_out.h"
#include "session/dvr_session.h"

namespace lv {

int CDvrSession::ParsePass() {
  // On the parse thread a stop request ends the pass early; driven from
  // outside (no thread running) the pass always runs dry.
  const bool onThread = m_bParseStop.load() == 0;
  int handled = 0;
  for (;;) {
    const ParseStep step = ParseOneMessage();
    if (step == ParseStep::Idle || step == ParseStep::Incomplete) break;
    // Skipped garbage is no message: the search goes on to the next header.
    if (step != ParseStep::Resync) ++handled;
    if (onThread && m_bParseStop.load() != 0) break;
  }
  if (handled > 0) m_nMessagesParsed.fetch_add(static_cast<std::uint32_t>(handled), std::memory_order_relaxed);
  return handled;
}

ParseStep CDvrSession::ParseOneMessage() {
  // After a protocol fault nothing more from this link is believed.
  if (m_bProtocolFault.load()) return ParseStep::Idle;
  CRingBuffer& ring = m_pSocket->Ring();
  if (ring.DataSize() < static_cast<std::int32_t>(kHeaderSize)) return ParseStep::Idle;

  std::uint8_t h[kHeaderSize];
  ring.Peek(h, kHeaderSize);
  PacketHeader header;
  HeaderKind kind = ClassifyHeader(h, &header);
  // A body that could never fit in the ring would be waited for forever.
  if (kind != HeaderKind::NotHeader && header.bodyLength > kMaxBodyLength) kind = HeaderKind::NotHeader;

  if (kind == HeaderKind::NotHeader) {
    DebugOut("[DVR Data] [Header Not Found]\r\n");
    DebugOut("[Protocol Header] [0x%x] [0x%x] [0x%x] [0x%x] [0x%x] [0x%x] [0x%x] [0x%x] [0x%x] [0x%x] [0x%x] "
             "[0x%x]\r\n",
             h[0], h[1], h[2], h[3], h[4], h[5], h[6], h[7], h[8], h[9], h[10], h[11]);
    // Every message id starts with 0xAB: resume at the next byte that can
    // start one.
    std::uint8_t dropped;
    ring.ReadByte(&dropped);
    ring.SkipTo(0xAB, 0xAB);
    return ParseStep::Resync;
  }

  Message m;
  m.length = kHeaderSize + header.bodyLength;
  // Nothing is allocated until the whole message is in the ring: a large
  // picture arrives in many pieces, each of which wakes this thread.
  if (ring.DataSize() < static_cast<std::int32_t>(m.length)) return ParseStep::Incomplete;
  m.data.reset(new (std::nothrow) std::uint8_t[m.length]);
  if (!m.data) return ParseStep::Incomplete;  // try again on the next pass
  if (!ring.Read(m.data.get(), static_cast<std::int32_t>(m.length))) return ParseStep::Incomplete;

  const std::uint32_t result = m_pProtocol->Decode(m.data.get(), m.length, m_DecodeResult);
  if (kind == HeaderKind::Control) {
    Dispatch(result);
    return ParseStep::Control;
  }
  HandleVideo(std::move(m), result);
  return ParseStep::Video;
}

void CDvrSession::HandleVideo(Message&& message, std::uint32_t result) {
  if (result != kResultOk || m_DecodeResult.video != 1 || m_DecodeResult.id != PID_XAV_RES_VIDEO) return;
  const VideoFrameInfo& info = m_pProtocol->video;
  if (m_ChannelTable.Count() == 0) {
    m_ChannelTable.Append(ChannelTable::CreateFromFrame(info));
    DebugOut("[DVR Data] Open Channel[%d] and AddList!\r\n", info.channel);
  }
  ChannelRef record = m_ChannelTable.Find(info.channel);
  if (!record || record->open.load() != 1) return;
  // One slot per channel, newest wins: a picture still waiting is replaced.
  record->frames->PutNewest(FrameRecord::FromMessage(std::move(message), info));
  m_FrameEvent.Set();
}

void CDvrSession::SetChannelFlags() {
  const CDvrProtocol& p = *m_pProtocol;
  const std::uint32_t bodyLength = m_DecodeResult.length - kHeaderSize;
  const bool masksValid = bodyLength == 24 && (m_nProtoVersion.load() >= 2034 ||
                                               (m_nHwType.load() == 0 && m_nOsVersion.load() >= 5020));
  for (int i = 0; i < kMaxChannels; ++i) {
    if (masksValid) {
      const std::uint32_t bit = 1u << (31 - i);
      m_bCamera[i].store((p.login[0] & bit) ? 1 : 0);
      m_bPTZ[i].store((p.login[1] & bit) ? 1 : 0);
      m_bLock[i].store((p.login[2] & bit) ? 1 : 0);
      m_bFunction[i].store((p.login[3] & bit) ? 1 : 0);
    } else {
      m_bCamera[i].store(1);
      m_bPTZ[i].store(0);
      m_bLock[i].store(0);
      m_bFunction[i].store(1);
    }
  }
}

// The version replies are also recorded here, on this thread, so the login
// reply that follows them is always read against them.
void CDvrSession::VersionReply(const char* name, const std::array<std::uint8_t, 4>& digits,
                               std::array<std::atomic<std::uint8_t>, 4>& keep, std::atomic<int>& number,
                               std::uint32_t msg, std::uint32_t result, std::uint32_t bodyLength) {
  if (result != kResultOk) {
    DebugOut("\r\n\r\n###%s Recv Fail!! [0x%x]\r\n\r\n", name, result);
    Post(msg, 0, static_cast<LPARAM>(result));
    return;
  }
  // A reply of the wrong length records zeros, as the hardware-info reply
  // does: the numbers of an earlier connection must not decide how this
  // connection's login masks are read.
  const bool valid = bodyLength == 4;
  for (int i = 0; i < 4; ++i) keep[i].store(valid ? digits[i] : 0);
  number.store(valid ? VersionNumber(digits.data()) : 0);
  const WPARAM w = valid ? GetU32(digits.data()) : 0;  // the four digits as one big-endian word
  Post(msg, w, static_cast<LPARAM>(result));
}

void CDvrSession::Dispatch(std::uint32_t result) {
  const CDvrProtocol& p = *m_pProtocol;
  const std::uint32_t bodyLength = m_DecodeResult.length - kHeaderSize;
  const bool ok = result == kResultOk;
  switch (m_DecodeResult.id) {
    case PID_XAV_RES_HEARTBEAT:
      if (ok) Post(WM_DVR_REPLAY_HEARTBEAT, 0, 0);
      break;
    case PID_XAV_RES_HW_INFO:
      if (ok) {
        WPARAM w = 0;
        if (bodyLength == 2) {
          m_nHwType.store(p.hwInfo[0]);
          m_nMaxChannel.store(p.hwInfo[1]);
          w = static_cast<WPARAM>(p.hwInfo[0]) * 65536 + p.hwInfo[1];
        } else {
          m_nHwType.store(0);
          m_nMaxChannel.store(0);
        }
        Post(WM_DVR_REPLAY_HWINFO, w, static_cast<LPARAM>(result));
      } else {
        DebugOut("\r\n\r\n###HW_INFO Recv Fail!! [0x%x]\r\n\r\n", result);
        Post(WM_DVR_REPLAY_HWINFO, 0, static_cast<LPARAM>(result));
      }
      break;
    case PID_XAV_RES_OS_INFO:
      VersionReply("OS_INFO", p.osVersion, m_OsVer, m_nOsVersion, WM_DVR_REPLAY_OSINFO, result, bodyLength);
      break;
    case PID_XAV_RES_PROTO_VER:
      VersionReply("PROTO_VER", p.protoVersion, m_ProtoVer, m_nProtoVersion, WM_DVR_REPLAY_PROTOINFO, result,
                   bodyLength);
      break;
    case PID_XAV_RES_LOGIN:
      if (ok) {
        SetChannelFlags();
      } else {
        DebugOut("\r\n\r\n###LOGIN Recv Fail!! [0x%x]\r\n\r\n", result);
      }
      Post(WM_DVR_REPLAY_LOGIN, 0, static_cast<LPARAM>(result));
      break;
    case PID_XAV_RES_010002:
      Post(WM_DVR_RESP_010002, 0, static_cast<LPARAM>(result));
      break;
    case PID_XAV_RES_CH_OPEN:
      // A reply for a channel nobody asked for would be shown, steered and
      // closed as if it were the one on screen.
      if (p.channelOpen[0] != m_nOpenAskedCH.load() || p.channelOpen[0] >= kMaxChannels) {
        DebugOut("[DVR Data] CH_OPEN reply names channel [%d], asked [%d]\r\n", p.channelOpen[0],
                 m_nOpenAskedCH.load());
        FailProtocol("the channel-open reply names another channel than the one asked for");
        break;
      }
      if (ok) m_nCurrentCH.store(p.channelOpen[0]);
      Post(WM_DVR_RESP_CH_OPEN, p.channelOpen[0], static_cast<LPARAM>(result));
      break;
    case PID_XAV_RES_CH_CLOSE:
      if (ok && p.channelClose[0] >= kMaxChannels) {
        DebugOut("[DVR Data] CH_CLOSE reply names channel [%d]\r\n", p.channelClose[0]);
        FailProtocol("the channel-close reply names a channel beyond the highest");
        break;
      }
      if (ok) {
        const std::uint8_t channel = p.channelClose[0];
        m_nCurrentCH.store(channel);
        Post(WM_DVR_RESP_CH_CLOSE, channel, static_cast<LPARAM>(result));
        m_ChannelTable.Remove(channel);
      } else {
        // Reported with the channel of the latest channel-open reply.
        Post(WM_DVR_RESP_CH_CLOSE, p.channelOpen[0], static_cast<LPARAM>(result));
      }
      break;
    case PID_XAV_RES_CONTROL_PTZ:
      if (ok) DebugOut("\t\t=> PID_XAV_RES_CONTROL_PTZ\r\n");
      break;
    default:  // 010105 and the rest: nothing to do
      break;
  }
}

}  // namespace lv
