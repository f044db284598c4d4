// The receive path end to end, without threads or sockets. Fuzzed bytes reach
// the socket's receive-ready step in fuzzed chunk sizes through its byte
// source, land in the 1 MiB ring (which may start anywhere and nearly full),
// and the parser takes them out step by step. Checked:
//  - every step that reports work consumes bytes, so no pass can spin;
//  - a message the parser waits for can still arrive (the socket still
//    receives while it waits), so no connection stalls for good;
//  - in the end every byte delivered is consumed but an incomplete tail;
//  - the pictures handed over lie inside their buffers;
//  - every posted message carries sane parameters: channels below 256, result
//    words and version digits that came over the wire;
//  - after a protocol fault the parser takes nothing more from the link.
#include <QCoreApplication>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_check.h"
#include "net/soc_tcp.h"
#include "platform/core/debug_out.h"
#include "platform/core/message_target.h"
#include "session/dvr_session.h"

using namespace lv;

namespace {

constexpr std::int32_t kCapacity = kReceiveRingCapacity;

// What the current input has put on the wire, and the socket it came through.
struct Wire {
  std::string fed;  // headers and bytes delivered, for the posted words
  const CSoc_TCP* socket = nullptr;

  bool Carried(std::uint32_t word) const {
    const char bytes[4] = {static_cast<char>(word >> 24), static_cast<char>(word >> 16), static_cast<char>(word >> 8),
                           static_cast<char>(word)};
    return fed.find(std::string_view(bytes, 4)) != std::string::npos;
  }
};
Wire g_wire;

void CheckPosted(std::uint32_t msg, WPARAM w, LPARAM l) {
  const auto result = static_cast<std::uint32_t>(l);
  switch (msg) {
    case WM_DVR_CLOSE_SOCKET:
      FUZZ_CHECK(w == 0 && l == reinterpret_cast<LPARAM>(g_wire.socket));
      break;
    case WM_DVR_REPLAY_HEARTBEAT:
      FUZZ_CHECK(w == 0 && l == 0);
      break;
    case WM_DVR_REPLAY_HWINFO:
      FUZZ_CHECK(w <= 0xFF00FF && (w & 0xFF00) == 0 && g_wire.Carried(result));
      break;
    case WM_DVR_REPLAY_OSINFO:
    case WM_DVR_REPLAY_PROTOINFO:
      FUZZ_CHECK(w <= 0xFFFFFFFFu && (w == 0 || g_wire.Carried(static_cast<std::uint32_t>(w))));
      FUZZ_CHECK(g_wire.Carried(result));
      break;
    case WM_DVR_RESP_CH_OPEN:
    case WM_DVR_RESP_CH_CLOSE:
      FUZZ_CHECK(w < 256 && g_wire.Carried(result));
      break;
    case WM_DVR_REPLAY_LOGIN:
    case WM_DVR_RESP_010002:
      FUZZ_CHECK(w == 0 && g_wire.Carried(result));
      break;
    default:
      FUZZ_CHECK(!"a message the receive path never posts");
  }
}

// The socket's side of the connection: bytes the peer has sent that the
// socket has not taken yet, and what the next empty receive reports.
struct Peer {
  std::vector<std::uint8_t> pending;
  std::size_t taken = 0;
  int emptyError = kErrWouldBlock;

