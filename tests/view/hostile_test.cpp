// A hostile network through the site view: every case ends in a clean state
// and a status the user understands, never a hang or a status that waits
// forever. The same cases leave the session itself stopped and reusable.
#include <gtest/gtest.h>

#include <functional>

#include "dvrsim/ddns_server.h"
#include "net/ddns.h"
#include "support/pump.h"
#include "view_rig.h"

using namespace lv;
using namespace lvtest;

namespace {

// How a case ends: the link closed and everything stopped; still receiving
// pictures; or still connected with the last picture shown as not live.
enum End { Ends, Receiving, Stale };

struct HostileCase {
  const char* name;
  std::function<void(dvrsim::Config&)> setup;
  // Run while the view is open, before the end is awaited (may be empty).
  std::function<void(ViewRig&)> during;
  std::u16string status;  // where the view ends
  End end;
};

std::vector<std::uint8_t> GarbageBurst() {
  std::vector<std::uint8_t> bytes(10000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>((i * 37 + 11) % 0xAB);
  return bytes;
}

class Hostile : public testing::TestWithParam<HostileCase> {};

TEST_P(Hostile, EndsCleanWithAStatusTheUserUnderstands) {
  const HostileCase& c = GetParam();
  dvrsim::Config cfg;
  cfg.fps = 10;
  c.setup(cfg);
  ViewRig rig(cfg);
  rig.view.SetConnectTimeout(1500);
  rig.view.SetStallTimeout(2000);
  rig.view.SetOpenTimeout(1500);
  rig.Run([&] {
    if (c.during) c.during(rig);
    ASSERT_TRUE(rig.WaitStatusText(c.status, 8000))
        << QString::fromStdU16String(rig.view.StatusLabel().GetWindowText()).toStdString();
    if (c.end == Receiving) {
      EXPECT_TRUE(rig.WaitPictures(3, 8000));
      EXPECT_EQ(rig.view.Status(), ST_RECEIVING);
    } else if (c.end == Stale) {
      // Bytes still arrive, so the link is alive, but the picture says its age.
      EXPECT_TRUE(PumpUntil([&] { return rig.view.VideoCaption() == u"3 s"; }, 8000));
      EXPECT_EQ(rig.view.Status(), ST_RECEIVING);
      EXPECT_TRUE(rig.site.m_bStarted.load());
    } else {
      EXPECT_FALSE(rig.view.RenderThreadRunning());
      EXPECT_FALSE(rig.site.m_bStarted.load());
      EXPECT_FALSE(rig.site.SendThreadRunning() || rig.site.ParseThreadRunning());
      EXPECT_EQ(rig.view.ComposedChannels(), 0);  // grey: the user closes and connects again
    }
  });
  EXPECT_FALSE(rig.site.m_bStarted.load());
}

INSTANTIATE_TEST_SUITE_P(
    Network, Hostile,
    testing::Values(
        HostileCase{"HeaderWithoutBody", [](dvrsim::Config& c) { c.faults.stallAfterFrames = 3; }, {}, u"Disconnected",
                    Ends},
        HostileCase{"BodyDrippedOneBytePerSecond", [](dvrsim::Config& c) { c.faults.slowPictureAfterFrames = 3; }, {},
                    u"Receiving data", Stale},
        HostileCase{"OpenAnsweredForAnotherChannel", [](dvrsim::Config& c) { c.faults.openReplyChannel = 5; }, {},
                    u"Disconnected", Ends},
        HostileCase{"OpenAnsweredForChannel200",
                    [](dvrsim::Config& c) {
                      c.channelCount = 255;
                      c.faults.openReplyChannel = 200;
                    },
                    {}, u"Disconnected", Ends},
        HostileCase{"OpenNeverAnsweredWhileHeartbeatsCome",
                    [](dvrsim::Config& c) {
                      c.heartbeatMs = 200;
                      c.faults.silentOpen = true;
                    },
                    {}, u"Disconnected", Ends},
        HostileCase{"PictureJustUnderTheBodyBound",
                    [](dvrsim::Config& c) {
                      c.fps = 4;
                      c.faults.padPictureTo = kMaxBodyLength - 1;
                    },
                    {}, u"Receiving data", Receiving},
        HostileCase{"GarbageBurstsBetweenPictures", [](dvrsim::Config&) {},
                    [](ViewRig& rig) {
                      ASSERT_TRUE(rig.WaitPictures(2));
                      for (int i = 0; i < 5; ++i) {
                        rig.sim.SendGarbage(GarbageBurst());
                        PumpFor(60);
                      }
                    },
                    u"Receiving data", Receiving},
        HostileCase{"ResetInTheMiddleOfAPicture",
                    [](dvrsim::Config& c) { c.faults.resetMidPictureAfterFrames = 3; }, {}, u"Disconnected", Ends},
        HostileCase{"LoginNeverAnswered", [](dvrsim::Config& c) { c.faults.silentLogin = true; }, {},
                    u"Disconnected", Ends}),
    [](const testing::TestParamInfo<HostileCase>& i) { return std::string(i.param.name); });

TEST(HostileDdns, AServerThatAcceptsAndNeverAnswers) {
  dvrsim::DdnsServer ddns(std::map<std::string, std::string>{{"CAM01", "127.0.0.1"}});
  ASSERT_TRUE(ddns.Start(0));
  ddns.SetSilent(true);
  SetDdnsServer("127.0.0.1", ddns.Port());
  ViewRig rig;
  rig.site.m_strAddress = u"CAM01";
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitStatusText(u"Disconnected", 8000));
    EXPECT_EQ(rig.view.ComposedChannels(), 0);
  });
  SetDdnsServer(kDdnsHost, kDdnsPort);
  EXPECT_EQ(rig.sim.Connections(), 0u);
}

}  // namespace
