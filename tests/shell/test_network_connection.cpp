// The start-up request of the data connection against a scripted connection
// manager, and the Linux connection manager against a scripted system.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <net/if.h>

#include <atomic>
#include <map>

#include "shell/linux_conn_mgr.h"
#include "shell/network_connection.h"
#include "support/pump.h"

using namespace lv;
using namespace lvtest;

namespace {

struct Destination {
  ConnGuid guid;
  HRESULT establish = kConnOk;
  std::uint32_t status = CONNMGR_STATUS_CONNECTED;
};

class ScriptedManager : public IConnectionManager {
 public:
  explicit ScriptedManager(std::vector<Destination> d) : destinations(std::move(d)) {}
  HRESULT ConnMgrEnumDestinations(int i, ConnMgrDestinationInfo& info) override {
    if (i >= static_cast<int>(destinations.size())) return kConnFail;
    const ConnGuid& g = destinations[static_cast<std::size_t>(i)].guid;
    info = {g, g == IID_DestNetWork ? u"Work" : u"Net"};
    return kConnOk;
  }
  HRESULT ConnMgrEstablishConnectionSync(const ConnMgrConnectionInfo& request, HCONNECTION& connection,
                                         std::uint32_t timeoutMs, std::uint32_t& status) override {
    requests.push_back(request);
    EXPECT_EQ(timeoutMs, 10000u);
    for (std::size_t i = 0; i < destinations.size(); ++i) {
      if (!(destinations[i].guid == request.guidDestNet) || destinations[i].establish < 0) continue;
      held[connection = nextHandle++] = i;
      status = destinations[i].status;
      return kConnOk;
    }
    return kConnFail;
  }
  HRESULT ConnMgrConnectionStatus(HCONNECTION connection, std::uint32_t& status) override {
    if (!held.contains(connection)) return kConnFail;
    status = destinations[held[connection]].status;
    return kConnOk;
  }
  HRESULT ConnMgrReleaseConnection(HCONNECTION connection, int) override {
    return held.erase(connection) != 0 ? kConnOk : kConnFail;
  }

  std::vector<Destination> destinations;
  std::vector<ConnMgrConnectionInfo> requests;
  std::map<HCONNECTION, std::size_t> held;
  HCONNECTION nextHandle = 100;
};

std::string Wifi(int i) {
  return "#Wifi [" + std::to_string(i) + "] [0xa1182988-0xd73-0x439e-0x87ad2a5b369f808b] [Work]\r\n";
}
std::string Net(int i) {
  return "# 3G [" + std::to_string(i) + "] [0x436ef144-0xb4fb-0x4863-0xa0418f905a62c572] [Net]\r\n";
}

}  // namespace

