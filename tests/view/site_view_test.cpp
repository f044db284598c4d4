// The site view against the simulated DVR: status sequences, channel choice
// and switching, PTZ steering with every way a held button can end, the
// labels, the pictures in the video area and the reuse of the view object.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QTest>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "controls/skin.h"
#include "platform/core/resolver.h"
#include "platform/ui/accessible.h"
#include "platform/ui/window_api.h"
#include "protocol/ids.h"
#include "support_gui/test_window.h"
#include "support/pump.h"
#include "view_rig.h"

using namespace lv;
using namespace lvtest;

namespace {

constexpr std::uint32_t Bit(int channel) { return 1u << (31 - channel); }

struct StatusCase {
  const char* name;
  std::function<void(dvrsim::Config&)> setup;
  std::u16string status;      // what the status label ends at
  int composed;               // channels composed as present
  std::u16string title;       // title label at the end
};

class ViewStatus : public testing::TestWithParam<StatusCase> {};

TEST_P(ViewStatus, EndsWhereTheUserExpects) {
  const StatusCase& c = GetParam();
  dvrsim::Config cfg;
  c.setup(cfg);
  ViewRig rig(cfg);
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitStatusText(c.status)) << "status stayed "
                                              << QString::fromStdU16String(rig.view.StatusLabel().GetWindowText()).toStdString();
    PumpFor(150);
    EXPECT_EQ(rig.view.StatusLabel().GetWindowText(), c.status);
    EXPECT_EQ(rig.view.TitleLabel().GetWindowText(), c.title);
    EXPECT_EQ(rig.view.ComposedChannels(), c.composed);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ViewStatus,
    testing::Values(
        StatusCase{"GoodLogin", [](dvrsim::Config&) {}, u"Receiving data", 16, u"Office[CH.1]"},
        StatusCase{"RefusedLogin", [](dvrsim::Config& c) { c.faults.refuseLogin = true; }, u"Check User Account", 0,
                   u""},
        StatusCase{"WrongPassword", [](dvrsim::Config& c) { c.accounts = {{"admin", "other"}}; },
                   u"Check User Account", 0, u""},
        StatusCase{"LoginDropped", [](dvrsim::Config& c) { c.faults.dropOnLogin = true; }, u"Check User Account", 0,
                   u""},
        StatusCase{"NoCameraAnywhere", [](dvrsim::Config& c) { c.cameraMask = 0; }, u"No Camera", 16, u""},
        StatusCase{"OnlyChannelLocked",
                   [](dvrsim::Config& c) {
                     c.cameraMask = Bit(0);
                     c.lockMask = Bit(0);
                   },
                   u"No Permission", 16, u""},
        StatusCase{"FirstCameraOnChannel2",
                   [](dvrsim::Config& c) {
                     c.channelCount = 4;
                     c.cameraMask = 0x7FFF0000;
                   },
                   u"Receiving data", 4, u"Office[CH.2]"},
        StatusCase{"FirstCameraBeyondCount",
                   [](dvrsim::Config& c) {
                     c.channelCount = 4;
                     c.cameraMask = Bit(5);
                   },
                   u"No Camera", 4, u""},
        StatusCase{"NoChannels", [](dvrsim::Config& c) { c.channelCount = 0; }, u"No Camera", 0, u""},
        StatusCase{"OpenRefusedNoPermission", [](dvrsim::Config& c) { c.noPermission = {0}; }, u"No Permission", 16,
                   u""},
        StatusCase{"OpenRefusedNoCamera", [](dvrsim::Config& c) { c.noCamera = {0}; }, u"No Camera", 16, u""}),
    [](const testing::TestParamInfo<StatusCase>& i) { return std::string(i.param.name); });

// A port nobody listens on.
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

