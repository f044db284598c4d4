#include "shell/network_connection.h"

#include "platform/core/debug_out.h"
#include "protocol/text.h"
#include "shell/linux_conn_mgr.h"

namespace lv {

const char* StartupStatusText(std::uint32_t status, bool internetTry) {
  switch (status) {
    case CONNMGR_STATUS_UNKNOWN: return "# CONNMGR_STATUS_UNKNOWN:";
    case CONNMGR_STATUS_CONNECTED: return "# CONNMGR_STATUS_CONNECTED:";
    case CONNMGR_STATUS_CONNECTIONFAILED: return "# CONNMGR_STATUS_CONNECTIONFAILED:!!";
    case CONNMGR_STATUS_CONNECTIONCANCELED: return "# CONNMGR_STATUS_CONNECTIONCANCELED:!!!";
    case CONNMGR_STATUS_CONNECTIONDISABLED: return "# CONNMGR_STATUS_CONNECTIONDISABLED:!!!";
    case CONNMGR_STATUS_NOPATHTODESTINATION: return "# CONNMGR_STATUS_NOPATHTODESTINATION:!!!";
    case CONNMGR_STATUS_CONNECTIONLINKFAILED: return "# CONNMGR_STATUS_CONNECTIONLINKFAILED:!!!";
    case CONNMGR_STATUS_AUTHENTICATIONFAILED: return "# CONNMGR_STATUS_AUTHENTICATIONFAILED:!!!";
    default: return internetTry ? "# DEFAULT:" : "";
  }
}

const char* NotifyStatusText(std::uint32_t status) {
  switch (status) {
    case CONNMGR_STATUS_UNKNOWN: return "# CONNMGR_STATUS_UNKNOWN:\t\t\t\t";
    case CONNMGR_STATUS_CONNECTED: return "# CONNMGR_STATUS_CONNECTED:\t\t\t";
    case CONNMGR_STATUS_SUSPENDED: return "# CONNMGR_STATUS_SUSPENDED:\t\t\t";
    case CONNMGR_STATUS_CONNECTIONFAILED: return "# CONNMGR_STATUS_CONNECTIONFAILED:\t";
    case CONNMGR_STATUS_CONNECTIONCANCELED: return "# CONNMGR_STATUS_CONNECTIONCANCELED:\t";
    case CONNMGR_STATUS_CONNECTIONDISABLED: return "# CONNMGR_STATUS_CONNECTIONDISABLED:\t";
    case CONNMGR_STATUS_NOPATHTODESTINATION: return "# CONNMGR_STATUS_NOPATHTODESTINATION: ";
    case CONNMGR_STATUS_WAITINGFORPATH: return "# CONNMGR_STATUS_WAITINGFORPATH:\t\t";
    case CONNMGR_STATUS_WAITINGFORPHONE: return "# CONNMGR_STATUS_WAITINGFORPHONE:\t\t";
    case CONNMGR_STATUS_CONNECTIONLINKFAILED: return "# CONNMGR_STATUS_CONNECTIONLINKFAILED:";
    case CONNMGR_STATUS_AUTHENTICATIONFAILED: return "# CONNMGR_STATUS_AUTHENTICATIONFAILED:";
    case CONNMGR_STATUS_WAITINGFORRESOURCE: return "# CONNMGR_STATUS_WAITINGFORRESOURCE:\t";
    case CONNMGR_STATUS_WAITINGFORNETWORK: return "# CONNMGR_STATUS_WAITINGFORNETWORK:\t";
    default: return "# Default:";
  }
}

CNetworkConnection::CNetworkConnection() : CNetworkConnection(std::make_unique<LinuxConnectionManager>()) {}

CNetworkConnection::CNetworkConnection(std::unique_ptr<IConnectionManager> manager)
    : m_pManager(std::move(manager)) {}

CNetworkConnection::~CNetworkConnection() { Release(); }

void CNetworkConnection::Release() {
  if (m_hConnection == 0) return;
  m_pManager->ConnMgrReleaseConnection(m_hConnection, 0);
  m_hConnection = 0;
}

bool CNetworkConnection::QueryStatus(std::uint32_t& status) {
  return m_hConnection != 0 && m_pManager->ConnMgrConnectionStatus(m_hConnection, status) >= 0;
}

void CNetworkConnection::TryDestination(const ConnGuid& destination, HWND notifyWindow, const char* successFormat,
                                        const char* failFormat) {
  ConnMgrDestinationInfo info;
  for (int i = 0; m_pManager->ConnMgrEnumDestinations(i, info) >= 0; ++i, info = {}) {
    if (!(info.guid == destination)) continue;
    ConnMgrConnectionInfo request;
    request.dwParams = CONNMGR_PARAM_GUIDDESTNET;
    request.dwFlags = CONNMGR_FLAG_PROXY_HTTP;
    request.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
    request.bExclusive = 1;
    request.guidDestNet = info.guid;
    request.hWnd = notifyWindow;
    request.uMsg = WM_CONNMGR_STATUS;
    HCONNECTION connection = 0;
    std::uint32_t status = 0;
    if (m_pManager->ConnMgrEstablishConnectionSync(request, connection, kConnectTimeoutMs, status) < 0) {
      DebugOut(failFormat, i);
      continue;
    }
    // The new connection replaces one held from the work-network try, which
    // is released rather than left open for the whole run.
    if (m_hConnection != 0 && m_hConnection != connection) m_pManager->ConnMgrReleaseConnection(m_hConnection, 0);
    m_hConnection = connection;
    const ConnGuid& g = info.guid;
    DebugOut(successFormat, i, g.Data1, unsigned{g.Data2}, unsigned{g.Data3}, unsigned{g.Data4[0]},
             unsigned{g.Data4[1]}, unsigned{g.Data4[2]}, unsigned{g.Data4[3]}, unsigned{g.Data4[4]},
             unsigned{g.Data4[5]}, unsigned{g.Data4[6]}, unsigned{g.Data4[7]},
             Utf16ToUtf8(info.description).c_str());
    return;
  }
}

int CNetworkConnection::ConnectNetwork(HWND notifyWindow) {
  Release();
  m_bNetworkAvailable = 0;

  TryDestination(IID_DestNetWork, notifyWindow, "#Wifi [%d] [0x%x-0x%x-0x%x-0x%x%x%x%x%x%x%x%x] [%s]\r\n",
                 "# Wifi Connection Manager Setting Fail [%d]\r\n");
  std::uint32_t status = 0;
  if (QueryStatus(status)) {
    DebugOut("Wifi Conn Manager Status [%s]\r\n", StartupStatusText(status, false));
    if (status == CONNMGR_STATUS_CONNECTED) return m_bNetworkAvailable = 1;
  }

  TryDestination(IID_DestNetInternet, notifyWindow, "# 3G [%d] [0x%x-0x%x-0x%x-0x%x%x%x%x%x%x%x%x] [%s]\r\n",
                 "# 3G Connection Manager Setting Fail [%d]\r\n");
  if (QueryStatus(status)) {
    DebugOut("3G Conn Manager Status [%s]\r\n", StartupStatusText(status, true));
    m_bNetworkAvailable = status == CONNMGR_STATUS_CONNECTED ? 1 : 0;
  }
  return m_bNetworkAvailable;
}

int CNetworkConnection::OnConnMgrStatus(WPARAM, LPARAM) {
  std::uint32_t status = 0;
  if (QueryStatus(status)) DebugOut("# [%s]\r\n", NotifyStatusText(status));
  return 0;
}

}  // namespace lv