TEST(ConnectNetwork, WorkNetworkFirstThenTheInternet) {
  const ConnGuid W = IID_DestNetWork, I = IID_DestNetInternet, other{0x12345678, 1, 2, {3}};
  const char* wifiFail = "# Wifi Connection Manager Setting Fail [0]\r\n";
  struct Case {
    const char* what;
    std::vector<Destination> destinations;
    int available;
    std::vector<std::string> lines;
    std::vector<ConnGuid> asked;
  } cases[] = {
      {"the work network connects", {{I}, {W}}, 1,
       {Wifi(1), "Wifi Conn Manager Status [# CONNMGR_STATUS_CONNECTED:]\r\n"}, {W}},
      {"work network failed, then the Internet", {{W, kConnOk, CONNMGR_STATUS_CONNECTIONFAILED}, {other}, {I}}, 1,
       {Wifi(0), "Wifi Conn Manager Status [# CONNMGR_STATUS_CONNECTIONFAILED:!!]\r\n", Net(2),
        "3G Conn Manager Status [# CONNMGR_STATUS_CONNECTED:]\r\n"},
       {W, I}},
      {"neither listed", {{other}}, 0, {}, {}},
      {"both requests fail", {{W, kConnFail}, {I, kConnFail}}, 0,
       {wifiFail, "# 3G Connection Manager Setting Fail [1]\r\n"}, {W, I}},
      {"statuses outside the start-up table", {{W, kConnOk, CONNMGR_STATUS_WAITINGFORPATH}, {I, kConnOk, 0x77}}, 0,
       {Wifi(0), "Wifi Conn Manager Status []\r\n", Net(1), "3G Conn Manager Status [# DEFAULT:]\r\n"}, {W, I}},
      {"the Internet request fails: the work connection's status decides",
       {{W, kConnOk, CONNMGR_STATUS_NOPATHTODESTINATION}, {I, kConnFail}}, 0,
       {Wifi(0), "Wifi Conn Manager Status [# CONNMGR_STATUS_NOPATHTODESTINATION:!!!]\r\n",
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
    for (std::size_t i = 0; i < c.asked.size(); ++i) {
      ConnMgrConnectionInfo expected{64, 1, 1, 0x8000, 1, 0, c.asked[i], 42, 8024};
      EXPECT_TRUE(manager.requests[i] == expected) << i;
    }
    // At most one connection stays held: one replaced by the Internet's is released.
    EXPECT_LE(manager.held.size(), 1u);
    network.Release();
    EXPECT_TRUE(manager.held.empty());
  }
}

namespace {

class ScriptedSystem : public NetworkProbe {
 public:
  bool WorkNetworkUp() override { return work.load(); }
  bool DefaultRoute() override { return route.load(); }
  std::atomic<bool> work{false}, route{true};
};

}  // namespace

TEST(LinuxConnectionManager, MapsTheSystemOntoTheTwoDestinationsAndReportsChanges) {
  auto owned = std::make_unique<ScriptedSystem>();
  ScriptedSystem& system = *owned;
  MessageRecorder dialog;
  CNetworkConnection network(std::make_unique<LinuxConnectionManager>(std::move(owned), std::chrono::milliseconds(5)));
  DebugCapture debug;
  EXPECT_EQ(network.ConnectNetwork(dialog.Handle()), 1);
  EXPECT_EQ(debug.Lines(), (std::vector<std::string>{
                               "#Wifi [0] [0xa1182988-0xd73-0x439e-0x87ad2a5b369f808b] [Work network]\r\n",
                               "Wifi Conn Manager Status [# CONNMGR_STATUS_NOPATHTODESTINATION:!!!]\r\n",
                               "# 3G [1] [0x436ef144-0xb4fb-0x4863-0xa0418f905a62c572] [The Internet]\r\n",
                               "3G Conn Manager Status [# CONNMGR_STATUS_CONNECTED:]\r\n"}));

  // The default route goes: the dialog hears of it; the flag stays as decided at start.
  system.route = false;
  ASSERT_TRUE(PumpUntil([&] { return dialog.Count(WM_CONNMGR_STATUS) == 1; }));
  debug.Clear();
  EXPECT_EQ(network.OnConnMgrStatus(0, 0), 0);
  EXPECT_EQ(debug.Lines(), std::vector<std::string>{"# [# CONNMGR_STATUS_NOPATHTODESTINATION: ]\r\n"});
  EXPECT_EQ(network.NetworkAvailable(), 1);

  EXPECT_EQ(network.ConnectNetwork(dialog.Handle()), 0);  // neither there
  system.work = true;
  EXPECT_EQ(network.ConnectNetwork(dialog.Handle()), 1);
}

TEST(LinuxConnectionManager, ReadsInterfacesAndRoutes) {
  sockaddr_in6 v6{};
  v6.sin6_family = AF_INET6;
  ::inet_pton(AF_INET6, "fe80::1", &v6.sin6_addr);
  sockaddr v4{AF_INET, {}};
  const unsigned up = IFF_UP | IFF_RUNNING;
  EXPECT_TRUE(IsWorkNetworkAddress(up, &v4));
  EXPECT_FALSE(IsWorkNetworkAddress(up, reinterpret_cast<const sockaddr*>(&v6)));  // link-local only
  EXPECT_FALSE(IsWorkNetworkAddress(up | IFF_LOOPBACK, &v4));
  EXPECT_FALSE(IsWorkNetworkAddress(IFF_UP, &v4));  // no carrier

  auto route = [](const std::string& flags, const std::string& mask) {
    return HasDefaultRoute("Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
                           "eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
                           "eth0\t00000000\t0100A8C0\t" + flags + "\t0\t0\t100\t" + mask + "\t0\t0\t0\n");
  };
  EXPECT_TRUE(route("0003", "00000000"));
  EXPECT_FALSE(route("0002", "00000000"));  // not up
  EXPECT_FALSE(route("0003", "000000FF"));  // not the default
}
