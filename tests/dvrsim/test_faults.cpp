// Every fault of the simulated DVR, observed on the wire.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include "dvrsim/simulator.h"
#include "test_client.h"

using namespace dvrsim_test;
using dvrsim::Config;
using dvrsim::Simulator;

namespace {

std::unique_ptr<Simulator> Started(Config cfg) {
  cfg.width = 160;
  cfg.height = 120;
  cfg.fps = 100;
  auto sim = std::make_unique<Simulator>(std::move(cfg));
  EXPECT_TRUE(sim->Start()) << sim->Error();
  return sim;
}

Config WithFaults(void (*set)(dvrsim::Faults&)) {
  Config c;
  set(c.faults);
  return c;
}

// After a picture has arrived, asks for the hardware info and returns what
// came before its reply: requests are answered in order, so this is all the
// stream carried up to that point.
std::vector<Msg> UpToNextReply(Client& c) {
  c.Send(kReqHwInfo);
  std::vector<Msg> before;
  EXPECT_TRUE(c.ReadUntil(kResHwInfo, &before));
  return before;
}

}  // namespace

TEST(DvrSimFaults, GarbageFollowsEveryNthMessageAndNeverHoldsAMessageStart) {
  auto sim = Started(WithFaults([](dvrsim::Faults& f) { f.garbageEveryN = 2; }));
  // Three connections, so three random sequences and a few thousand bytes.
  for (int conn = 0; conn < 3; ++conn) {
    Client c(sim->Port());
    for (uint8_t i = 0; i < 200; ++i) c.Send(kReq010105, {i, static_cast<uint8_t>(~i)});
    // A message starts with 0xAB and garbage never holds that byte, so the
    // stream parses without any search; a 0xAB in garbage breaks the parse.
    std::vector<size_t> garbageRuns(1, 0);
    std::vector<uint8_t> byte;
    for (uint8_t i = 0; i < 200;) {
      ASSERT_TRUE(c.ReadExact(1, &byte));
      if (byte[0] != 0xAB) {
        ++garbageRuns.back();
        continue;
      }
      std::vector<uint8_t> header{0xAB}, rest, body;
      ASSERT_TRUE(c.ReadExact(11, &rest));
      header.insert(header.end(), rest.begin(), rest.end());
      ASSERT_EQ(U32(header, 0), kRes010105) << int{i};
      ASSERT_EQ(U32(header, 8), 2u);
      ASSERT_TRUE(c.ReadExact(2, &body));
      EXPECT_EQ(body, (std::vector<uint8_t>{i, static_cast<uint8_t>(~i)}));
      garbageRuns.push_back(0);
      ++i;
    }
    // garbageRuns[k] follows the kth message: garbage after the 2nd, 4th, ... only.
    for (size_t k = 0; k + 1 < garbageRuns.size(); ++k) {
      if (k % 2 == 1 || k == 0) {
        EXPECT_EQ(garbageRuns[k], 0u) << k;
      } else {
        EXPECT_GE(garbageRuns[k], 1u) << k;
        EXPECT_LE(garbageRuns[k], 16u) << k;
      }
    }
  }
}

TEST(DvrSimFaults, DripSendsEveryByteOnItsOwn) {
  auto sim = Started(WithFaults([](dvrsim::Faults& f) {
    f.drip = true;
    f.dripPauseUs = 20;
  }));
  Client c(sim->Port());
  const Msg login = c.LoginSequence();
  EXPECT_EQ(login.result, 1u);
  EXPECT_EQ(login.body.size(), 24u);
  sim->Stop();  // the counters are final once the connection's thread has ended
  EXPECT_EQ(sim->BytesSent(), 12u * 4 + 2 + 4 + 4 + 24);
  EXPECT_GE(sim->SendCalls(), sim->BytesSent());
}

TEST(DvrSimFaults, WrongBodyLengths) {
  Config cfg = WithFaults([](dvrsim::Faults& f) { f.wrongBodyLength = true; });
  cfg.hardwareType = 2;
  cfg.channelCount = 4;
  auto sim = Started(cfg);
  Client c(sim->Port());
  c.Send(kReqHwInfo);
  const auto hw = c.Read();
  ASSERT_TRUE(hw);
  EXPECT_EQ(hw->body, (std::vector<uint8_t>{2, 4, 0}));
  const Msg login = c.LoginSequence();
  EXPECT_EQ(login.result, 1u);
  ASSERT_EQ(login.body.size(), 20u);
  EXPECT_EQ(U32(login.body, 0), cfg.cameraMask);
}

TEST(DvrSimFaults, OversizedBodyLengthHeaderThenNormalStream) {
  auto sim = Started(WithFaults([](dvrsim::Faults& f) { f.oversizedBodyLength = true; }));
  Client c(sim->Port());
  ASSERT_EQ(c.LoginSequence().result, 1u);
  std::vector<uint8_t> h;
  ASSERT_TRUE(c.ReadExact(12, &h));
  EXPECT_EQ(U32(h, 0), kResHeartbeat);
  EXPECT_EQ(U32(h, 4), 1u);
  EXPECT_EQ(U32(h, 8), 0x7FFFFFF0u);
  // No body follows: the next bytes are the next message.
  c.Send(kReqHwInfo);
  const auto next = c.Read();
  ASSERT_TRUE(next);
  EXPECT_EQ(next->id, kResHwInfo);
  EXPECT_EQ(next->body.size(), 2u);
}

