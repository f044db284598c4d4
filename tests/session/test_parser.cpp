// The parser driven step by step on bytes written straight into the ring.
#include <gtest/gtest.h>

#include "session/dvr_session.h"
#include "support/pump.h"
#include "wire.h"

using namespace lv;
using namespace lvtest;

namespace {

class Parser : public ::testing::Test {
 protected:
  void SetUp() override {
    session = std::make_unique<CDvrSession>(view.Handle());
    session->AttachOffline(std::make_unique<CSoc_TCP>(view.Handle(), 5025, 5024, 5026));
  }
  CRingBuffer& Ring() { return session->Socket()->Ring(); }
  void Feed(const Bytes& b) { ASSERT_EQ(Ring().Write(b.data(), static_cast<std::int32_t>(b.size())), 1); }
  ParseStep Step() { return session->ParseOneMessage(); }
  // Posted messages arrive through the event loop.
  void Deliver() { PumpFor(5); }
  // Feeds and parses one message, then delivers what it posted.
  ParseStep Handle(const Bytes& b) {
    Feed(b);
    const ParseStep s = Step();
    Deliver();
    return s;
  }
  void SetVersions(int proto, int hw, int os) {
    session->m_nProtoVersion = proto;
    session->m_nHwType = static_cast<std::uint8_t>(hw);
    session->m_nOsVersion = os;
  }

  MessageRecorder view;
  std::unique_ptr<CDvrSession> session;
  DebugCapture debug;
};

}  // namespace

TEST_F(Parser, ElevenBytesAreLeftAlone) {
  Feed(Bytes(11, 0xAB));
  EXPECT_EQ(Step(), ParseStep::Idle);
  EXPECT_EQ(Ring().DataSize(), 11);
}

TEST_F(Parser, PartlyBufferedMessageWaitsAndIsThenHandledWhole) {
  const Bytes m = Msg(PID_XAV_RES_HW_INFO, 1, {0, 16});
  Feed(Bytes(m.begin(), m.begin() + 13));
  EXPECT_EQ(Step(), ParseStep::Incomplete);
  EXPECT_EQ(Ring().DataSize(), 13);
  Feed(Bytes(m.begin() + 13, m.end()));
  EXPECT_EQ(Step(), ParseStep::Control);
  Deliver();
  ASSERT_EQ(view.Count(WM_DVR_REPLAY_HWINFO), 1u);
  EXPECT_EQ(view.Find(WM_DVR_REPLAY_HWINFO)->wParam, 16u);
}

TEST_F(Parser, StrayByteIsLoggedAndSkippedToTheNextHeader) {
  Bytes stream{0x42};
  const Bytes hb = Msg(PID_XAV_RES_HEARTBEAT, 1, {});
  stream.insert(stream.end(), hb.begin(), hb.end());
  Feed(stream);
  EXPECT_EQ(Step(), ParseStep::Resync);
  EXPECT_TRUE(debug.Contains("[DVR Data] [Header Not Found]\r\n"));
  EXPECT_TRUE(debug.Contains("[Protocol Header] [0x42] [0xab] [0x0] [0x0] [0x0] [0x0] [0x0] [0x0] [0x1] [0x0] "
                             "[0x0] [0x0]\r\n"));
  EXPECT_EQ(Step(), ParseStep::Control);
  Deliver();
  EXPECT_EQ(view.Count(WM_DVR_REPLAY_HEARTBEAT), 1u);
}

TEST_F(Parser, GarbageWithoutAnyHeaderStartIsDiscarded) {
  Feed(Bytes(40, 0x00));
  while (Step() == ParseStep::Resync) {
  }
  EXPECT_LT(Ring().DataSize(), 12);
}

