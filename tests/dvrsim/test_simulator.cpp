// The simulated DVR as a client sees it: replies byte by byte, refusals,
// pictures, PTZ, heartbeats, the request log and shutting down with clients.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <chrono>
#include <ctime>

#include "dvrsim/simulator.h"
#include "test_client.h"

using namespace dvrsim_test;
using dvrsim::Config;
using dvrsim::Simulator;

namespace {

std::unique_ptr<Simulator> Started(Config cfg) {
  auto sim = std::make_unique<Simulator>(std::move(cfg));
  EXPECT_TRUE(sim->Start()) << sim->Error();
  return sim;
}

Config SmallPictures(int fps = 50) {
  Config c;
  c.width = 160;
  c.height = 120;
  c.fps = fps;
  return c;
}

uint32_t Today() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return static_cast<uint32_t>((tm.tm_year + 1900) * 10000 + (tm.tm_mon + 1) * 100 + tm.tm_mday);
}

uint64_t SteadyMicros() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

}  // namespace

TEST(DvrSim, DeviceRepliesCarryTheConfiguredValues) {
  Config cfg;
  cfg.hardwareType = 3;
  cfg.channelCount = 8;
  cfg.osVersion = {1, 2, 3, 4};
  cfg.protoVersion = {2, 0, 3, 5};
  auto sim = Started(cfg);
  Client c(sim->Port());
  struct Case {
    uint32_t request;
    std::vector<uint8_t> body;
    uint32_t reply;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      {kReqHwInfo, {}, kResHwInfo, {3, 8}},
      {kReqOsInfo, {}, kResOsInfo, {1, 2, 3, 4}},
      {kReqProtoVer, {}, kResProtoVer, {2, 0, 3, 5}},
      {kReq010105, {7, 9}, kRes010105, {7, 9}},
  };
  for (const Case& k : cases) {
    c.Send(k.request, k.body);
    const auto m = c.Read();
    ASSERT_TRUE(m) << std::hex << k.request;
    EXPECT_EQ(m->id, k.reply);
    EXPECT_EQ(m->result, 1u);
    EXPECT_EQ(m->body, k.expected) << std::hex << k.request;
  }
}

TEST(DvrSim, LoginAcceptsOnlyConfiguredAccounts) {
  struct Case {
    const char* user;
    const char* password;
    bool refuseFault;
    uint32_t result;
  };
  const Case cases[] = {
      {"admin", "1234", false, 1},          {"admin", "123", false, 0xF0010000},
      {"guest", "1234", false, 0xF0010000}, {"viewer", "", false, 1},
      {"admin", "1234", true, 0xF0010000},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.user) + "/" + k.password);
    Config cfg;
    cfg.accounts.push_back({"viewer", ""});
    cfg.cameraMask = 0xC0000000;
    cfg.ptzMask = 0x40000000;
    cfg.lockMask = 0x20000000;
    cfg.functionMask = 0x20000000;
    cfg.faults.refuseLogin = k.refuseFault;
    auto sim = Started(cfg);
    Client c(sim->Port());
    const Msg m = c.LoginSequence(k.user, k.password);
    EXPECT_EQ(m.id, kResLogin);
    EXPECT_EQ(m.result, k.result);
    ASSERT_EQ(m.body.size(), 24u);
    if (k.result == 1) {
      EXPECT_EQ(U32(m.body, 0), 0xC0000000u);
      EXPECT_EQ(U32(m.body, 4), 0x40000000u);
      EXPECT_EQ(U32(m.body, 8), 0x20000000u);
      EXPECT_EQ(U32(m.body, 12), 0x20000000u);
      EXPECT_EQ(U32(m.body, 16), 0u);
      EXPECT_EQ(U32(m.body, 20), 0u);
    }
    // A refusal leaves the connection open.
    c.Send(kReqHwInfo);
    const auto after = c.Read();
    ASSERT_TRUE(after);
    EXPECT_EQ(after->id, kResHwInfo);

    const auto log = sim->Requests();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[3].id, kReqLogin);
    EXPECT_EQ(log[3].user, k.user);
    EXPECT_EQ(log[3].password, k.password);
    EXPECT_EQ(log[3].loginFlag, 1);
  }
}