TEST(DvrSimFaults, ShortVideoBodiesComeBeforeTheFirstPicture) {
  auto sim = Started(WithFaults([](dvrsim::Faults& f) { f.shortVideoBody = true; }));
  Client c(sim->Port());
  ASSERT_EQ(c.LoginSequence().result, 1u);
  c.Send(kReqChOpen, OpenBody(0));
  const auto tooShort = c.ReadUntil(kResVideo);
  ASSERT_TRUE(tooShort);
  EXPECT_LT(tooShort->body.size(), 29u);
  const auto overrun = c.Read();
  ASSERT_TRUE(overrun);
  ASSERT_EQ(overrun->id, kResVideo);
  ASSERT_GE(overrun->body.size(), 29u);
  EXPECT_GT(U32(overrun->body, 14), overrun->body.size() - 29);
  const auto good = c.Read();
  ASSERT_TRUE(good);
  ASSERT_EQ(good->id, kResVideo);
  EXPECT_EQ(U32(good->body, 14), good->body.size() - 29);
  EXPECT_EQ(U32(good->body, 18), 1u);
}

TEST(DvrSimFaults, EveryNthPictureIsScrambled) {
  auto sim = Started(WithFaults([](dvrsim::Faults& f) { f.corruptPictureEveryN = 2; }));
  Client c(sim->Port());
  ASSERT_EQ(c.LoginSequence().result, 1u);
  c.Send(kReqChOpen, OpenBody(0));
  tjhandle tj = tjInitDecompress();
  for (uint32_t seq = 1; seq <= 4; ++seq) {
    const auto m = c.ReadUntil(kResVideo);
    ASSERT_TRUE(m);
    EXPECT_EQ(U32(m->body, 18), seq);
    EXPECT_EQ(U32(m->body, 14), m->body.size() - 29);
    int w = 0, h = 0, sub = 0, cs = 0;
    const bool decodes = tjDecompressHeader3(tj, m->body.data() + 29, m->body.size() - 29, &w, &h, &sub, &cs) == 0;
    EXPECT_EQ(decodes, seq % 2 == 1) << seq;
  }
  tjDestroy(tj);
}

TEST(DvrSimFaults, ChannelClosedUnaskedAfterNPictures) {
  auto sim = Started(WithFaults([](dvrsim::Faults& f) { f.closeChannelAfterFrames = 3; }));
  Client c(sim->Port());
  ASSERT_EQ(c.LoginSequence().result, 1u);
  c.Send(kReqChOpen, OpenBody(2));
  ASSERT_TRUE(c.ReadUntil(kResChOpen));
  std::vector<Msg> pictures;
  const auto closed = c.ReadUntil(kResChClose, &pictures);
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->result, 1u);
  EXPECT_EQ(closed->body, std::vector<uint8_t>{2});
  EXPECT_EQ(pictures.size(), 3u);
  for (const Msg& m : UpToNextReply(c)) EXPECT_NE(m.id, kResVideo);
}

TEST(DvrSimFaults, ConnectionDroppedAfterNPictures) {
  auto sim = Started(WithFaults([](dvrsim::Faults& f) { f.dropAfterFrames = 2; }));
  Client c(sim->Port());
  ASSERT_EQ(c.LoginSequence().result, 1u);
  c.Send(kReqChOpen, OpenBody(0));
  ASSERT_TRUE(c.ReadUntil(kResChOpen));
  int pictures = 0;
  while (const auto m = c.Read()) pictures += m->id == kResVideo;
  EXPECT_TRUE(c.SeesEndOfStream());
  EXPECT_EQ(pictures, 2);
  // The DVR itself carries on.
  Client again(sim->Port());
  EXPECT_EQ(again.LoginSequence().result, 1u);
}

TEST(DvrSimFaults, DropOnLoginClosesWithoutReply) {
  auto sim = Started(WithFaults([](dvrsim::Faults& f) { f.dropOnLogin = true; }));
  Client c(sim->Port());
  c.Send(kReqHwInfo);
  c.Send(kReqLogin, LoginBody("admin", "1234"));
  const auto hw = c.Read();
  ASSERT_TRUE(hw);
  EXPECT_EQ(hw->id, kResHwInfo);
  EXPECT_FALSE(c.Read());
  EXPECT_TRUE(c.SeesEndOfStream());
  ASSERT_TRUE(sim->WaitForRequests(2, 2000));
  EXPECT_EQ(sim->Requests()[1].id, kReqLogin);
}

TEST(DvrSimFaults, LiveActionsReachTheOpenConnection) {
  Config cfg;
  auto sim = Started(cfg);
  Client c(sim->Port());
  ASSERT_EQ(c.LoginSequence().result, 1u);
  c.Send(kReqChOpen, OpenBody(1));
  ASSERT_TRUE(c.ReadUntil(kResVideo));

  EXPECT_EQ(sim->CloseChannelUnasked(1), 1u);
  const auto closed = c.ReadUntil(kResChClose);
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->result, 1u);
  EXPECT_EQ(closed->body, std::vector<uint8_t>{1});
  for (const Msg& m : UpToNextReply(c)) EXPECT_NE(m.id, kResVideo);

  const std::vector<uint8_t> raw = Frame(0xAB7F7F7F, {9, 8});
  EXPECT_EQ(sim->SendGarbage({1, 2, 3}), 1u);
  EXPECT_EQ(sim->SendRaw(raw), 1u);
  std::vector<uint8_t> got;
  ASSERT_TRUE(c.ReadExact(3 + raw.size(), &got));
  std::vector<uint8_t> expected{1, 2, 3};
  expected.insert(expected.end(), raw.begin(), raw.end());
  EXPECT_EQ(got, expected);

  EXPECT_EQ(sim->DropConnection(), 1u);
  EXPECT_TRUE(c.SeesEndOfStream());
}