TEST(ViewConnect, EveryConnectionThatCannotCompleteEndsDisconnected) {
  // Refused at once; a peer that takes the connection and never answers; an
  // address that is no address.
  const int closed = ClosedPort();
  const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(silent, 4), 0);
  ::getsockname(silent, reinterpret_cast<sockaddr*>(&a), &len);

  struct Case {
    std::u16string address;
    int port;
    const char* why;
  };
  for (const Case& c : {Case{u"127.0.0.1", closed, "refused"}, Case{u"127.0.0.1", ntohs(a.sin_port), "no answer"},
                        Case{u"127.0.0.1", 0, "bad port"}}) {
    SCOPED_TRACE(c.why);
    DebugCapture debug;
    ViewRig rig({}, false);
    rig.site.m_strAddress = c.address;
    rig.site.m_nPort = c.port;
    rig.view.SetConnectTimeout(400);
    rig.Run([&] {
      ASSERT_TRUE(rig.WaitStatusText(u"Disconnected", 5000));
      EXPECT_EQ(rig.view.ComposedChannels(), 0);
      EXPECT_FALSE(rig.site.m_bStarted.load());
    });
    bool said = false;
    for (const std::string& line : debug.Lines()) said |= line.find("Link Fail! => Disconnected") != std::string::npos;
    EXPECT_TRUE(said);
  }
  ::close(silent);
}

// The look-up thread may outlive the test: what its hook uses is static.
std::atomic<bool> g_releaseLookup{false};

TEST(ViewConnect, ASlowNameServerNeverFreezesTheView) {
  g_releaseLookup = false;
  lv::SetResolverHook([](const std::string&) -> std::optional<std::uint32_t> {
    for (int i = 0; i < 20000 && !g_releaseLookup; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return std::nullopt;
  });
  ViewRig rig;
  rig.site.m_strAddress = u"dvr.slow-dns.test";
  rig.Run([&] {
    // Timers, painting and the pen all go on while the name is looked up.
    ASSERT_TRUE(rig.WaitStatusText(u"Trying to login", 2000));
    rig.TapView({240, 200});
    RepaintNow(rig.view.GetSafeHwnd());
    EXPECT_FALSE(rig.Grab().isNull());
    EXPECT_TRUE(rig.site.LookupPending());
  });
  // Closed during the look-up: nothing waits for it, nothing connects.
  EXPECT_FALSE(rig.site.LookupPending());
  g_releaseLookup = true;
  lv::SetResolverHook({});
  EXPECT_EQ(rig.sim.Connections(), 0u);
}

TEST(ViewChannels, SwitchesToPermittedAbsentAndLockedChannels) {
  dvrsim::Config cfg;
  cfg.channelCount = 4;
  cfg.cameraMask = Bit(0) | Bit(1) | Bit(2);
  cfg.lockMask = Bit(1);
  ViewRig rig(cfg);
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitStatusText(u"Receiving data"));
    ASSERT_TRUE(rig.WaitPictures(1));
    // Channel 4 is composed but has no camera; channel 5 is absent (grey).
    rig.Click(rig.view.ChannelButton(4));
    PumpFor(100);
    EXPECT_EQ(rig.view.Status(), ST_RECEIVING);
    // Tapping the open channel does nothing.
    rig.Click(rig.view.ChannelButton(0));
    PumpFor(100);
    EXPECT_TRUE(rig.RequestsOf(PID_XAV_REQ_CH_CLOSE).empty());

    rig.Click(rig.view.ChannelButton(2));  // permitted: close, then open
    ASSERT_TRUE(rig.WaitStatusText(u"Receiving data") && rig.WaitStatus(ST_RECEIVING));
    ASSERT_TRUE(PumpUntil([&] { return rig.view.TitleLabel().GetWindowText() == u"Office[CH.3]"; }));
    rig.Click(rig.view.ChannelButton(1));  // locked
    ASSERT_TRUE(rig.WaitStatusText(u"No Permission"));
    EXPECT_FALSE(rig.view.HasPicture());  // the title picture is back
    rig.Click(rig.view.ChannelButton(3));  // no camera, from "No Permission": no request
    ASSERT_TRUE(rig.WaitStatusText(u"No Camera"));
    rig.Click(rig.view.ChannelButton(0));  // permitted again
    ASSERT_TRUE(rig.WaitStatusText(u"Receiving data"));
    ASSERT_TRUE(rig.WaitPictures(2));
    EXPECT_EQ(rig.view.RenderThreadStarts(), 1);  // one thread across all of it
  });
  std::vector<std::pair<std::uint32_t, int>> asked;
  for (const dvrsim::Request& r : rig.sim.Requests())
    if (r.id == PID_XAV_REQ_CH_OPEN || r.id == PID_XAV_REQ_CH_CLOSE) asked.emplace_back(r.id, r.channel);
  const std::vector<std::pair<std::uint32_t, int>> expected = {
      {PID_XAV_REQ_CH_OPEN, 0},  {PID_XAV_REQ_CH_CLOSE, 0}, {PID_XAV_REQ_CH_OPEN, 2},
      {PID_XAV_REQ_CH_CLOSE, 2}, {PID_XAV_REQ_CH_OPEN, 0}};
  EXPECT_EQ(asked, expected);
}

