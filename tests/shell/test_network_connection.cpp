// The start-up request of the data connection against a scripted connection
// manager, and the Linux connection manager against a scripted system.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <atomic>
#include <map>
#include <vector>

#include "shell/linux_conn_mgr.h"
#include "shell/network_connection.h"
#include "support/pump.h"

using namespace lv;
using namespace lvtest;

namespace {

constexpr ConnGuid kOther{0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

struct Destination {
  ConnGuid guid;
  HRESULT establish = kConnOk;
  std::uint32_t status = CONNMGR_STATUS_CONNECTED;
};

class ScriptedManager : public IConnectionManager {
 public:
  explicit ScriptedManager(std::vector<Destination> d) : destinations(std::move(d)) {}

  HRESULT ConnMgrEnumDestinations(int index, ConnMgrDestinationInfo& info) override {
    if (index < 0 || index >= static_cast<int>(destinations.size())) return kConnFail;
    const ConnGuid& g = destinations[static_cast<std::size_t>(index)].guid;
    info = {g, g == IID_DestNetWork ? u"Work" : u"Net"};
    return kConnOk;
  }
  HRESULT ConnMgrEstablishConnectionSync(const ConnMgrConnectionInfo& request, HCONNECTION& connection,
                                         std::uint32_t timeoutMs, std::uint32_t& status) override {
    requests.push_back(request);
    timeouts.push_back(timeoutMs);
    for (std::size_t i = 0; i < destinations.size(); ++i) {
      if (!(destinations[i].guid == request.guidDestNet)) continue;
      if (destinations[i].establish < 0) return destinations[i].establish;
      connection = nextHandle++;
      held[connection] = i;
      status = destinations[i].status;
      return kConnOk;
    }
    return kConnFail;
  }
  HRESULT ConnMgrConnectionStatus(HCONNECTION connection, std::uint32_t& status) override {
    const auto it = held.find(connection);
    if (it == held.end()) return kConnFail;
    status = destinations[it->second].status;
    return kConnOk;
  }
  HRESULT ConnMgrReleaseConnection(HCONNECTION connection, int cacheTime) override {
    released.push_back(connection);
    EXPECT_EQ(cacheTime, 0);
    return held.erase(connection) != 0 ? kConnOk : kConnFail;
  }

  std::vector<Destination> destinations;
  std::vector<ConnMgrConnectionInfo> requests;
  std::vector<std::uint32_t> timeouts;
  std::map<HCONNECTION, std::size_t> held;
  std::vector<HCONNECTION> released;
  HCONNECTION nextHandle = 100;
};

const std::string kWifiOk = "#Wifi [%d] [0xa1182988-0xd73-0x439e-0x87ad2a5b369f808b] [Work]\r\n";
const std::string k3gOk = "# 3G [%d] [0x436ef144-0xb4fb-0x4863-0xa0418f905a62c572] [Net]\r\n";

std::string At(std::string format, int i) { return format.replace(format.find("%d"), 2, std::to_string(i)); }

}  // namespace

TEST(ConnectNetwork, WorkNetworkFirstThenTheInternet) {
  const ConnGuid W = IID_DestNetWork, I = IID_DestNetInternet;
  struct Case {
    const char* what;
    std::vector<Destination> destinations;
    int available;
    std::vector<std::string> lines;
    std::vector<ConnGuid> asked;
  } cases[] = {
      {"the work network connects", {{I}, {W}}, 1,
       {At(kWifiOk, 1), "Wifi Conn Manager Status [# CONNMGR_STATUS_CONNECTED:]\r\n"}, {W}},
      {"work network failed, then the Internet", {{W, kConnOk, CONNMGR_STATUS_CONNECTIONFAILED}, {kOther}, {I}}, 1,
       {At(kWifiOk, 0), "Wifi Conn Manager Status [# CONNMGR_STATUS_CONNECTIONFAILED:!!]\r\n", At(k3gOk, 2),
        "3G Conn Manager Status [# CONNMGR_STATUS_CONNECTED:]\r\n"},
       {W, I}},
      {"neither listed", {{kOther}}, 0, {}, {}},
      {"both requests fail", {{W, kConnFail}, {I, kConnFail}}, 0,
       {"# Wifi Connection Manager Setting Fail [0]\r\n", "# 3G Connection Manager Setting Fail [1]\r\n"}, {W, I}},
      {"statuses outside the start-up table", {{W, kConnOk, CONNMGR_STATUS_WAITINGFORPATH}, {I, kConnOk, 0x77}}, 0,
       {At(kWifiOk, 0), "Wifi Conn Manager Status []\r\n", At(k3gOk, 1), "3G Conn Manager Status [# DEFAULT:]\r\n"},
       {W, I}},
      {"the Internet request fails: the work connection's status decides",
       {{W, kConnOk, CONNMGR_STATUS_NOPATHTODESTINATION}, {I, kConnFail}}, 0,
       {At(kWifiOk, 0), "Wifi Conn Manager Status [# CONNMGR_STATUS_NOPATHTODESTINATION:!!!]\r\n",
        "# 3G Connection Manager Setting Fail [1]\r\n",
        "3G Conn Manager Status [# CONNMGR_STATUS_NOPATHTODESTINATION:!!!]\r\n"},
       {W, I}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto owned = std::make_unique<ScriptedManager>(c.destinations);
    ScriptedManager& manager = *owned;
    CNetworkConnection network(std::move(owned));
    DebugCapture debug;
    EXPECT_EQ(network.ConnectNetwork(42), c.available);
    EXPECT_EQ(network.NetworkAvailable(), c.available);
    EXPECT_EQ(debug.Lines(), c.lines);
    ASSERT_EQ(manager.requests.size(), c.asked.size());
    for (std::size_t i = 0; i < manager.requests.size(); ++i) {
      const ConnMgrConnectionInfo& r = manager.requests[i];
      EXPECT_TRUE(r.guidDestNet == c.asked[i]) << i;
      EXPECT_EQ(r.cbSize, 64u);
      EXPECT_EQ(r.dwParams, 1u);
      EXPECT_EQ(r.dwFlags, 1u);
      EXPECT_EQ(r.dwPriority, 0x8000u);
      EXPECT_EQ(r.bExclusive, 1);
      EXPECT_EQ(r.bDisabled, 0);
      EXPECT_EQ(r.hWnd, 42u);
      EXPECT_EQ(r.uMsg, 8024u);
      EXPECT_EQ(r.lParam, 0);
      EXPECT_EQ(manager.timeouts[i], 10000u);
    }
    // At most one connection stays held: one replaced by the Internet's is released.
    EXPECT_LE(manager.held.size(), 1u);
    network.Release();
    EXPECT_TRUE(manager.held.empty());
    EXPECT_EQ(network.Connection(), 0u);
  }
}

TEST(ConnectNetwork, NotificationsOnlyWriteTheStatus) {
  auto owned = std::make_unique<ScriptedManager>(std::vector<Destination>{{IID_DestNetWork}});
  ScriptedManager& manager = *owned;
  CNetworkConnection network(std::move(owned));
  ASSERT_EQ(network.ConnectNetwork(1), 1);
  const HCONNECTION first = network.Connection();
  DebugCapture debug;
  EXPECT_EQ(network.OnConnMgrStatus(0, 0), 0);
  manager.destinations[0].status = CONNMGR_STATUS_NOPATHTODESTINATION;
  network.OnConnMgrStatus(0, 0);
  manager.destinations[0].status = 0x99;
  network.OnConnMgrStatus(0, 0);
  EXPECT_EQ(debug.Lines(), (std::vector<std::string>{"# [# CONNMGR_STATUS_CONNECTED:\t\t\t]\r\n",
                                                     "# [# CONNMGR_STATUS_NOPATHTODESTINATION: ]\r\n",
                                                     "# [# Default:]\r\n"}));
  EXPECT_EQ(network.NetworkAvailable(), 1);  // decided once, at start

  // Asking again releases the connection held before.
  manager.destinations[0].status = CONNMGR_STATUS_CONNECTED;
  network.ConnectNetwork(1);
  EXPECT_EQ(manager.released, std::vector<HCONNECTION>{first});
}

namespace {

class ScriptedSystem : public NetworkProbe {
 public:
  bool WorkNetworkUp() override { return work.load(); }
  bool DefaultRoute() override { return route.load(); }
  std::atomic<bool> work{false};
  std::atomic<bool> route{false};
};

}  // namespace

TEST(LinuxConnectionManager, MapsTheSystemOntoTheTwoDestinationsAndReportsChanges) {
  auto owned = std::make_unique<ScriptedSystem>();
  ScriptedSystem& system = *owned;
  system.route = true;
  MessageRecorder dialog;
  CNetworkConnection network(std::make_unique<LinuxConnectionManager>(std::move(owned), std::chrono::milliseconds(5)));
  DebugCapture debug;
  EXPECT_EQ(network.ConnectNetwork(dialog.Handle()), 1);
  EXPECT_EQ(debug.Lines(),
            (std::vector<std::string>{
                "#Wifi [0] [0xa1182988-0xd73-0x439e-0x87ad2a5b369f808b] [Work network]\r\n",
                "Wifi Conn Manager Status [# CONNMGR_STATUS_NOPATHTODESTINATION:!!!]\r\n",
                "# 3G [1] [0x436ef144-0xb4fb-0x4863-0xa0418f905a62c572] [The Internet]\r\n",
                "3G Conn Manager Status [# CONNMGR_STATUS_CONNECTED:]\r\n"}));

  // The default route goes: the dialog hears of it, the flag stays as decided.
  system.route = false;
  ASSERT_TRUE(PumpUntil([&] { return dialog.Count(WM_CONNMGR_STATUS) == 1; }));
  debug.Clear();
  network.OnConnMgrStatus(0, 0);
  EXPECT_EQ(debug.Lines(), std::vector<std::string>{"# [# CONNMGR_STATUS_NOPATHTODESTINATION: ]\r\n"});
  EXPECT_EQ(network.NetworkAvailable(), 1);

  // With neither network there, nothing is available.
  system.work = false;
  EXPECT_EQ(network.ConnectNetwork(dialog.Handle()), 0);
  system.work = true;
  EXPECT_EQ(network.ConnectNetwork(dialog.Handle()), 1);
}

TEST(LinuxConnectionManager, ReadsInterfacesAndRoutes) {
  sockaddr_in v4{};
  v4.sin_family = AF_INET;
  sockaddr_in6 global{}, linkLocal{};
  global.sin6_family = linkLocal.sin6_family = AF_INET6;
  ::inet_pton(AF_INET6, "2001:db8::1", &global.sin6_addr);
  ::inet_pton(AF_INET6, "fe80::1", &linkLocal.sin6_addr);
  const auto* a4 = reinterpret_cast<const sockaddr*>(&v4);
  const unsigned up = IFF_UP | IFF_RUNNING;
  EXPECT_TRUE(IsWorkNetworkAddress(up, a4));
  EXPECT_TRUE(IsWorkNetworkAddress(up, reinterpret_cast<const sockaddr*>(&global)));
  EXPECT_FALSE(IsWorkNetworkAddress(up, reinterpret_cast<const sockaddr*>(&linkLocal)));
  EXPECT_FALSE(IsWorkNetworkAddress(up | IFF_LOOPBACK, a4));
  EXPECT_FALSE(IsWorkNetworkAddress(IFF_UP, a4));  // no carrier
  EXPECT_FALSE(IsWorkNetworkAddress(up, nullptr));

  const std::string head = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
  const std::string local = "eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
  EXPECT_TRUE(HasDefaultRoute(head + local + "eth0\t00000000\t0100A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"));
  EXPECT_FALSE(HasDefaultRoute(head + local));
  EXPECT_FALSE(HasDefaultRoute(head + "eth0\t00000000\t0100A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n"));  // not up
  EXPECT_FALSE(HasDefaultRoute(head + "eth0\t00000000\t0100A8C0\t0003\t0\t0\t100\t000000FF\t0\t0\t0\n"));
  EXPECT_FALSE(HasDefaultRoute(""));
}
