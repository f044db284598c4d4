// A session driven over loopback against the DVR simulator, with a small
// stand-in for the site view that reacts to the posted messages.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "dvrsim/ddns_server.h"
#include "dvrsim/simulator.h"
#include "net/ddns.h"
#include "platform/core/resolver.h"
#include "session/dvr_session.h"
#include "support/pump.h"

using namespace lv;
using namespace lvtest;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Header(std::uint32_t id, std::uint32_t bodyLength) {
  Bytes b(12, 0);
  PutU32(b.data(), id);
  PutU32(b.data() + 8, bodyLength);
  return b;
}

// Reacts as the site view does: start and ask on connect, open the first
// usable channel on login, open a pending channel after a close.
class ViewStandIn {
 public:
  ViewStandIn()
      : m_target([this](std::uint32_t msg, WPARAM w, LPARAM l) { OnMessage(msg, w, l); }) {}

  void Attach(CDvrSession* s) {
    session = s;
    s->m_hNotifyWnd = m_target.Handle();
  }
  HWND Handle() const { return m_target.Handle(); }

  std::size_t Count(std::uint32_t msg) const {
    std::size_t n = 0;
    for (const auto& m : log) n += m.msg == msg;
    return n;
  }
  const Posted* Last(std::uint32_t msg) const {
    for (auto it = log.rbegin(); it != log.rend(); ++it)
      if (it->msg == msg) return &*it;
    return nullptr;
  }
  // Frames that reached the first record's list, taken as a renderer would.
  int TakeFrames() {
    ChannelRef rec = session->m_ChannelTable.First();
    if (!rec || rec->frames->Count() == 0) return 0;
    lastFrameChannel = static_cast<int>(rec->channel.load());
    rec->frames->DropHead();
    ++framesTaken;
    return 1;
  }

  CDvrSession* session = nullptr;
  std::vector<Posted> log;
  bool autoOpen = true;
  int pendingSwitch = -1;
  int framesTaken = 0;
  int lastFrameChannel = -1;
  bool disconnectOnClose = true;

 private:
  void OnMessage(std::uint32_t msg, WPARAM w, LPARAM l) {
    log.push_back({msg, w, l});
    switch (msg) {
      case WM_DVR_CONNECT_SOCKET:
        if (session->Start()) {
          session->ReqHwInfo();
          session->ReqOsInfo();
          session->ReqProtoVer();
          session->ReqLogin();
        }
        break;
      case WM_DVR_REPLAY_LOGIN:
        if (l == 1 && autoOpen) {
          for (int ch = 0; ch < kMaxChannels && ch < session->m_nMaxChannel.load(); ++ch) {
            if (session->m_bCamera[ch].load() && !session->m_bLock[ch].load()) {
              session->OpenChannel(static_cast<std::uint8_t>(ch));
              break;
            }
          }
        }
        break;
      case WM_DVR_RESP_CH_CLOSE:
        if (pendingSwitch >= 0) {
          session->OpenChannel(static_cast<std::uint8_t>(pendingSwitch));
          pendingSwitch = -1;
        }
        break;
      case WM_DVR_CLOSE_SOCKET:
        if (disconnectOnClose) session->Disconnect();
        break;
      default:
        break;
    }
  }
  MessageTarget m_target;
};

// Small pictures keep the streaming tests light.
dvrsim::Config SmallPictures() {
  dvrsim::Config cfg;
  cfg.width = 176;
  cfg.height = 144;
  return cfg;
}

// Ends the process, naming the step, when a step outlives its budget: a call
// that would hang fails the run instead of stalling it.
class Watchdog {
 public:
  explicit Watchdog(int seconds) : m_budget(seconds) {}
  ~Watchdog() {
    Step(nullptr);
    m_thread.join();
  }
  void Step(const char* what) {
    std::lock_guard lock(m_mutex);
    m_step = what;
    m_deadline = std::chrono::steady_clock::now() + m_budget;
    m_cv.notify_one();
  }