TEST_F(Parser, OversizedBodyLengthIsTreatedAsGarbage) {
  Feed(Msg(PID_XAV_RES_HEARTBEAT, 1, {}, kMaxBodyLength + 1));
  Feed(Msg(PID_XAV_RES_HEARTBEAT, 1, {}));
  int resyncs = 0;
  ParseStep s;
  while ((s = Step()) == ParseStep::Resync) ++resyncs;
  EXPECT_GE(resyncs, 1);
  EXPECT_EQ(s, ParseStep::Control);
  Deliver();
  EXPECT_EQ(view.Count(WM_DVR_REPLAY_HEARTBEAT), 1u);
  // The largest body that can still arrive is waited for, not discarded.
  Feed(Msg(PID_XAV_RES_HEARTBEAT, 1, {}, kMaxBodyLength));
  EXPECT_EQ(Step(), ParseStep::Incomplete);
}

TEST_F(Parser, DispatchTable) {
  struct Case {
    const char* what;
    Bytes message;
    std::uint32_t posted;  // 0 = nothing posted
    WPARAM wParam;
    LPARAM lParam;
    const char* line;  // debug line expected, or nullptr
  } cases[] = {
      {"heartbeat ok", Msg(PID_XAV_RES_HEARTBEAT, 1, {}), WM_DVR_REPLAY_HEARTBEAT, 0, 0, nullptr},
      {"heartbeat failed", Msg(PID_XAV_RES_HEARTBEAT, 0, {}), 0, 0, 0, nullptr},
      {"hw info", Msg(PID_XAV_RES_HW_INFO, 1, {2, 16}), WM_DVR_REPLAY_HWINFO, 2 * 65536 + 16, 1, nullptr},
      {"hw info 3 bytes", Msg(PID_XAV_RES_HW_INFO, 1, {2, 16, 0}), WM_DVR_REPLAY_HWINFO, 0, 1, nullptr},
      {"hw info failed", Msg(PID_XAV_RES_HW_INFO, 0x55, {2, 16}), WM_DVR_REPLAY_HWINFO, 0, 0x55,
       "\r\n\r\n###HW_INFO Recv Fail!! [0x55]\r\n\r\n"},
      {"os info", Msg(PID_XAV_RES_OS_INFO, 1, {5, 0, 2, 0}), WM_DVR_REPLAY_OSINFO, 0x05000200, 1, nullptr},
      {"os info short", Msg(PID_XAV_RES_OS_INFO, 1, {5, 0}), WM_DVR_REPLAY_OSINFO, 0, 1, nullptr},
      {"os info failed", Msg(PID_XAV_RES_OS_INFO, 7, {5, 0, 2, 0}), WM_DVR_REPLAY_OSINFO, 0, 7,
       "\r\n\r\n###OS_INFO Recv Fail!! [0x7]\r\n\r\n"},
      {"proto ver", Msg(PID_XAV_RES_PROTO_VER, 1, {2, 0, 3, 4}), WM_DVR_REPLAY_PROTOINFO, 0x02000304, 1, nullptr},
      {"proto ver failed", Msg(PID_XAV_RES_PROTO_VER, 9, {}), WM_DVR_REPLAY_PROTOINFO, 0, 9,
       "\r\n\r\n###PROTO_VER Recv Fail!! [0x9]\r\n\r\n"},
      {"login failed", Msg(PID_XAV_RES_LOGIN, 0xF0010000, {}), WM_DVR_REPLAY_LOGIN, 0, static_cast<LPARAM>(0xF0010000),
       "\r\n\r\n###LOGIN Recv Fail!! [0xf0010000]\r\n\r\n"},
      {"010002", Msg(PID_XAV_RES_010002, 3, {}), WM_DVR_RESP_010002, 0, 3, nullptr},
      {"channel open", Msg(PID_XAV_RES_CH_OPEN, 1, {4, 0, 0}), WM_DVR_RESP_CH_OPEN, 4, 1, nullptr},
      {"channel open refused", Msg(PID_XAV_RES_CH_OPEN, 0xF0020000, {6, 0, 0}), WM_DVR_RESP_CH_OPEN, 6,
       static_cast<LPARAM>(0xF0020000), nullptr},
      {"channel open wrong length", Msg(PID_XAV_RES_CH_OPEN, 1, {6}), WM_DVR_RESP_CH_OPEN, 0, 1, nullptr},
      {"010105", Msg(PID_XAV_RES_010105, 1, {1, 2}), 0, 0, 0, nullptr},
      {"ptz reply", Msg(PID_XAV_RES_CONTROL_PTZ, 1, {}), 0, 0, 0, "\t\t=> PID_XAV_RES_CONTROL_PTZ\r\n"},
      {"ptz reply failed", Msg(PID_XAV_RES_CONTROL_PTZ, 0, {}), 0, 0, 0, nullptr},
  };
  for (const auto& c : cases) {
    view.Clear();
    debug.Clear();
    // An open reply answers the open asked for (a wrong length reads as channel 0).
    if (c.posted == WM_DVR_RESP_CH_OPEN) session->OpenChannel(static_cast<std::uint8_t>(c.wParam));
    EXPECT_EQ(Handle(c.message), ParseStep::Control) << c.what;
    if (c.posted == 0) {
      EXPECT_TRUE(view.Messages().empty()) << c.what;
    } else {
      ASSERT_EQ(view.Messages().size(), 1u) << c.what;
      EXPECT_EQ(view.Messages()[0].msg, c.posted) << c.what;
      EXPECT_EQ(view.Messages()[0].wParam, c.wParam) << c.what;
      EXPECT_EQ(view.Messages()[0].lParam, c.lParam) << c.what;
    }
    if (c.line) {
      EXPECT_TRUE(debug.Contains(c.line)) << c.what;
    } else {
      EXPECT_FALSE(debug.Contains("\t\t=> PID_XAV_RES_CONTROL_PTZ\r\n")) << c.what;
    }
  }
}