TEST(ViewChannels, UnaskedCloseAndLinkDropWhileDrawingEndDisconnected) {
  for (bool drop : {false, true}) {
    SCOPED_TRACE(drop ? "link drop" : "unasked close");
    ViewRig rig;
    rig.Run([&] {
      ASSERT_TRUE(rig.WaitPictures(3));
      if (drop) rig.sim.DropConnection();
      else rig.sim.CloseChannelUnasked(0);
      ASSERT_TRUE(rig.WaitStatusText(u"Disconnected"));
      EXPECT_FALSE(rig.view.RenderThreadRunning());
      // Grey buttons, and the last picture dimmed under the status: nothing looks live.
      EXPECT_EQ(rig.view.ComposedChannels(), 0);
      EXPECT_TRUE(PumpUntil([&] { return rig.view.VideoCaption() == u"Disconnected"; }));
      EXPECT_FALSE(rig.site.m_bStarted.load());
    });
  }
}

TEST(ViewPictures, DamagedPicturesNeverStopTheChannel) {
  dvrsim::Config cfg;
  cfg.faults.corruptPictureEveryN = 2;
  ViewRig rig(cfg);
  rig.Run([&] { EXPECT_TRUE(rig.WaitPictures(10, 8000)); });
}

TEST(ViewPictures, TheSimulatorsPictureFillsTheVideoArea) {
  ViewRig rig;
  QByteArray jpeg;
  rig.view.m_onPicturePainted = [&](const FrameRecord& f) {
    ++rig.painted;
    jpeg = QByteArray(reinterpret_cast<const char*>(f.data), static_cast<int>(f.size));
  };
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitPictures(2));
    const QImage shown = rig.Grab().copy(0, 50, 480, 360);
    const QImage expected = QImage::fromData(jpeg)
                                .scaled(480, 360, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                .convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(expected.isNull());
    // Every pixel close to the picture stretched over the whole area.
    long long diff = 0;
    for (int y = 0; y < 360; ++y)
      for (int x = 0; x < 480; ++x) {
        const QRgb a = shown.pixel(x, y), b = expected.pixel(x, y);
        diff += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
      }
    EXPECT_LT(diff / (480 * 360 * 3), 6);
    // Size and time follow within a second: 704 is shown as 720.
    EXPECT_TRUE(PumpUntil([&] { return rig.view.SizeLabel().GetWindowText() == u"720 X 480"; }, 2500));
    EXPECT_TRUE(PumpUntil([&] { return rig.view.DateTimeLabel().GetWindowText().size() == 19; }, 2500));
  });
}

struct PtzCase {
  const char* name;
  std::array<std::uint8_t, 4> proto;
  std::array<std::uint8_t, 4> os;
  std::uint8_t hwType;
  bool allowed;
};

class ViewPtzGate : public testing::TestWithParam<PtzCase> {};

