#pragma once
// The connection manager on Linux. Two destinations: the work network, there
// when an interface is up and running, is not loopback and has an address;
// and the Internet, there when a default route exists. Nothing is dialled: a
// request succeeds at once and its status says whether the network is there
// (connected) or not (no path to destination). A watcher thread posts the
// request's notification message when a held connection's status changes.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

#include "shell/conn_mgr.h"

struct sockaddr;

namespace lv {

// What the system has right now; called from any thread.
class NetworkProbe {
 public:
  virtual ~NetworkProbe() = default;
  virtual bool WorkNetworkUp() = 0;
  virtual bool DefaultRoute() = 0;
};

// getifaddrs and /proc/net/route.
std::unique_ptr<NetworkProbe> MakeSystemNetworkProbe();
// One interface address counts for the work network: up and running, not
// loopback, an IPv4 address or an IPv6 address that is not link-local.
bool IsWorkNetworkAddress(unsigned flags, const sockaddr* address);
// The text of /proc/net/route holds an IPv4 default route that is up.
bool HasDefaultRoute(std::string_view procNetRoute);

class LinuxConnectionManager : public IConnectionManager {
 public:
  explicit LinuxConnectionManager(std::unique_ptr<NetworkProbe> probe = MakeSystemNetworkProbe(),
                                  std::chrono::milliseconds watchPeriod = std::chrono::seconds(2));
  ~LinuxConnectionManager() override;

  HRESULT ConnMgrEnumDestinations(int index, ConnMgrDestinationInfo& info) override;
  HRESULT ConnMgrEstablishConnectionSync(const ConnMgrConnectionInfo& request, HCONNECTION& connection,
                                         std::uint32_t timeoutMs, std::uint32_t& status) override;
  HRESULT ConnMgrConnectionStatus(HCONNECTION connection, std::uint32_t& status) override;
  HRESULT ConnMgrReleaseConnection(HCONNECTION connection, int cacheTime) override;

 private:
  struct Connection {
    bool internet = false;
    HWND window = 0;
    std::uint32_t message = 0;
    LPARAM lParam = 0;
    std::uint32_t lastStatus = 0;
  };
  std::uint32_t CurrentStatus(bool internet);
  void Watch(std::stop_token stop);

  std::unique_ptr<NetworkProbe> m_pProbe;
  const std::chrono::milliseconds m_watchPeriod;
  std::mutex m_lock;  // guards m_connections and m_nextHandle
  std::condition_variable_any m_wake;
  std::map<HCONNECTION, Connection> m_connections;
  HCONNECTION m_nextHandle = 1;
  std::jthread m_watcher;  // last: stopped and joined before the rest goes
};

}  // namespace lv
