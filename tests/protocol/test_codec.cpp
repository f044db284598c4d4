#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/debug_hook.h"
#include "protocol/protocol.h"

using namespace lv;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes ToBytes(const Message& m) { return Bytes(m.data.get(), m.data.get() + m.length); }

Bytes Msg(std::uint32_t id, std::uint32_t result, const Bytes& body, std::uint32_t bodyLength) {
  Bytes b(12 + body.size());
  PutU32(b.data(), id);
  PutU32(b.data() + 4, result);
  PutU32(b.data() + 8, bodyLength);
  std::copy(body.begin(), body.end(), b.begin() + 12);
  return b;
}
Bytes Msg(std::uint32_t id, std::uint32_t result, const Bytes& body) {
  return Msg(id, result, body, static_cast<std::uint32_t>(body.size()));
}

std::vector<std::string> g_lines;
void Capture(const std::string& line) { g_lines.push_back(line); }

}  // namespace

TEST(Encoder, HeaderOnlyRequests) {
  EXPECT_EQ(ToBytes(CDvrProtocol::BuildRequest(PID_XAV_REQ_HW_INFO)),
            (Bytes{0x0B, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(ToBytes(CDvrProtocol::BuildRequest(PID_XAV_REQ_OS_INFO)),
            (Bytes{0x0B, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(ToBytes(CDvrProtocol::BuildRequest(PID_XAV_REQ_PROTO_VER)),
            (Bytes{0x0B, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0}));
  // Any id without parameters gives the bare header.
  EXPECT_EQ(CDvrProtocol::BuildRequest(0x12345678).length, 12u);
}

TEST(Encoder, Login) {
  const Message m = CDvrProtocol::BuildRequest(PID_XAV_REQ_LOGIN, LoginParams{u"abc", u"", 1});
  EXPECT_EQ(ToBytes(m), (Bytes{0x0B, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 8, 0, 3, 'a', 'b', 'c', 0, 0, 1}));

  const Message m2 = CDvrProtocol::BuildRequest(PID_XAV_REQ_LOGIN, LoginParams{u"admin", u"p\u00e9ss", 1});
  const Bytes b = ToBytes(m2);
  ASSERT_EQ(b.size(), 5u + 4u + 17u);
  EXPECT_EQ(GetU32(b.data() + 8), 14u);
  EXPECT_EQ(Bytes(b.begin() + 19, b.begin() + 21), (Bytes{0, 4}));
  EXPECT_EQ(b[22], 0xE9);  // one code-page byte per character
  EXPECT_EQ(b.back(), 1);

  // Texts that cannot pass the 256-byte scratch are refused, not overrun.
  EXPECT_FALSE(CDvrProtocol::BuildRequest(PID_XAV_REQ_LOGIN, LoginParams{std::u16string(256, u'a'), u"", 1}));
  EXPECT_TRUE(CDvrProtocol::BuildRequest(PID_XAV_REQ_LOGIN, LoginParams{std::u16string(255, u'a'), u"", 1}));
}

TEST(Encoder, BodiesOfEveryRequest) {
  struct Case {
    std::uint32_t id;
    RequestParams params;
    Bytes body;
  } cases[] = {
      {PID_XAV_REQ_CH_OPEN, ChannelOpenParams{2, 1, 0, 0, 0}, {2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {PID_XAV_REQ_CH_CLOSE, ByteParams{7}, {7}},
      {PID_XAV_REQ_010105, TwoByteParams{0x11, 0x22}, {0x11, 0x22}},
      {PID_XAV_REQ_CONTROL_PTZ, TwoByteParams{3, 14}, {3, 14}},
      {PID_XAV_REQ_030002, TwoByteParams{1, 2}, {1, 2}},
      {PID_XAV_REQ_010101, ByteWordParams{9, 0x01020304}, {9, 1, 2, 3, 4}},
      {PID_XAV_REQ_010102, ByteWordParams{8, 0xA0B0C0D0}, {8, 0xA0, 0xB0, 0xC0, 0xD0}},
      {PID_XAV_REQ_010103, ByteTwoWordParams{7, 1, 0xFFFFFFFF}, {7, 0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF}},
      {PID_XAV_REQ_010104, ByteParams{5}, {5}},
  };
  for (const auto& c : cases) {
    const Bytes got = ToBytes(CDvrProtocol::BuildRequest(c.id, c.params));
    EXPECT_EQ(got, Msg(c.id, 0, c.body)) << std::hex << c.id;
  }
  // The channel-open example byte for byte.
  EXPECT_EQ(ToBytes(CDvrProtocol::BuildRequest(PID_XAV_REQ_CH_OPEN, ChannelOpenParams{2})),
            (Bytes{0x0B, 1, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0x0B, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(Encoder, RefusesParametersWithoutLayout) {
  EXPECT_FALSE(CDvrProtocol::BuildRequest(PID_XAV_REQ_HW_INFO, ByteParams{1}));
  EXPECT_FALSE(CDvrProtocol::BuildRequest(0x0B099999, TwoByteParams{1, 2}));
  EXPECT_FALSE(CDvrProtocol::BuildRequest(PID_XAV_REQ_CH_OPEN, ByteParams{1}));  // wrong record
}

TEST(Encoder, PtzWritesItsDebugLine) {
  g_lines.clear();
  SetProtocolDebugHook(&Capture);
  CDvrProtocol::BuildRequest(PID_XAV_REQ_CONTROL_PTZ, TwoByteParams{0, 1});
  CDvrProtocol::BuildRequest(PID_XAV_REQ_010105, TwoByteParams{0, 1});
  SetProtocolDebugHook(nullptr);
  EXPECT_EQ(g_lines, std::vector<std::string>{"[CMD] PID_XAV_REQ_CONTROL_PTZ \r\n"});
}

TEST(Classify, EveryId) {
  const std::uint32_t control[] = {0xAB000000, 0xAB000001, 0xAB000002, 0xAB000003, 0xAB010001,
                                   0xAB010002, 0xAB010003, 0xAB010004, 0xAB010105, 0xAB030001};
  const std::uint32_t notHeader[] = {0xAB010101, 0xAB010102, 0xAB010103, 0xAB010104, 0xAB020002,
                                     0x0B000001, 0xAB000004, 0x00000000, 0xFFFFFFFF, 0xAB030002};
  for (auto id : control) EXPECT_EQ(ClassifyHeader(Msg(id, 5, {}, 99).data()), HeaderKind::Control) << std::hex << id;
  for (auto id : notHeader)
    EXPECT_EQ(ClassifyHeader(Msg(id, 1, {}).data()), HeaderKind::NotHeader) << std::hex << id;
  PacketHeader h;
  EXPECT_EQ(ClassifyHeader(Msg(PID_XAV_RES_VIDEO, 7, {}, 1234).data(), &h), HeaderKind::Video);
  EXPECT_EQ(h.id, PID_XAV_RES_VIDEO);
  EXPECT_EQ(h.result, 7u);
  EXPECT_EQ(h.bodyLength, 1234u);
}

TEST(Decoder, ExactLengths) {
  CDvrProtocol p;
  DecodeResult r;
  Bytes m = Msg(PID_XAV_RES_HW_INFO, 1, {3, 16});
  EXPECT_EQ(p.Decode(m.data(), static_cast<std::uint32_t>(m.size()), r), 1u);
  EXPECT_EQ(r.slot, Slot::HwInfo);
  EXPECT_EQ(r.id, PID_XAV_RES_HW_INFO);
  EXPECT_EQ(p.hwInfo[0], 3);
  EXPECT_EQ(p.hwInfo[1], 16);

  m = Msg(PID_XAV_RES_OS_INFO, 1, {5, 0, 2, 0});
  p.Decode(m.data(), static_cast<std::uint32_t>(m.size()), r);
  EXPECT_EQ(VersionNumber(p.osVersion.data()), 5020);
  m = Msg(PID_XAV_RES_PROTO_VER, 1, {2, 0, 3, 4});
  p.Decode(m.data(), static_cast<std::uint32_t>(m.size()), r);
  EXPECT_EQ(VersionNumber(p.protoVersion.data()), 2034);

  Bytes login(24, 0);
  PutU32(login.data(), 0x80000000);
  PutU32(login.data() + 4, 0x40000000);
  PutU32(login.data() + 8, 0x20000000);
  PutU32(login.data() + 12, 0x20000000);
  PutU32(login.data() + 20, 0xDEADBEEF);
  m = Msg(PID_XAV_RES_LOGIN, 1, login);
  p.Decode(m.data(), static_cast<std::uint32_t>(m.size()), r);
  EXPECT_EQ(p.login, (std::array<std::uint32_t, 6>{0x80000000, 0x40000000, 0x20000000, 0x20000000, 0, 0xDEADBEEF}));

  m = Msg(PID_XAV_RES_CH_OPEN, 0xF0020000, {4, 9, 9});
  EXPECT_EQ(p.Decode(m.data(), static_cast<std::uint32_t>(m.size()), r), 0xF0020000u);
  EXPECT_EQ(p.channelOpen[0], 4);
  m = Msg(PID_XAV_RES_CH_CLOSE, 1, {3});
  p.Decode(m.data(), static_cast<std::uint32_t>(m.size()), r);
  EXPECT_EQ(p.channelClose[0], 3);
  m = Msg(PID_XAV_RES_010105, 1, {0xAA, 0xBB});
  p.Decode(m.data(), static_cast<std::uint32_t>(m.size()), r);
  EXPECT_EQ(p.res010105, (std::array<std::uint8_t, 2>{0xAA, 0xBB}));
  m = Msg(PID_XAV_RES_010101, 1, {7, 0, 0, 1, 0});
  p.Decode(m.data(), static_cast<std::uint32_t>(m.size()), r);
  EXPECT_EQ(p.res010101Byte, 7);
  EXPECT_EQ(p.res010101Word, 256u);
  Bytes big(1441, 0x5A);
  big[0] = 2;
  m = Msg(PID_XAV_RES_010102, 1, big);
  p.Decode(m.data(), static_cast<std::uint32_t>(m.size()), r);
  EXPECT_EQ(p.res010102Byte, 2);
  EXPECT_EQ(p.res010102Data[1439], 0x5A);
  for (auto [id, slot, field] : {std::tuple{PID_XAV_RES_010103, Slot::Res010103, &p.res010103},
                                 std::tuple{PID_XAV_RES_010104, Slot::Res010104, &p.res010104},
                                 std::tuple{PID_XAV_RES_020002, Slot::Res020002, &p.res020002}}) {
    m = Msg(id, 1, {0x42});
    p.Decode(m.data(), static_cast<std::uint32_t>(m.size()), r);
    EXPECT_EQ(r.slot, slot);
    EXPECT_EQ(*field, 0x42);
  }
}

TEST(Decoder, WrongLengthsGiveFallbacks) {
  CDvrProtocol p;
  DecodeResult r;
  auto decode = [&](const Bytes& m) { return p.Decode(m.data(), static_cast<std::uint32_t>(m.size()), r); };
  p.hwInfo = {9, 9};
  EXPECT_EQ(decode(Msg(PID_XAV_RES_HW_INFO, 1, {1, 2, 3})), 1u);
  EXPECT_EQ(p.hwInfo, (std::array<std::uint8_t, 2>{0, 0}));
  p.osVersion = {1, 1, 1, 1};
  decode(Msg(PID_XAV_RES_OS_INFO, 1, {1, 2}));
  EXPECT_EQ(p.osVersion, (std::array<std::uint8_t, 4>{}));
  decode(Msg(PID_XAV_RES_LOGIN, 1, Bytes(20, 0x11)));
  EXPECT_EQ(p.login, (std::array<std::uint32_t, 6>{0xFFFFFFFF, 0, 0, 0xFFFFFFFF, 0, 0}));
  decode(Msg(PID_XAV_RES_CH_OPEN, 1, {1, 2, 3, 4}));
  EXPECT_EQ(p.channelOpen, (std::array<std::uint8_t, 3>{}));
  decode(Msg(PID_XAV_RES_CH_CLOSE, 1, {}));
  EXPECT_EQ(p.channelClose[0], 0);
  decode(Msg(PID_XAV_RES_010102, 1, Bytes(1440, 1)));
  EXPECT_EQ(p.res010102Data[0], 0);
}

TEST(Decoder, HeaderClaimingMoreThanGivenIsNotReadPast) {
  CDvrProtocol p;
  DecodeResult r;
  // Header says 24 body bytes but only 12 came with it: fallback, no overread
  // (AddressSanitizer would catch one).
  Bytes m = Msg(PID_XAV_RES_LOGIN, 1, Bytes(12, 0x11), 24);
  auto heap = std::make_unique<std::uint8_t[]>(m.size());
  std::copy(m.begin(), m.end(), heap.get());
  EXPECT_EQ(p.Decode(heap.get(), static_cast<std::uint32_t>(m.size()), r), 1u);
  EXPECT_EQ(p.login[0], 0xFFFFFFFFu);
  EXPECT_EQ(p.Decode(heap.get(), 11, r), 0u);  // not even a header
}

TEST(Decoder, SlotlessMessagesReportIdAndResult) {
  CDvrProtocol p;
  DecodeResult r;
  for (std::uint32_t id : {PID_XAV_RES_HEARTBEAT, PID_XAV_RES_010002, PID_XAV_RES_CONTROL_PTZ}) {
    Bytes m = Msg(id, 0x77, {1, 2});
    EXPECT_EQ(p.Decode(m.data(), static_cast<std::uint32_t>(m.size()), r), 0x77u);
    EXPECT_EQ(r.id, id);
    EXPECT_EQ(r.slot, Slot::None);
    EXPECT_EQ(r.video, 0);
  }
}

namespace {
Bytes VideoMsg(std::uint32_t pictureSize, std::size_t actualPicture, std::uint32_t bodyLengthOverride = 0) {
  Bytes body(29, 0);
  body[0] = 5;
  body[1] = 0x99;
  PutU16(body.data() + 2, 0x0280);
  PutU16(body.data() + 4, 0x01E0);
  PutU32(body.data() + 6, 20100315);
  PutU32(body.data() + 10, 235959);
  PutU32(body.data() + 14, pictureSize);
  for (std::size_t i = 0; i < actualPicture; ++i) body.push_back(static_cast<std::uint8_t>(i));
  return Msg(PID_XAV_RES_VIDEO, 1, body,
             bodyLengthOverride ? bodyLengthOverride : static_cast<std::uint32_t>(body.size()));
}
}  // namespace

TEST(Decoder, VideoFrame) {
  CDvrProtocol p;
  DecodeResult r;
  Bytes m = VideoMsg(100, 100);
  EXPECT_EQ(p.Decode(m.data(), static_cast<std::uint32_t>(m.size()), r), 1u);
  EXPECT_EQ(r.video, 1);
  EXPECT_EQ(r.slot, Slot::Video);
  EXPECT_EQ(p.video.channel, 5);
  EXPECT_EQ(p.video.attribute, 0x99);
  EXPECT_EQ(p.video.width, 640);
  EXPECT_EQ(p.video.height, 480);
  EXPECT_EQ(p.video.date, 20100315u);
  EXPECT_EQ(p.video.time, 235959u);
  EXPECT_EQ(p.video.size, 100u);
  EXPECT_EQ(p.video.data, m.data() + 41);
}

TEST(Decoder, MalformedVideoYieldsNoPicture) {
  CDvrProtocol p;
  DecodeResult r;
  struct Case {
    const char* what;
    Bytes msg;
  } cases[] = {
      {"picture size runs past the body", VideoMsg(101, 100)},
      {"huge picture size", VideoMsg(0xFFFFFFFF, 10)},
      {"body shorter than the frame header", Msg(PID_XAV_RES_VIDEO, 1, Bytes(28, 1))},
      {"empty body", Msg(PID_XAV_RES_VIDEO, 1, {})},
  };
  for (auto& c : cases) {
    auto heap = std::make_unique<std::uint8_t[]>(c.msg.size());
    std::copy(c.msg.begin(), c.msg.end(), heap.get());
    p.Decode(heap.get(), static_cast<std::uint32_t>(c.msg.size()), r);
    EXPECT_EQ(r.video, 0) << c.what;
    EXPECT_EQ(p.video.data, nullptr) << c.what;
  }
  // A picture of size 0 that fits is still a (useless) picture descriptor.
  Bytes zero = VideoMsg(0, 0);
  p.Decode(zero.data(), static_cast<std::uint32_t>(zero.size()), r);
  EXPECT_EQ(r.video, 1);
  EXPECT_EQ(p.video.size, 0u);
}