TEST_P(ViewPtzGate, TapOnThePictureEntersPtzOnlyWhenAllowed) {
  const PtzCase& c = GetParam();
  dvrsim::Config cfg;
  cfg.ptzMask = Bit(0);
  cfg.protoVersion = c.proto;
  cfg.osVersion = c.os;
  cfg.hardwareType = c.hwType;
  ViewRig rig(cfg);
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitStatus(ST_RECEIVING));
    if (c.allowed) {
      // The video area is y 61..399 of the window; 60 and 400 are not.
      for (int y : {60, 400}) {
        rig.TapView({240, y});
        EXPECT_FALSE(rig.view.PtzMode()) << y;
      }
    }
    rig.TapView({240, 61});
    EXPECT_EQ(rig.view.PtzMode(), c.allowed);
    EXPECT_EQ(lv::IsWindowVisible(rig.view.PtzButton(0)), c.allowed);
  });
}

INSTANTIATE_TEST_SUITE_P(Versions, ViewPtzGate,
                         testing::Values(PtzCase{"Old", {2, 0, 3, 3}, {5, 0, 2, 1}, 0, false},
                                         PtzCase{"NewProtocol", {2, 0, 3, 4}, {5, 0, 2, 1}, 0, true},
                                         PtzCase{"NewOsHw0", {2, 0, 3, 3}, {5, 0, 2, 2}, 0, true},
                                         PtzCase{"NewOsHw1", {2, 0, 3, 3}, {5, 0, 2, 2}, 1, false}),
                         [](const testing::TestParamInfo<PtzCase>& i) { return std::string(i.param.name); });

TEST(ViewPtz, EveryMoveIsFollowedByAStop) {
  dvrsim::Config cfg;
  cfg.ptzMask = Bit(0);
  ViewRig rig(cfg);
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitStatus(ST_RECEIVING));
    rig.TapView({240, 200});
    ASSERT_TRUE(rig.view.PtzMode());
    const HWND zoomIn = rig.view.PtzButton(14);
    // Held and lifted on the button.
    rig.PenDown(zoomIn, {60, 30});
    EXPECT_EQ(rig.view.PressedPtz(), 14);
    rig.PenUp(zoomIn, {60, 30});
    EXPECT_EQ(rig.view.PressedPtz(), -1);
    // Held, slid off and lifted elsewhere.
    rig.PenDown(rig.view.PtzButton(1), {60, 30});
    QTest::mouseMove(lv::WidgetFromHandle(rig.view.PtzButton(1)), {60, -200});
    rig.PenUp(rig.view.PtzButton(1), {60, -200});
    // Blank and EXIT send nothing; EXIT brings the channel grid back.
    rig.Click(rig.view.PtzButton(5));
    rig.PenDown(rig.view.PtzButton(4), {60, 30});  // left, held while the window loses activation
    QWidget other;
    ShowActive(&other);
    PumpFor(50);
    ShowActive(rig.view.GetWidget());
    rig.PenUp(rig.view.PtzButton(4), {60, 30});
    rig.Click(rig.view.PtzButton(3));
    EXPECT_FALSE(rig.view.PtzMode());
    EXPECT_TRUE(lv::IsWindowVisible(rig.view.ChannelButton(0)));
    // Held while the view closes.
    rig.TapView({240, 200});
    rig.PenDown(rig.view.PtzButton(6), {60, 30});
  });
  ASSERT_TRUE(rig.sim.WaitForRequests(1, 100));
  PumpUntil([&] { return rig.PtzCodes().size() >= 9; }, 2000);
  // zoom in, stop; up, stop; left, stop (activation lost), stop (pen up); right, stop (close)
  EXPECT_EQ(rig.PtzCodes(), (std::vector<int>{9, 0, 3, 0, 1, 0, 0, 2, 0}));
  for (const dvrsim::Request& r : rig.RequestsOf(PID_XAV_REQ_CONTROL_PTZ)) EXPECT_EQ(r.channel, 0);
}