TEST(DvrSim, ChannelOpenRefusesWhatTheDvrCannotShow) {
  Config cfg = SmallPictures(5);
  cfg.channelCount = 8;
  cfg.cameraMask = 0xF7FF0000;  // no camera on channel 4
  cfg.lockMask = 0x04000000;    // channel 5 locked
  cfg.noPermission = {1};
  cfg.noCamera = {2};
  auto sim = Started(cfg);
  Client c(sim->Port());

  // Before the login nothing may be opened.
  c.Send(kReqChOpen, OpenBody(0));
  auto early = c.Read();
  ASSERT_TRUE(early);
  EXPECT_EQ(early->result, 0xF0020000u);

  ASSERT_EQ(c.LoginSequence().result, 1u);
  const std::pair<uint8_t, uint32_t> cases[] = {{0, 1},          {1, 0xF0020000}, {2, 0xF0030000}, {4, 0xF0030000},
                                                {5, 0xF0020000}, {8, 0xF0030000}, {20, 0xF0030000}};
  for (const auto& [ch, result] : cases) {
    c.Send(kReqChOpen, OpenBody(ch));
    const auto m = c.ReadUntil(kResChOpen);
    ASSERT_TRUE(m) << int{ch};
    EXPECT_EQ(m->result, result) << int{ch};
    EXPECT_EQ(m->body, (std::vector<uint8_t>{ch, 0, 0}));
  }
}

TEST(DvrSim, VideoMessagesAreConsistentAndDecode) {
  Config cfg = SmallPictures();
  cfg.width = 320;
  cfg.height = 240;
  cfg.jpegQuality = 70;
  auto sim = Started(cfg);
  Client c(sim->Port());
  ASSERT_EQ(c.LoginSequence().result, 1u);
  const uint32_t dayBefore = Today();
  const uint64_t before = SteadyMicros();
  c.Send(kReqChOpen, OpenBody(3));
  ASSERT_EQ(c.ReadUntil(kResChOpen)->result, 1u);

  tjhandle tj = tjInitDecompress();
  std::vector<uint8_t> previous;
  uint64_t lastStamp = 0;
  std::vector<uint8_t> rgb(320 * 240 * 3);
  for (uint32_t seq = 1; seq <= 3; ++seq) {
    const auto m = c.Read();
    ASSERT_TRUE(m);
    ASSERT_EQ(m->id, kResVideo);
    EXPECT_EQ(m->result, 1u);
    const auto& b = m->body;
    ASSERT_GE(b.size(), 29u);
    EXPECT_EQ(b[0], 3);
    EXPECT_EQ(U16(b, 2), 320);
    EXPECT_EQ(U16(b, 4), 240);
    const uint32_t date = U32(b, 6), time = U32(b, 10);
    EXPECT_TRUE(date == dayBefore || date == Today()) << date;
    EXPECT_LT(time / 10000, 24u);
    EXPECT_LT(time / 100 % 100, 60u);
    EXPECT_LT(time % 100, 60u);
    EXPECT_EQ(U32(b, 14), b.size() - 29);
    EXPECT_EQ(U32(b, 18), seq);
    uint64_t stamp = 0;
    for (size_t i = 22; i < 29; ++i) stamp = stamp << 8 | b[i];
    EXPECT_GE(stamp, before);
    EXPECT_GE(stamp, lastStamp);
    EXPECT_LE(stamp, SteadyMicros());
    lastStamp = stamp;

    const std::vector<uint8_t> jpeg(b.begin() + 29, b.end());
    int w = 0, h = 0, sub = 0, cs = 0;
    ASSERT_EQ(tjDecompressHeader3(tj, jpeg.data(), jpeg.size(), &w, &h, &sub, &cs), 0);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    EXPECT_EQ(sub, TJSAMP_420);
    EXPECT_EQ(tjDecompress2(tj, jpeg.data(), jpeg.size(), rgb.data(), 320, 0, 240, TJPF_RGB, 0), 0);
    EXPECT_NE(jpeg, previous);
    previous = jpeg;
  }
  tjDestroy(tj);
  EXPECT_GE(sim->FramesSent(), 3u);
}