// Successful replies of the wrong length record zeros, so numbers left from
// an earlier connection never decide how a later login's masks are read.
TEST_F(Parser, WrongLengthRepliesRecordZeros) {
  Handle(Msg(PID_XAV_RES_HW_INFO, 1, {3, 16}));
  Handle(Msg(PID_XAV_RES_OS_INFO, 1, {5, 0, 2, 0}));
  Handle(Msg(PID_XAV_RES_PROTO_VER, 1, {2, 0, 3, 4}));
  EXPECT_EQ(session->m_nHwType.load() * 100 + session->m_nMaxChannel.load(), 316);
  EXPECT_EQ(session->m_nOsVersion.load() * 10000 + session->m_nProtoVersion.load(), 5020 * 10000 + 2034);

  Handle(Msg(PID_XAV_RES_HW_INFO, 1, {1, 2, 3}));
  Handle(Msg(PID_XAV_RES_OS_INFO, 1, {5, 0, 2}));
  Handle(Msg(PID_XAV_RES_PROTO_VER, 1, {2, 0, 3, 4, 0}));
  EXPECT_EQ(session->m_nHwType.load() + session->m_nMaxChannel.load(), 0);
  EXPECT_EQ(session->m_nOsVersion.load() + session->m_nProtoVersion.load(), 0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(session->m_OsVer[i].load() + session->m_ProtoVer[i].load(), 0) << i;
  // The login's masks are therefore not trusted: every channel gets the defaults.
  Handle(Msg(PID_XAV_RES_LOGIN, 1, LoginBody(0x80000000, 0, 0, 0)));
  EXPECT_EQ(session->m_bCamera[5].load(), 1);
}

TEST_F(Parser, LoginFlagsFollowTheVersionGates) {
  struct Case {
    const char* what;
    int proto, hw, os;
    std::uint32_t bodyLength;
    bool masks;  // true: flags from the masks; false: the defaults
  } cases[] = {
      {"new protocol", 2034, 1, 0, 24, true},
      {"old protocol, hw 1, high os", 2033, 1, 9999, 24, false},
      {"old protocol, hw 0, os 5020", 2033, 0, 5020, 24, true},
      {"old protocol, hw 0, os 5019", 2033, 0, 5019, 24, false},
      {"short body", 2034, 0, 5020, 20, false},
  };
  for (const auto& c : cases) {
    SetVersions(c.proto, c.hw, c.os);
    Bytes body = LoginBody(0x80000000, 0x80010000, 0x00010000, 0x20000000);
    body.resize(c.bodyLength);
    view.Clear();
    Handle(Msg(PID_XAV_RES_LOGIN, 1, body));
    ASSERT_EQ(view.Count(WM_DVR_REPLAY_LOGIN), 1u) << c.what;
    EXPECT_EQ(view.Find(WM_DVR_REPLAY_LOGIN)->lParam, 1) << c.what;
    for (int i = 0; i < kMaxChannels; ++i) {
      if (c.masks) {
        EXPECT_EQ(session->m_bCamera[i].load(), i == 0 ? 1 : 0) << c.what << " ch" << i;
        EXPECT_EQ(session->m_bPTZ[i].load(), (i == 0 || i == 15) ? 1 : 0) << c.what << " ch" << i;
        EXPECT_EQ(session->m_bLock[i].load(), i == 15 ? 1 : 0) << c.what << " ch" << i;
        EXPECT_EQ(session->m_bFunction[i].load(), i == 2 ? 1 : 0) << c.what << " ch" << i;
      } else {
        EXPECT_EQ(session->m_bCamera[i].load(), 1) << c.what;
        EXPECT_EQ(session->m_bPTZ[i].load(), 0) << c.what;
        EXPECT_EQ(session->m_bLock[i].load(), 0) << c.what;
        EXPECT_EQ(session->m_bFunction[i].load(), 1) << c.what;
      }
    }
  }
}

TEST_F(Parser, VersionRepliesAreRecordedBeforeTheLoginIsRead) {
  // Replies back to back, with no chance for a view to record anything.
  Feed(Msg(PID_XAV_RES_HW_INFO, 1, {1, 16}));
  Feed(Msg(PID_XAV_RES_OS_INFO, 1, {1, 0, 0, 0}));
  Feed(Msg(PID_XAV_RES_PROTO_VER, 1, {2, 0, 3, 4}));
  Feed(Msg(PID_XAV_RES_LOGIN, 1, LoginBody(0x40000000, 0, 0, 0)));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Step(), ParseStep::Control);
  EXPECT_EQ(session->m_nProtoVersion.load(), 2034);
  EXPECT_EQ(session->m_bCamera[0].load(), 0);
  EXPECT_EQ(session->m_bCamera[1].load(), 1);
}