TEST(ViewPtz, AHeldButtonsOverlayGoesWhenTheLinkDoes) {
  dvrsim::Config cfg;
  cfg.ptzMask = Bit(0);
  ViewRig rig(cfg);
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitStatus(ST_RECEIVING));
    rig.TapView({240, 200});
    rig.PenDown(rig.view.PtzButton(14), {60, 30});
    ASSERT_TRUE(PumpUntil([&] { return rig.view.PaintedOverlay() == 14; }));
    rig.sim.DropConnection();
    ASSERT_TRUE(PumpUntil([&] { return rig.view.VideoCaption() == u"Disconnected"; }));
    EXPECT_EQ(rig.view.PaintedOverlay(), -1);
    EXPECT_EQ(rig.view.PressedPtz(), -1);
  });
}

TEST(ViewAccessibility, ButtonsAndLabelsReadAsTheyShow) {
  dvrsim::Config cfg;
  cfg.channelCount = 4;
  ViewRig rig(cfg);
  std::vector<QString> announced, shown;  // every status shown is announced as it shows
  lv::SetAccessibleEventObserver([&](QAccessibleEvent* e) {
    if (e->type() == QAccessible::Alert) announced.push_back(e->accessibleInterface()->text(QAccessible::Name));
    if (e->type() == QAccessible::NameChanged && e->object() == rig.view.StatusLabel().GetWidget() &&
        !e->accessibleInterface()->text(QAccessible::Name).isEmpty())
      shown.push_back(e->accessibleInterface()->text(QAccessible::Name));
  });
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitStatusText(u"Receiving data"));
    EXPECT_EQ(announced, shown);
    EXPECT_EQ(shown.back(), QStringLiteral("Receiving data"));
    const auto read = [](HWND h) { return QAccessible::queryAccessibleInterface(lv::WidgetFromHandle(h)); };
    QAccessibleInterface* ch1 = read(rig.view.ChannelButton(0));
    QAccessibleInterface* ch6 = read(rig.view.ChannelButton(5));
    ASSERT_TRUE(ch1 && ch6);
    EXPECT_EQ(ch1->role(), QAccessible::Button);
    EXPECT_EQ(ch1->text(QAccessible::Name), "Channel 1");
    EXPECT_FALSE(ch1->state().disabled);
    EXPECT_EQ(ch6->text(QAccessible::Name), "Channel 6");
    EXPECT_TRUE(ch6->state().disabled);  // the DVR has 4 channels
    EXPECT_EQ(read(rig.view.PtzButton(14))->text(QAccessible::Name), "Zoom in");
    EXPECT_EQ(read(rig.view.PtzButton(3))->text(QAccessible::Name), "Exit PTZ");
    EXPECT_EQ(read(rig.view.StatusLabel().GetSafeHwnd())->text(QAccessible::Name), "Receiving data");
    EXPECT_EQ(read(rig.view.GetSafeHwnd())->text(QAccessible::Name), "Site View");
  });
  lv::SetAccessibleEventObserver({});
}

TEST(ViewKeys, EnterAndEscapeNeverCloseTheView) {
  ViewRig rig;
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitStatus(ST_RECEIVING));
    QTest::keyClick(rig.view.GetWidget(), Qt::Key_Escape);
    QTest::keyClick(rig.view.GetWidget(), Qt::Key_Return);
    PumpFor(50);
    EXPECT_TRUE(rig.view.GetSafeHwnd() != 0);
  });
}

TEST(ViewLifecycle, TheSameObjectConnectsAgainWithItsSurfaces) {
  ViewRig rig;
  EXPECT_EQ(rig.view.SurfaceCount(), 0);
  for (int run = 0; run < 2; ++run) {
    rig.Run([&] {
      ASSERT_TRUE(rig.WaitPictures(2));
      EXPECT_EQ(rig.view.SurfaceCount(), 19);
      EXPECT_EQ(rig.view.WindowRect(), CRect(0, 0, 480, 696));
      EXPECT_EQ(rig.view.GetWindowText(), u"Site View");
    });
    EXPECT_FALSE(rig.view.RenderThreadRunning());
    EXPECT_FALSE(rig.site.m_bStarted.load());
    EXPECT_EQ(rig.view.ComposedChannels(), -1);
  }
  EXPECT_EQ(rig.sim.Connections(), 2u);
  EXPECT_EQ(rig.view.RenderThreadStarts(), 2);
}