TEST(DvrSim, ChannelCloseStopsItsVideo) {
  auto sim = Started(SmallPictures(100));
  Client c(sim->Port());
  ASSERT_EQ(c.LoginSequence().result, 1u);
  c.Send(kReqChOpen, OpenBody(0));
  ASSERT_TRUE(c.ReadUntil(kResVideo));
  c.Send(kReqChClose, {0});
  const auto closed = c.ReadUntil(kResChClose);
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->result, 1u);
  EXPECT_EQ(closed->body, std::vector<uint8_t>{0});
  // Requests are answered in order, so nothing between the close reply and
  // the next reply may be a picture.
  c.Send(kReqHwInfo);
  std::vector<Msg> between;
  ASSERT_TRUE(c.ReadUntil(kResHwInfo, &between));
  for (const Msg& m : between) EXPECT_NE(m.id, kResVideo);
}

TEST(DvrSim, PtzCommandsMoveOnlyPtzCameras) {
  Config cfg = SmallPictures(100);
  cfg.ptzMask = 0x80000000;  // channel 0
  auto sim = Started(cfg);
  Client c(sim->Port());
  ASSERT_EQ(c.LoginSequence().result, 1u);
  c.Send(kReqChOpen, OpenBody(0));
  c.Send(kReqPtz, {0, 2});  // right
  const auto reply = c.ReadUntil(kResPtz);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->result, 1u);
  EXPECT_TRUE(reply->body.empty());
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(c.ReadUntil(kResVideo));
  EXPECT_GT(sim->Ptz(0).pan, 0);
  EXPECT_EQ(sim->Ptz(0).code, 2);

  c.Send(kReqPtz, {0, 0});
  ASSERT_TRUE(c.ReadUntil(kResPtz));
  ASSERT_TRUE(c.ReadUntil(kResVideo));
  const dvrsim::PtzPosition stopped = sim->Ptz(0);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(c.ReadUntil(kResVideo));
  EXPECT_EQ(sim->Ptz(0), stopped);

  c.Send(kReqPtz, {1, 9});  // channel 1 has no PTZ camera: answered, nothing moves
  EXPECT_EQ(c.ReadUntil(kResPtz)->result, 1u);
  EXPECT_EQ(sim->Ptz(1), dvrsim::PtzPosition{});
}

TEST(DvrSim, HeartbeatsAndUnaskedMessages) {
  Config cfg;
  cfg.heartbeatMs = 10;
  cfg.sendUnasked010002 = true;
  auto sim = Started(cfg);
  Client c(sim->Port());
  const auto beat = c.Read();  // nothing asked yet
  ASSERT_TRUE(beat);
  EXPECT_EQ(beat->id, kResHeartbeat);
  EXPECT_EQ(beat->result, 1u);
  EXPECT_TRUE(beat->body.empty());

  c.Send(kReqLogin, LoginBody("admin", "1234"));
  ASSERT_TRUE(c.ReadUntil(kResLogin));
  std::vector<Msg> skipped;
  const auto unasked = c.ReadUntil(kRes010002, &skipped);
  ASSERT_TRUE(unasked);
  EXPECT_EQ(unasked->result, 1u);
  for (const Msg& m : skipped) EXPECT_EQ(m.id, kResHeartbeat);

  EXPECT_EQ(sim->SendHeartbeat(0x55), 1u);
  for (;;) {
    const auto m = c.ReadUntil(kResHeartbeat);
    ASSERT_TRUE(m);
    if (m->result == 0x55) break;
    EXPECT_EQ(m->result, 1u);
  }
}