// A reply naming a channel nobody asked for ends the link: nothing is posted,
// nothing after it is parsed, and the fault says why.
TEST_F(Parser, RepliesNamingAnotherChannelAreAProtocolFault) {
  struct Case {
    const char* what;
    int asked;  // -1: no open asked
    Bytes reply;
  } cases[] = {
      {"open answered for another channel", 4, Msg(PID_XAV_RES_CH_OPEN, 1, {5, 0, 0})},
      {"open answered for channel 200", 0, Msg(PID_XAV_RES_CH_OPEN, 1, {200, 0, 0})},
      {"open asked and answered beyond 16", 200, Msg(PID_XAV_RES_CH_OPEN, 1, {200, 0, 0})},
      {"open answered with none asked", -1, Msg(PID_XAV_RES_CH_OPEN, 0xF0030000, {2, 0, 0})},
      {"close naming channel 200", -1, Msg(PID_XAV_RES_CH_CLOSE, 1, {200})},
  };
  for (const auto& c : cases) {
    SetUp();
    view.Clear();
    if (c.asked >= 0) session->OpenChannel(static_cast<std::uint8_t>(c.asked));
    Handle(c.reply);
    EXPECT_TRUE(view.Messages().empty()) << c.what;
    EXPECT_FALSE(session->ProtocolFault().empty()) << c.what;
    EXPECT_NE(session->m_nCurrentCH.load(), 200) << c.what;
    Feed(Msg(PID_XAV_RES_HEARTBEAT, 1, {}));
    EXPECT_EQ(Step(), ParseStep::Idle) << c.what;
  }
}

