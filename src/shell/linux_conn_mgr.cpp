#include "shell/linux_conn_mgr.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/core/sync.h"

namespace lv {
namespace {

class SystemNetworkProbe : public NetworkProbe {
 public:
  bool WorkNetworkUp() override {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owner(list, &::freeifaddrs);
    for (const ifaddrs* p = list; p != nullptr; p = p->ifa_next)
      if (IsWorkNetworkAddress(p->ifa_flags, p->ifa_addr)) return true;
    return false;
  }
  bool DefaultRoute() override {
    std::ifstream in("/proc/net/route");
    std::stringstream text;
    text << in.rdbuf();
    return HasDefaultRoute(text.str());
  }
};

}  // namespace

std::unique_ptr<NetworkProbe> MakeSystemNetworkProbe() { return std::make_unique<SystemNetworkProbe>(); }

bool IsWorkNetworkAddress(unsigned flags, const sockaddr* address) {
  if (address == nullptr || (flags & IFF_LOOPBACK) != 0) return false;
  if ((flags & (IFF_UP | IFF_RUNNING)) != (IFF_UP | IFF_RUNNING)) return false;
  if (address->sa_family == AF_INET) return true;
  if (address->sa_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
    return !IN6_IS_ADDR_LINKLOCAL(&v6->sin6_addr) && !IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr);
  }
  return false;
}

bool HasDefaultRoute(std::string_view procNetRoute) {
  std::istringstream lines{std::string(procNetRoute)};
  std::string line;
  std::getline(lines, line);  // column titles
  while (std::getline(lines, line)) {
    // Iface Destination Gateway Flags RefCnt Use Metric Mask ...
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags, refCnt, use, metric, mask;
    if (!(fields >> iface >> destination >> gateway >> flags >> refCnt >> use >> metric >> mask)) continue;
    unsigned long flagBits = 0;
    try {
      flagBits = std::stoul(flags, nullptr, 16);
    } catch (const std::exception&) {
      continue;
    }
    if (destination == "00000000" && mask == "00000000" && (flagBits & RTF_UP) != 0) return true;
  }
  return false;
}

LinuxConnectionManager::LinuxConnectionManager(std::unique_ptr<NetworkProbe> probe,
                                               std::chrono::milliseconds watchPeriod)
    : m_pProbe(std::move(probe)), m_watchPeriod(watchPeriod) {}

LinuxConnectionManager::~LinuxConnectionManager() = default;  // the watcher stops and joins first

std::uint32_t LinuxConnectionManager::CurrentStatus(bool internet) {
  const bool there = internet ? m_pProbe->DefaultRoute() : m_pProbe->WorkNetworkUp();
  return there ? CONNMGR_STATUS_CONNECTED : CONNMGR_STATUS_NOPATHTODESTINATION;
}

HRESULT LinuxConnectionManager::ConnMgrEnumDestinations(int index, ConnMgrDestinationInfo& info) {
  switch (index) {
    case 0:
      info = {IID_DestNetWork, u"Work network"};
      return kConnOk;
    case 1:
      info = {IID_DestNetInternet, u"The Internet"};
      return kConnOk;
    default:
      return kConnFail;
  }
}

HRESULT LinuxConnectionManager::ConnMgrEstablishConnectionSync(const ConnMgrConnectionInfo& request,
                                                               HCONNECTION& connection, std::uint32_t,
                                                               std::uint32_t& status) {
  const bool internet = request.guidDestNet == IID_DestNetInternet;
  if (!internet && !(request.guidDestNet == IID_DestNetWork)) return kConnFail;
  status = CurrentStatus(internet);
  std::lock_guard lock(m_lock);
  connection = m_nextHandle++;
  m_connections[connection] = {internet, request.hWnd, request.uMsg, request.lParam, status};
  if (!m_watcher.joinable() && !StartThread(m_watcher, [this](std::stop_token stop) { Watch(stop); })) {
    m_connections.erase(connection);
    return kConnFail;
  }
  return kConnOk;
}

HRESULT LinuxConnectionManager::ConnMgrConnectionStatus(HCONNECTION connection, std::uint32_t& status) {
  bool internet = false;
  {
    std::lock_guard lock(m_lock);
    const auto it = m_connections.find(connection);
    if (it == m_connections.end()) return kConnFail;
    internet = it->second.internet;
  }
  status = CurrentStatus(internet);
  return kConnOk;
}

HRESULT LinuxConnectionManager::ConnMgrReleaseConnection(HCONNECTION connection, int) {
  std::lock_guard lock(m_lock);
  return m_connections.erase(connection) != 0 ? kConnOk : kConnFail;
}

void LinuxConnectionManager::Watch(std::stop_token stop) {
  std::unique_lock lock(m_lock);
  while (!stop.stop_requested()) {
    m_wake.wait_for(lock, stop, m_watchPeriod, [] { return false; });
    if (stop.stop_requested()) break;
    for (auto& [handle, c] : m_connections) {
      const std::uint32_t now = CurrentStatus(c.internet);
      if (now == c.lastStatus) continue;
      c.lastStatus = now;
      if (c.window != 0 && c.message != 0) PostMessage(c.window, c.message, 0, c.lParam);
    }
  }
}

}  // namespace lv