TEST(DvrSim, RequestLogKeepsEveryRequestInOrder) {
  Config cfg;
  cfg.ptzMask = 0x40000000;
  auto sim = Started(cfg);
  Client a(sim->Port());
  a.Send(kReqHwInfo);
  ASSERT_TRUE(a.Read());
  Client b(sim->Port());
  const std::vector<std::vector<uint8_t>> sent = {
      Frame(kReqPtz, {1, 9}),
      Frame(kReq010105, {4, 5}),
      Frame(0x0B7F0001, {1, 2, 3}),           // unknown: logged, not answered
      Frame(kReqChOpen, {1, 1, 0, 0, 0}),     // malformed: logged, not answered
      Frame(kReqChClose, {6}),
      Frame(kReqHwInfo),
  };
  for (const auto& m : sent) b.SendBytes(m);
  std::vector<uint32_t> replies;
  for (int i = 0; i < 4; ++i) replies.push_back(b.Read().value_or(Msg{}).id);
  EXPECT_EQ(replies, (std::vector<uint32_t>{kResPtz, kRes010105, kResChClose, kResHwInfo}));

  ASSERT_TRUE(sim->WaitForRequests(7, 2000));
  const auto log = sim->Requests();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[0].connection, 0u);
  EXPECT_EQ(log[0].raw, Frame(kReqHwInfo));
  for (size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(log[i + 1].connection, 1u);
    EXPECT_EQ(log[i + 1].raw, sent[i]) << i;
  }
  EXPECT_EQ(log[1].channel, 1);
  EXPECT_EQ(log[1].ptzCode, 9);
  EXPECT_EQ(log[1].Describe(), "CONTROL_PTZ channel=1 code=9");
  EXPECT_EQ(log[2].v1, 4);
  EXPECT_EQ(log[2].v2, 5);
  EXPECT_EQ(log[3].id, 0x0B7F0001u);
  EXPECT_FALSE(log[4].wellFormed);
  EXPECT_EQ(log[5].channel, 6);
  EXPECT_EQ(sim->Connections(), 2u);
}

TEST(DvrSim, RequestWithAnImpossibleLengthEndsTheConnection) {
  auto sim = Started(Config{});
  Client c(sim->Port());
  c.SendBytes({0x0B, 0, 0, 1, 0, 0, 0, 0, 0x10, 0, 0, 0});
  EXPECT_TRUE(c.SeesEndOfStream());
  ASSERT_TRUE(sim->WaitForRequests(1, 2000));
  EXPECT_FALSE(sim->Requests()[0].wellFormed);
  EXPECT_EQ(sim->Requests()[0].bodyLength, 0x10000000u);
}

TEST(DvrSim, StopsWithClientsConnectedAndStreaming) {
  auto sim = Started(SmallPictures(100));
  std::vector<std::unique_ptr<Client>> clients;
  for (uint8_t ch = 0; ch < 3; ++ch) {
    clients.push_back(std::make_unique<Client>(sim->Port()));
    ASSERT_EQ(clients.back()->LoginSequence().result, 1u);
    clients.back()->Send(kReqChOpen, OpenBody(ch));
  }
  ASSERT_TRUE(sim->WaitForFrames(6, 5000));
  EXPECT_EQ(sim->OpenConnections(), 3u);
  sim->Stop();
  EXPECT_EQ(sim->OpenConnections(), 0u);
  for (auto& c : clients) EXPECT_TRUE(c->SeesEndOfStream());
  sim->Stop();  // twice is harmless
}

TEST(DvrSim, StartFailsOnAPortInUse) {
  auto first = Started(Config{});
  Simulator second{Config{}};
  EXPECT_FALSE(second.Start(first->Port()));
  EXPECT_FALSE(second.Error().empty());
}