 private:
  void Run() {
    std::unique_lock lock(m_mutex);
    while (m_step) {
      // A new step moves the deadline; only a step that outlives it trips.
      if (m_cv.wait_until(lock, m_deadline) == std::cv_status::timeout && m_step &&
          std::chrono::steady_clock::now() >= m_deadline) {
        std::fprintf(stderr, "watchdog: step \"%s\" did not finish\n", m_step);
        std::_Exit(1);
      }
    }
  }
  const std::chrono::seconds m_budget;
  std::mutex m_mutex;
  std::condition_variable m_cv;
  const char* m_step = "start";
  std::chrono::steady_clock::time_point m_deadline = std::chrono::steady_clock::now() + m_budget;
  std::thread m_thread{[this] { Run(); }};
};

class SessionE2E : public ::testing::Test {
 protected:
  void StartSim(dvrsim::Config cfg = {}) {
    sim = std::make_unique<dvrsim::Simulator>(std::move(cfg));
    ASSERT_TRUE(sim->Start(0)) << sim->Error();
  }
  void MakeSession(const std::u16string& address, const std::string& user = "admin",
                   const std::string& password = "1234") {
    session = std::make_unique<CDvrSession>();
    session->m_strAddress = address;
    session->m_nPort = sim ? sim->Port() : 1;
    session->m_strUserID = std::u16string(user.begin(), user.end());
    session->m_strPassword = std::u16string(password.begin(), password.end());
    view.Attach(session.get());
  }
  bool WaitFor(std::uint32_t msg, std::size_t count = 1, int ms = 5000) {
    return PumpUntil([&] { return view.Count(msg) >= count; }, ms);
  }
  bool WaitForFrames(int n, int ms = 10000) {
    return PumpUntil(
        [&] {
          view.TakeFrames();
          return view.framesTaken >= n;
        },
        ms);
  }
  void TearDown() override {
    if (session) session->Disconnect();
    session.reset();
    if (sim) sim->Stop();
    SetResolverHook({});
    SetDdnsServer(kDdnsHost, kDdnsPort);
  }

  ViewStandIn view;
  std::unique_ptr<dvrsim::Simulator> sim;
  std::unique_ptr<CDvrSession> session;
};

}  // namespace