TEST(ViewLabels, SizeAndTimeTexts) {
  struct SizeCase {
    unsigned w, h;
    std::u16string text;
  };
  for (const SizeCase& c : {SizeCase{704, 480, u"720 X 480"}, SizeCase{720, 576, u"720 X 576"},
                            SizeCase{352, 240, u"352 X 240"}, SizeCase{1280, 720, u""}, SizeCase{720, 577, u""},
                            SizeCase{0, 480, u""}})
    EXPECT_EQ(FormatPictureSize(c.w, c.h), c.text) << c.w << "x" << c.h;
  struct TimeCase {
    std::uint32_t date, time;
    std::u16string text;
  };
  for (const TimeCase& c : {TimeCase{20100617, 181812, u"2010/06/17 18:18:12"},
                            TimeCase{20100617, 0, u"2010/06/17 00:00:00"}, TimeCase{19701231, 120000, u""},
                            TimeCase{21000101, 0, u""}, TimeCase{20101317, 0, u""}, TimeCase{20100632, 0, u""},
                            TimeCase{20100617, 240000, u""}, TimeCase{20100617, 126000, u""},
                            TimeCase{20100617, 125960, u""}})
    EXPECT_EQ(FormatPictureTime(c.date, c.time), c.text) << c.date << " " << c.time;
}

TEST(ViewCompose, BadgeAndHeldOverlayAddedAtHalfStrength) {
  struct Shared : RenderShared {};
  Shared s;
  const QImage badge = LoadSkinBitmap(273);
  std::array<QImage, 16> pressed;
  for (int i = 0; i < 16; ++i) {
    pressed[static_cast<std::size_t>(i)] = LoadSkinBitmap(257 + i);
    s.m_pPressed[static_cast<std::size_t>(i)] = &pressed[static_cast<std::size_t>(i)];
  }
  s.m_pPtzIcon = &badge;
  s.m_ptPressed[9] = QPoint(215, 250);
  s.m_bSurfacesReady.store(1);
  QImage picture(704, 480, QImage::Format_RGB32);
  picture.fill(qRgb(40, 60, 80));

  const auto composed = [&](int ptzCh, int mode, int held) {
    s.m_bPTZ_CH = ptzCh;
    s.m_bPTZMode = mode;
    s.m_nPressedPTZ = held;
    QImage canvas(480, 360, QImage::Format_RGB32);
    ComposePicture(canvas, picture, s);
    return canvas;
  };
  const auto added = [](QRgb base, QRgb over) {
    return qRgb(std::min(255, qRed(base) + qRed(over) / 2), std::min(255, qGreen(base) + qGreen(over) / 2),
                std::min(255, qBlue(base) + qBlue(over) / 2));
  };
  const QRgb base = qRgb(40, 60, 80);
  const QImage plain = composed(0, 0, -1);
  EXPECT_EQ(plain.pixel(0, 0), base);
  EXPECT_EQ(plain.pixel(479, 359), base);
  EXPECT_EQ(plain.pixel(430, 25), base);  // no badge without a PTZ channel

  const QImage held = composed(1, 1, 9);
  const QImage badgeOnly = composed(1, 0, 9);  // not in PTZ mode: no overlay
  int differing = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 50; ++x) {
      ASSERT_NEAR(qRed(held.pixel(410 + x, 10 + y)), qRed(added(base, badge.pixel(x, y))), 1);
      differing += held.pixel(410 + x, 10 + y) != base;
    }
  EXPECT_GT(differing, 100);  // the badge is visible
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 50; ++x) {
      ASSERT_NEAR(qGreen(held.pixel(215 + x, 250 + y)), qGreen(added(base, pressed[9].pixel(x, y))), 1);
      ASSERT_EQ(badgeOnly.pixel(215 + x, 250 + y), base);
    }
}

}  // namespace