// What every client asks of a session is bounded by 16 channels, whatever
// the DVR claims.
TEST_F(Parser, ChannelQuestionsAreBoundedByTheClampedCount) {
  struct Case {
    int maxChannel;
    std::uint32_t camera, lock, ptz;  // login masks, channel i = bit 31 - i
    int count, first;
    std::uint32_t cameraMask;  // bit i = channel i
  } cases[] = {
      {255, 0xFFFFFFFF, 0, 0xFFFFFFFF, 16, 0, 0xFFFF},
      {4, 0xFFFF0000, 0xC0000000, 0, 4, 2, 0xF},
      {2, 0x3FFF0000, 0, 0, 2, -1, 0},  // the first camera lies beyond the count
      {0, 0xFFFF0000, 0, 0, 0, -1, 0},
  };
  for (const auto& c : cases) {
    SetVersions(2034, 0, 0);
    session->m_nMaxChannel = static_cast<std::uint8_t>(c.maxChannel);
    Handle(Msg(PID_XAV_RES_LOGIN, 1, LoginBody(c.camera, c.ptz, c.lock, 0)));
    EXPECT_EQ(session->ChannelCount(), c.count) << c.maxChannel;
    EXPECT_EQ(session->FirstChannelToOpen(), c.first) << c.maxChannel;
    EXPECT_EQ(session->CameraMask(), c.cameraMask) << c.maxChannel;
    for (int ch : {-1, 16, 31, 200}) {
      EXPECT_FALSE(session->HasCamera(ch) || session->MayOpen(ch) || session->IsPtzCamera(ch)) << ch;
    }
  }
}

TEST_F(Parser, ChannelCloseRepliesAndTheTable) {
  session->OpenChannel(3);
  Handle(Msg(PID_XAV_RES_CH_OPEN, 1, {3, 0, 0}));
  EXPECT_EQ(session->m_nCurrentCH.load(), 3);
  Handle(VideoMsg(3, 10, 10));
  ASSERT_EQ(session->m_ChannelTable.Count(), 1);

  // A failed close reports the channel of the latest open reply.
  view.Clear();
  Handle(Msg(PID_XAV_RES_CH_CLOSE, 0x77, {9}));
  ASSERT_EQ(view.Count(WM_DVR_RESP_CH_CLOSE), 1u);
  EXPECT_EQ(view.Find(WM_DVR_RESP_CH_CLOSE)->wParam, 3u);
  EXPECT_EQ(view.Find(WM_DVR_RESP_CH_CLOSE)->lParam, 0x77);
  EXPECT_EQ(session->m_ChannelTable.Count(), 1);

  // A close of another channel leaves channel 3's record.
  view.Clear();
  Handle(Msg(PID_XAV_RES_CH_CLOSE, 1, {5}));
  EXPECT_EQ(session->m_nCurrentCH.load(), 5);
  EXPECT_EQ(session->m_ChannelTable.Count(), 1);

  view.Clear();
  Handle(Msg(PID_XAV_RES_CH_CLOSE, 1, {3}));
  ASSERT_EQ(view.Count(WM_DVR_RESP_CH_CLOSE), 1u);
  EXPECT_EQ(view.Find(WM_DVR_RESP_CH_CLOSE)->wParam, 3u);
  EXPECT_EQ(view.Find(WM_DVR_RESP_CH_CLOSE)->lParam, 1);
  EXPECT_EQ(session->m_nCurrentCH.load(), 3);
  EXPECT_EQ(session->m_ChannelTable.Count(), 0);
}