TEST_F(SessionE2E, Ipv4LoginSequenceOpenCloseSwitchAndPtz) {
  dvrsim::Config cfg = SmallPictures();
  cfg.hardwareType = 1;
  cfg.channelCount = 8;
  cfg.cameraMask = 0x7F000000;  // no camera on channel 0
  cfg.ptzMask = 0x40000000;     // channel 1 is a PTZ camera
  cfg.fps = 30;
  StartSim(cfg);
  MakeSession(u"127.0.0.1");
  DebugCapture debug;

  ASSERT_EQ(session->TryConnect_DVR(), 1);
  EXPECT_EQ(session->TryConnect_DVR(), 1);  // not started yet: a new attempt, still fine
  ASSERT_TRUE(WaitFor(WM_DVR_REPLAY_LOGIN));
  ASSERT_TRUE(WaitFor(WM_DVR_RESP_CH_OPEN));
  EXPECT_EQ(session->TryConnect_DVR(), 1);  // started: nothing happens
  EXPECT_EQ(view.Count(WM_DVR_CONNECT_SOCKET), 1u);

  // The four requests in order, byte for byte, then the open of channel 1.
  const auto reqs = sim->Requests();
  ASSERT_GE(reqs.size(), 5u);
  EXPECT_EQ(reqs[0].raw, (Bytes{0x0B, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(reqs[1].raw, (Bytes{0x0B, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(reqs[2].raw, (Bytes{0x0B, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(reqs[3].raw, (Bytes{0x0B, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 14, 0, 5, 'a', 'd', 'm', 'i', 'n', 0, 4, '1',
                                '2', '3', '4', 1}));
  EXPECT_EQ(reqs[4].raw,
            (Bytes{0x0B, 1, 0, 3, 0, 0, 0, 0, 0, 0, 0, 11, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(debug.Count("Send To DVR : [12]Bytes! RemainCnt[4]\r\n\r\n") +
                debug.Count("Send To DVR : [12]Bytes! RemainCnt[3]\r\n\r\n") +
                debug.Count("Send To DVR : [12]Bytes! RemainCnt[2]\r\n\r\n") +
                debug.Count("Send To DVR : [12]Bytes! RemainCnt[1]\r\n\r\n"),
            3u);

  // What the view was told.
  EXPECT_EQ(view.Last(WM_DVR_REPLAY_HWINFO)->wParam, 1u * 65536 + 8);
  EXPECT_EQ(view.Last(WM_DVR_REPLAY_OSINFO)->wParam, 0x05000200u);
  EXPECT_EQ(view.Last(WM_DVR_REPLAY_PROTOINFO)->wParam, 0x02000304u);
  EXPECT_EQ(view.Last(WM_DVR_REPLAY_LOGIN)->lParam, 1);
  EXPECT_EQ(view.Last(WM_DVR_RESP_CH_OPEN)->wParam, 1u);
  EXPECT_EQ(view.Last(WM_DVR_RESP_CH_OPEN)->lParam, 1);
  EXPECT_EQ(view.Last(WM_DVR_CONNECT_SOCKET)->lParam, reinterpret_cast<LPARAM>(session->Socket()));
  EXPECT_EQ(session->m_bCamera[0].load(), 0);
  EXPECT_EQ(session->m_bCamera[1].load(), 1);
  EXPECT_EQ(session->m_bPTZ[1].load(), 1);
  EXPECT_EQ(session->m_nCurrentCH.load(), 1);

  ASSERT_TRUE(WaitForFrames(3));
  EXPECT_EQ(view.lastFrameChannel, 1);

  // PTZ while "held", then stop.
  session->CMD_PTZ_Control(1, 2);
  session->CMD_PTZ_Control(1, 0);
  ASSERT_TRUE(sim->WaitForRequests(7, 3000));
  EXPECT_EQ(sim->Requests()[5].raw, (Bytes{0x0B, 3, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 1, 2}));
  EXPECT_EQ(sim->Requests()[6].raw, (Bytes{0x0B, 3, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 1, 0}));
  EXPECT_TRUE(debug.Contains("CMD_PTZ_Control Ch[1] Control[2]\r\n"));
  EXPECT_TRUE(debug.Contains("[CMD] PID_XAV_REQ_CONTROL_PTZ \r\n"));
  EXPECT_TRUE(PumpUntil([&] { return debug.Contains("\t\t=> PID_XAV_RES_CONTROL_PTZ\r\n"); }));

  // Switch to channel 3: close the current one, open on the close reply.
  view.pendingSwitch = 3;
  session->CloseChannel(session->m_nCurrentCH.load());
  ASSERT_TRUE(WaitFor(WM_DVR_RESP_CH_CLOSE));
  EXPECT_EQ(view.Last(WM_DVR_RESP_CH_CLOSE)->wParam, 1u);
  EXPECT_EQ(view.Last(WM_DVR_RESP_CH_CLOSE)->lParam, 1);
  ASSERT_TRUE(WaitFor(WM_DVR_RESP_CH_OPEN, 2));
  EXPECT_EQ(view.Last(WM_DVR_RESP_CH_OPEN)->wParam, 3u);
  const int before = view.framesTaken;
  ASSERT_TRUE(WaitForFrames(before + 3));
  EXPECT_EQ(view.lastFrameChannel, 3);
  EXPECT_EQ(session->m_ChannelTable.Count(), 1);

  // Disconnect joins both threads and frees the connection.
  session->Disconnect();
  EXPECT_FALSE(session->SendThreadRunning());
  EXPECT_FALSE(session->ParseThreadRunning());
  EXPECT_EQ(session->Socket(), nullptr);
  EXPECT_EQ(session->Protocol(), nullptr);
  EXPECT_EQ(session->m_ChannelTable.Count(), 0);
  EXPECT_EQ(session->m_bCamera[1].load(), 0);
  EXPECT_EQ(session->m_nCurrentCH.load(), 3);  // kept across a disconnect
  const std::size_t sent = sim->Requests().size();
  session->CloseChannel(3);
  PumpFor(50);
  EXPECT_EQ(session->QueuedRequests(), 0);
  EXPECT_EQ(sim->Requests().size(), sent);
}

TEST_F(SessionE2E, HostNameThroughTheLookupSeam) {
  StartSim();
  SetResolverHook([](const std::string& host) -> std::optional<std::uint32_t> {
    if (host == "dvr.site.test") return htonl(INADDR_LOOPBACK);
    return std::nullopt;
  });
  DebugCapture debug;
  MakeSession(u"dvr.site.test");
  ASSERT_EQ(session->TryConnect_DVR(), 1);
  ASSERT_TRUE(WaitFor(WM_DVR_RESP_CH_OPEN));
  EXPECT_TRUE(debug.Contains(" TryConnect_DVR! => DomainName [127][0][0][1]\r\n"));
  EXPECT_TRUE(debug.Contains(" ConnectSocket OK!\r\n"));
  EXPECT_EQ(sim->Requests()[3].user, "admin");

  // A name that does not resolve ends in a posted connect failure.
  view.log.clear();
  MakeSession(u"nowhere.site.test");
  EXPECT_EQ(session->TryConnect_DVR(), 1);
  ASSERT_TRUE(WaitFor(WM_DVR_CONNECT_FAIL));
  EXPECT_EQ(view.Last(WM_DVR_CONNECT_FAIL)->wParam, static_cast<WPARAM>(kErrHostNotFound));
  EXPECT_EQ(session->Socket(), nullptr);
  EXPECT_TRUE(debug.Contains(" TryConnect_DVR! => name not found [nowhere.site.test]\r\n"));
  SetResolverHook({});
}

// The look-up thread may outlive a test: what its hook uses is static.
std::atomic<bool> g_releaseLookup{false};
std::atomic<bool> g_lookupReturned{false};

TEST_F(SessionE2E, LookupStoppedMeanwhileIsForgotten) {
  // The look-up runs on a thread of its own: a slow one holds up nothing, and
  // a session stopped meanwhile neither connects nor reports.
  StartSim();
  g_releaseLookup = false;
  g_lookupReturned = false;
  SetResolverHook([](const std::string&) -> std::optional<std::uint32_t> {
    for (int i = 0; i < 5000 && !g_releaseLookup; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    g_lookupReturned = true;
    return htonl(INADDR_LOOPBACK);
  });
  MakeSession(u"slow.site.test");
  ASSERT_EQ(session->TryConnect_DVR(), 1);
  EXPECT_FALSE(g_lookupReturned.load());  // TryConnect_DVR did not wait for it
  EXPECT_TRUE(session->LookupPending());
  session->Disconnect();
  g_releaseLookup = true;
  ASSERT_TRUE(PumpUntil([] { return g_lookupReturned.load(); }));
  PumpFor(100);
  EXPECT_TRUE(view.log.empty());
  EXPECT_EQ(session->Socket(), nullptr);
  EXPECT_EQ(sim->Connections(), 0u);
}

TEST(AddressKinds, HowEachAddressIsReached) {
  const std::pair<std::u16string, AddressKind> cases[] = {
      {u"192.168.0.10", AddressKind::IPv4},     {u"254.1.1.1", AddressKind::IPv4},
      {u"0.1.2.3", AddressKind::IPv4},          {u" 12.0.0.1", AddressKind::HostName},
      {u"300.1.1.1", AddressKind::HostName},    {u"dvr1.example", AddressKind::HostName},
      {u"10.cams.example", AddressKind::HostName}, {u"localhost", AddressKind::DdnsId},
      {u".local", AddressKind::DdnsId},         {u"", AddressKind::DdnsId},
      // What would reach the network as another host is refused: a zero
      // character cuts the text, an unmapped one becomes '?', a name or an
      // identifier too long for its buffer would be cut.
      {std::u16string(u"1.2.3.4\0.evil", 13), AddressKind::Refused}, {u"cam\u4e2d.example", AddressKind::Refused},
      {u"dvr\u20ac.example", AddressKind::HostName},
      {u"a." + std::u16string(253, u'b'), AddressKind::HostName}, {u"a." + std::u16string(254, u'b'), AddressKind::Refused},
      {std::u16string(217, u'F'), AddressKind::DdnsId},           {std::u16string(218, u'F'), AddressKind::Refused},
  };
  for (const auto& [address, kind] : cases)
    EXPECT_EQ(ClassifyAddress(address), kind) << std::string(address.begin(), address.end());
  // The bytes handed on are the text itself.
  EXPECT_EQ(ReadConnectAddress(u"dvr\u20ac.example").host, "dvr\x80.example");
  EXPECT_EQ(ReadConnectAddress(u"cam\u4e2d.example").host, "");
}

TEST_F(SessionE2E, DdnsIdentifierResolvesThroughTheServer) {
  StartSim();
  dvrsim::DdnsServer ddns(std::map<std::string, std::string>{{"localhost", "127.0.0.1"}});
  ASSERT_TRUE(ddns.Start(0));
  SetDdnsServer("127.0.0.1", ddns.Port());
  DebugCapture debug;
  MakeSession(u"localhost");  // no dot: a DVR identifier
  ASSERT_EQ(session->TryConnect_DVR(), 1);
  ASSERT_TRUE(WaitFor(WM_DVR_RESP_CH_OPEN));
  EXPECT_TRUE(debug.Contains(" Real Connect IP [127.0.0.1]\r\n"));
  ASSERT_EQ(ddns.RequestsSeen().size(), 1u);
  EXPECT_EQ(ddns.RequestsSeen()[0], "GET /req_ip.asp?mac_addr=localhost HTTP/1.0\r\n\r\n");
}

TEST_F(SessionE2E, DdnsFailuresLeaveNoSocket) {
  StartSim();
  dvrsim::DdnsServer ddns(std::map<std::string, std::string>{{"cam1", "127.0.0.1"}});
  ASSERT_TRUE(ddns.Start(0));
  SetDdnsServer("127.0.0.1", ddns.Port());
  DebugCapture debug;
  MakeSession(u"unknown-id");  // reply without markers
  EXPECT_EQ(session->TryConnect_DVR(), 1);
  ASSERT_TRUE(WaitFor(WM_DVR_CONNECT_FAIL));
  EXPECT_TRUE(debug.Contains(" TryConnect_DVR! => DDNS lookup failed [unknown-id]\r\n"));
  EXPECT_EQ(session->Socket(), nullptr);
  PumpFor(50);
  EXPECT_EQ(view.log.size(), 1u);
}

TEST_F(SessionE2E, RefusedConnectionPostsConnectFail) {
  StartSim();
  const std::uint16_t port = sim->Port();
  sim->Stop();
  MakeSession(u"127.0.0.1");
  session->m_nPort = port;
  EXPECT_EQ(session->TryConnect_DVR(), 1);  // the attempt started
  ASSERT_TRUE(WaitFor(WM_DVR_CONNECT_FAIL));
  PumpFor(50);
  ASSERT_EQ(view.log.size(), 1u);
  EXPECT_EQ(view.log[0].wParam, static_cast<WPARAM>(kErrConnRefused));
  DebugCapture debug;
  MakeSession(u"127.0.0.1");
  session->m_nPort = 70000;  // not a TCP port
  EXPECT_EQ(session->TryConnect_DVR(), 0);
  EXPECT_TRUE(debug.Contains(" TryConnect_DVR! => invalid port [70000]\r\n"));
}

// Every order of the connection calls leaves a session that neither crashes
// nor hangs, and a render-like waiter on the frame hand-over survives them all.
TEST_F(SessionE2E, LifecycleOrdersNeitherCrashNorHang) {
  Watchdog watchdog(60);
  StartSim(SmallPictures());
  MakeSession(u"127.0.0.1");
  CDvrSession* s = session.get();
  std::atomic<int> frameWakes{0};
  std::jthread waiter([&](std::stop_token stop) {
    while (!stop.stop_requested())
      if (s->WaitForFrame(1000)) frameWakes.fetch_add(1);
  });
  auto connectAndOpen = [&] {
    PumpFor(30);  // what an earlier connection posted is delivered first
    view.log.clear();
    ASSERT_EQ(s->TryConnect_DVR(), 1);
    ASSERT_TRUE(WaitFor(WM_DVR_REPLAY_LOGIN));  // the send thread sent the requests
    ASSERT_TRUE(WaitFor(WM_DVR_RESP_CH_OPEN));
  };
  auto expectIdle = [&] {
    EXPECT_FALSE(s->SendThreadRunning() || s->ParseThreadRunning() || s->m_bStarted.load());
    EXPECT_EQ(s->Socket(), nullptr);
  };

  watchdog.Step("connect, start");
  connectAndOpen();
  ASSERT_TRUE(PumpUntil([&] { return frameWakes.load() > 0; }));
  watchdog.Step("stop, connect, start");
  s->Stop();
  expectIdle();
  connectAndOpen();
  watchdog.Step("reset while started");
  s->Reset();
  expectIdle();

  watchdog.Step("attach offline, start");
  s->AttachOffline(std::make_unique<CSoc_TCP>(view.Handle(), WM_DVR_SOCKET_RESERVED, WM_DVR_CONNECT_SOCKET,
                                              WM_DVR_CLOSE_SOCKET));
  ASSERT_EQ(s->Start(), 1);
  Bytes heartbeat = Header(PID_XAV_RES_HEARTBEAT, 0);
  PutU32(heartbeat.data() + 4, 1);
  s->Socket()->Ring().Write(heartbeat.data(), static_cast<std::int32_t>(heartbeat.size()));
  ASSERT_TRUE(WaitFor(WM_DVR_REPLAY_HEARTBEAT));  // the parse thread reads the attached ring
  s->ReqHwInfo();  // and the send thread runs (the unconnected socket refuses the bytes)

  watchdog.Step("disconnect twice");
  s->Disconnect();
  s->Disconnect();
  expectIdle();

  watchdog.Step("connect, start, destroy while started");
  connectAndOpen();
  waiter.request_stop();
  s->WakeFrameWaiter();
  waiter.join();
  session.reset();
}

TEST_F(SessionE2E, RequestsBeforeConnectingOrAfterStopQueueNothing) {
  StartSim();
  MakeSession(u"127.0.0.1");
  session->ReqHwInfo();
  session->OpenChannel(0);
  EXPECT_EQ(session->QueuedRequests(), 0);
  EXPECT_EQ(session->SendToDvr(Message{}), 0);
  Message empty;
  empty.data = std::make_unique<std::uint8_t[]>(1);
  empty.length = 0;
  EXPECT_EQ(session->SendToDvr(std::move(empty)), 0);
}

// Faults on the wire still end in frames, never in a hang or a crash.
TEST_F(SessionE2E, DamagedStreamsStillDeliverFrames) {
  struct Case {
    const char* what;
    void (*set)(dvrsim::Faults&);
  } cases[] = {
      {"garbage", [](dvrsim::Faults& f) { f.garbageEveryN = 3; }},
      {"drip", [](dvrsim::Faults& f) {
         f.drip = true;
         f.dripPauseUs = 0;
       }},
      {"oversized body length", [](dvrsim::Faults& f) { f.oversizedBodyLength = true; }},
      {"short video bodies", [](dvrsim::Faults& f) { f.shortVideoBody = true; }},
      {"corrupt pictures", [](dvrsim::Faults& f) { f.corruptPictureEveryN = 2; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dvrsim::Config cfg = SmallPictures();
    cfg.fps = 20;
    c.set(cfg.faults);
    StartSim(cfg);
    MakeSession(u"127.0.0.1");
    view.framesTaken = 0;
    ASSERT_EQ(session->TryConnect_DVR(), 1);
    EXPECT_TRUE(WaitForFrames(3, 20000));
    session->Disconnect();
    sim->Stop();
  }
}

// The masks of the login reply count only on DVRs new enough to fill them.
TEST_F(SessionE2E, ChannelFlagsFollowTheReportedVersions) {
  struct Case {
    const char* what;
    std::uint8_t hardware;
    std::array<std::uint8_t, 4> os, proto;
    bool masks;
  } cases[] = {
      {"protocol 2.0.3.4", 1, {1, 0, 0, 0}, {2, 0, 3, 4}, true},
      {"protocol 2.0.3.3, hardware 1", 1, {9, 9, 9, 9}, {2, 0, 3, 3}, false},
      {"protocol 2.0.3.3, hardware 0, os 5.0.2.0", 0, {5, 0, 2, 0}, {2, 0, 3, 3}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dvrsim::Config cfg = SmallPictures();
    cfg.hardwareType = c.hardware;
    cfg.osVersion = c.os;
    cfg.protoVersion = c.proto;
    cfg.cameraMask = 0x20000000;  // only channel 2
    cfg.ptzMask = 0x20000000;
    StartSim(cfg);
    MakeSession(u"127.0.0.1");
    view.log.clear();
    view.autoOpen = false;
    ASSERT_EQ(session->TryConnect_DVR(), 1);
    ASSERT_TRUE(WaitFor(WM_DVR_REPLAY_LOGIN));
    EXPECT_EQ(session->m_bCamera[0].load(), c.masks ? 0 : 1);
    EXPECT_EQ(session->m_bCamera[2].load(), 1);
    EXPECT_EQ(session->m_bPTZ[2].load(), c.masks ? 1 : 0);
    session->Disconnect();
    sim->Stop();
  }
}

// Replies of the wrong length fall back to their defaults: no channel count,
// every channel with a camera. The session stays up and consistent.
TEST_F(SessionE2E, WrongReplyLengthsFallBack) {
  dvrsim::Config cfg;
  cfg.cameraMask = 0x80000000;
  cfg.faults.wrongBodyLength = true;
  StartSim(cfg);
  MakeSession(u"127.0.0.1");
  ASSERT_EQ(session->TryConnect_DVR(), 1);
  ASSERT_TRUE(WaitFor(WM_DVR_REPLAY_LOGIN));
  EXPECT_EQ(view.Last(WM_DVR_REPLAY_HWINFO)->wParam, 0u);
  EXPECT_EQ(view.Last(WM_DVR_REPLAY_LOGIN)->lParam, 1);
  EXPECT_EQ(session->m_nMaxChannel.load(), 0);
  for (int i = 0; i < kMaxChannels; ++i) EXPECT_EQ(session->m_bCamera[i].load(), 1);
  EXPECT_EQ(session->m_ChannelTable.Count(), 0);
}

TEST_F(SessionE2E, GarbageInjectedMidStreamIsSurvived) {
  StartSim(SmallPictures());
  MakeSession(u"127.0.0.1");
  ASSERT_EQ(session->TryConnect_DVR(), 1);
  ASSERT_TRUE(WaitForFrames(2));
  sim->SendGarbage(Bytes{0xAB, 0x00, 0x00, 0x07, 1, 2, 3});  // looks like a header start, is not
  sim->SendRaw(Header(0xAB000001, 0x7FFFFFF0));             // claims a body that can never fit
  const int before = view.framesTaken;
  EXPECT_TRUE(WaitForFrames(before + 3));
}

TEST_F(SessionE2E, StopDropsRequestsStillQueued) {
  StartSim(SmallPictures());
  MakeSession(u"127.0.0.1");
  view.autoOpen = false;
  ASSERT_EQ(session->TryConnect_DVR(), 1);
  ASSERT_TRUE(WaitFor(WM_DVR_REPLAY_LOGIN));
  for (int i = 0; i < 200; ++i) session->Req010105(1, 2);
  session->Disconnect();
  EXPECT_EQ(session->QueuedRequests(), 0);
  const std::size_t seen = sim->Requests().size();
  view.autoOpen = false;
  ASSERT_EQ(session->TryConnect_DVR(), 1);
  ASSERT_TRUE(WaitFor(WM_DVR_REPLAY_LOGIN, 2));
  ASSERT_TRUE(sim->WaitForRequests(seen + 4, 3000));
  PumpFor(100);
  // The new connection starts with its own four requests, nothing older.
  const auto reqs = sim->Requests();
  std::size_t firstOfSecond = 0;
  for (std::size_t i = 0; i < reqs.size(); ++i)
    if (reqs[i].connection == 1) {
      firstOfSecond = i;
      break;
    }
  ASSERT_GT(firstOfSecond, 0u);
  EXPECT_EQ(reqs[firstOfSecond].id, PID_XAV_REQ_HW_INFO);
  EXPECT_EQ(reqs.size() - firstOfSecond, 4u);
}

TEST_F(SessionE2E, DestroyingAConnectedSessionJoinsEverything) {
  StartSim(SmallPictures());
  MakeSession(u"127.0.0.1");
  ASSERT_EQ(session->TryConnect_DVR(), 1);
  ASSERT_TRUE(WaitForFrames(2));
  for (int i = 0; i < 50; ++i) session->Req010105(1, 2);
  session.reset();  // stop + free while frames and requests are in flight
  PumpFor(50);
  SUCCEED();
}