  int Receive(void* buffer, int length, int* error) {
    const std::size_t left = pending.size() - taken;
    if (left == 0) {
      *error = emptyError;
      return -1;
    }
    const std::size_t n = std::min<std::size_t>(left, static_cast<std::size_t>(length));
    std::copy_n(pending.begin() + static_cast<std::ptrdiff_t>(taken), n, static_cast<std::uint8_t*>(buffer));
    taken += n;
    return static_cast<int>(n);
  }
  std::size_t Left() const { return pending.size() - taken; }
};

// Receive-ready notifications until the peer's bytes are in or the ring
// turns them away; true if any byte went in.
bool Deliver(CSoc_TCP& socket, Peer& peer) {
  bool any = false;
  while (peer.Left() > 0) {
    const std::size_t before = peer.Left();
    socket.ReceiveReadyForTests();
    if (peer.Left() == before) break;  // no room: the bytes wait in the socket
    any = true;
  }
  return any;
}

bool Faulted(const CDvrSession& session) { return !session.ProtocolFault().empty(); }

// Parser steps until it waits (for bytes, or for the rest of a message),
// then the posted messages are delivered and checked.
void Parse(CDvrSession& session, std::uint64_t& steps, std::uint64_t budget) {
  CRingBuffer& ring = session.Socket()->Ring();
  for (;;) {
    const std::int32_t before = ring.DataSize();
    const ParseStep step = session.ParseOneMessage();
    if (step == ParseStep::Idle) {
      // Too few bytes for a header, or the link has ended on a fault.
      FUZZ_CHECK(Faulted(session) ? ring.DataSize() == before
                                  : ring.DataSize() < static_cast<std::int32_t>(kHeaderSize));
      break;
    }
    if (step == ParseStep::Incomplete) {
      // The socket receives only while more than a chunk is free: waiting
      // with less would wait forever.
      FUZZ_CHECK(ring.DataSize() == before && ring.EmptySize() > kReceiveChunk);
      break;
    }
    FUZZ_CHECK(ring.DataSize() < before);
    FUZZ_CHECK(++steps <= budget);
    if (step == ParseStep::Video) {
      if (const ChannelRef record = session.m_ChannelTable.First(); record && record->frames) {
        const std::uint8_t* data = nullptr;
        std::uint16_t w = 0, h = 0;
        std::uint32_t t = 0;
        if (const std::uint32_t size = record->frames->PeekHead(&data, &w, &h, &t); size > 0 && data) {
          // Touch both ends of the picture: ASan knows its buffer.
          volatile std::uint8_t edge = data[0];
          edge = data[size - 1];
          (void)edge;
        }
      }
    }
  }
  QCoreApplication::sendPostedEvents();
}

std::vector<std::uint8_t>& Zeros() {
  static std::vector<std::uint8_t> zeros(static_cast<std::size_t>(kCapacity), 0);
  return zeros;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static int argc = 1;
  static char name[] = "fuzz_stream";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  SetDebugSink([](const std::string&) {});
  CSoc_TCP::SetWaitPauseForTests(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MessageTarget view(&CheckPosted);
  FuzzedDataProvider in(data, size);

  CDvrSession session(view.Handle());
  auto owned = std::make_unique<CSoc_TCP>(view.Handle(), WM_DVR_SOCKET_RESERVED, WM_DVR_CONNECT_SOCKET,
                                          WM_DVR_CLOSE_SOCKET);
  CSoc_TCP& socket = *owned;
  session.AttachOffline(std::move(owned));
  CRingBuffer& ring = socket.Ring();
  g_wire = Wire{{}, &socket};
  Peer peer;
  socket.SetByteSourceForTests([&peer](void* b, int n, int* e) { return peer.Receive(b, n, e); });

  // Where the ring starts, and how full: a message of up to the whole ring
  // already waiting, so the chunks meet a nearly full ring.
  const std::uint8_t layout = in.ConsumeIntegral<std::uint8_t>();
  if (layout & 1) {
    static std::vector<std::uint8_t> sink(static_cast<std::size_t>(kCapacity));
    const auto start = in.ConsumeIntegralInRange<std::int32_t>(0, kCapacity - 1);
    FUZZ_CHECK(ring.Write(Zeros().data(), start) == 1 && ring.Read(sink.data(), start) == 1);
  }
  if (layout & 2) {
    // Always a message the parser takes whole (a header past the bound is
    // garbage, which the fuzzed bytes reach on their own).
    const auto fill = in.ConsumeIntegralInRange<std::int32_t>(kHeaderSize, kHeaderSize + kMaxBodyLength);
    std::uint8_t header[kHeaderSize];
    PutU32(header, PID_XAV_RES_HEARTBEAT);
    PutU32(header + 4, in.ConsumeBool() ? kResultOk : 0);
    PutU32(header + 8, static_cast<std::uint32_t>(fill) - kHeaderSize);
    g_wire.fed.append(reinterpret_cast<const char*>(header), kHeaderSize);
    FUZZ_CHECK(ring.Write(header, kHeaderSize) == 1);
    FUZZ_CHECK(ring.Write(Zeros().data(), fill - static_cast<std::int32_t>(kHeaderSize)) == 1);
  }

  // Every step consumes a byte, so the steps are bounded by the bytes.
  std::uint64_t steps = 0;
  std::uint64_t budget = static_cast<std::uint64_t>(ring.DataSize()) + 1;
  while (in.remaining_bytes() > 0) {
    const std::uint8_t op = in.ConsumeIntegral<std::uint8_t>();
    if (op < 160) {
      const auto length = in.ConsumeIntegralInRange<std::size_t>(1, 2 * kReceiveChunk + 16);
      const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(length);
      peer.pending.insert(peer.pending.end(), bytes.begin(), bytes.end());
      g_wire.fed.append(bytes.begin(), bytes.end());
      budget += bytes.size();
      Deliver(socket, peer);
    } else if (op < 176) {
      peer.emptyError = op & 1 ? kErrWouldBlock : kErrConnReset;  // the next empty receive fails so
      socket.ReceiveReadyForTests();
    } else if (op < 240) {
      Parse(session, steps, budget);
    } else {
      // The parse thread's pass (a spin would show as a time-out): it ends
      // only with too few bytes for a header or with a message to wait for.
      session.ParsePass();
      FUZZ_CHECK(session.ParseOneMessage() ==
                 (Faulted(session) || socket.Ring().DataSize() < static_cast<std::int32_t>(kHeaderSize)
                      ? ParseStep::Idle
                      : ParseStep::Incomplete));
      QCoreApplication::sendPostedEvents();
    }
  }
  // The end: whatever is still in the socket must get through, unless the
  // link has ended on a fault (its owner closes it then).
  do Parse(session, steps, budget);
  while (Deliver(socket, peer));
  FUZZ_CHECK(peer.Left() == 0 || Faulted(session));
  QCoreApplication::sendPostedEvents();
  return 0;
}