TEST_F(Parser, FirstFrameOpensTheRecordAndTheNewestWins) {
  EXPECT_FALSE(session->WaitForFrame(0));
  EXPECT_EQ(Handle(VideoMsg(2, 100, 100, 20100315, 101010)), ParseStep::Video);
  EXPECT_TRUE(debug.Contains("[DVR Data] Open Channel[2] and AddList!\r\n"));
  EXPECT_TRUE(session->WaitForFrame(0));   // handed over: the waiter is woken
  EXPECT_FALSE(session->WaitForFrame(0));  // once
  session->WakeFrameWaiter();
  EXPECT_TRUE(session->WaitForFrame(0));
  ChannelRef rec = session->m_ChannelTable.First();
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->channel.load(), 2u);
  EXPECT_EQ(rec->date.load(), 20100315u);
  ASSERT_EQ(rec->frames->Count(), 1);

  Handle(VideoMsg(2, 50, 50, 20100316, 101011));  // replaces the waiting frame
  EXPECT_TRUE(session->WaitForFrame(0));
  Handle(VideoMsg(7, 50, 50));  // another channel: dropped, nobody woken
  EXPECT_FALSE(session->WaitForFrame(0));
  EXPECT_EQ(session->m_ChannelTable.Count(), 1);
  EXPECT_EQ(rec->frames->Count(), 1);
  const std::uint8_t* data = nullptr;
  std::uint16_t w = 0, h = 0;
  std::uint32_t t = 0;
  EXPECT_EQ(rec->frames->PeekHead(&data, &w, &h, &t), 50u);
  EXPECT_EQ(t, 101011u);
  EXPECT_EQ(data[0], 0x10);
  rec->frames->DropHead();
  Handle(VideoMsg(2, 60, 60, 20100316, 101012));
  EXPECT_EQ(rec->frames->PeekHead(&data, &w, &h, &t), 60u);
  EXPECT_EQ(t, 101012u);
  EXPECT_EQ(rec->date.load(), 20100315u);  // the record keeps its opening date
}

// A pass of the parse thread takes every complete message in the ring, skips
// garbage on the way and leaves only an incomplete tail.
TEST_F(Parser, OnePassTakesEveryCompleteMessage) {
  for (int i = 0; i < 3; ++i) Feed(Msg(PID_XAV_RES_HEARTBEAT, 1, {}));
  Feed(VideoMsg(1, 100, 100));
  Feed({0x42, 0x42});  // garbage
  Feed(VideoMsg(1, 60, 60, 20100315, 130000));
  const Bytes tail = VideoMsg(1, 5000, 5000);
  Feed(Bytes(tail.begin(), tail.begin() + 100));
  EXPECT_EQ(session->ParsePass(), 5);
  EXPECT_EQ(Ring().DataSize(), 100);
  std::uint32_t t = 0;
  session->m_ChannelTable.First()->frames->PeekHead(nullptr, nullptr, nullptr, &t);
  EXPECT_EQ(t, 130000u);  // the newer of the two pictures
  Feed(Bytes(tail.begin() + 100, tail.end()));
  EXPECT_EQ(session->ParsePass(), 1);
  EXPECT_EQ(Ring().DataSize(), 0);
}

TEST_F(Parser, MalformedOrFailedVideoIsDropped) {
  Handle(Msg(PID_XAV_RES_VIDEO, 1, Bytes(20, 1)));  // shorter than the frame header
  Handle(VideoMsg(1, 500, 100));                      // picture runs past the body
  Bytes failed = VideoMsg(1, 10, 10);
  PutU32(failed.data() + 4, 0);  // result not 1
  Handle(failed);
  EXPECT_EQ(session->m_ChannelTable.Count(), 0);
  EXPECT_EQ(Ring().DataSize(), 0);  // each was taken whole
}
