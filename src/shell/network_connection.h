#pragma once
// The program's data connection: requested once at start, work network first
// and the Internet only if that does not end up connected; the outcome is the
// one network-available flag. Later status changes arrive at the notify
// window as WM_CONNMGR_STATUS and are only written to the debug output.
// Runs on the user-interface thread.
#include <cstdint>
#include <memory>

#include "platform/core/window.h"
#include "shell/conn_mgr.h"

namespace lv {

constexpr std::uint32_t WM_CONNMGR_STATUS = 8024;
constexpr std::uint32_t kConnectTimeoutMs = 10000;

// The debug texts of a status: at start-up (after the work-network or the
// Internet try) and in a later notification.
const char* StartupStatusText(std::uint32_t status, bool internetTry);
const char* NotifyStatusText(std::uint32_t status);

class CNetworkConnection {
 public:
  // The system's connection manager.
  CNetworkConnection();
  explicit CNetworkConnection(std::unique_ptr<IConnectionManager> manager);
  ~CNetworkConnection();
  CNetworkConnection(const CNetworkConnection&) = delete;
  CNetworkConnection& operator=(const CNetworkConnection&) = delete;

  // Requests the connection, status changes to go to notifyWindow as
  // WM_CONNMGR_STATUS; returns and keeps network available (1 or 0).
  int ConnectNetwork(HWND notifyWindow);
  // The WM_CONNMGR_STATUS handler: writes the current status; returns 0.
  int OnConnMgrStatus(WPARAM wParam, LPARAM lParam);
  // Releases the held connection, if any.
  void Release();

  int NetworkAvailable() const { return m_bNetworkAvailable; }
  HCONNECTION Connection() const { return m_hConnection; }

 private:
  void TryDestination(const ConnGuid& destination, HWND notifyWindow, const char* successFormat,
                      const char* failFormat);
  bool QueryStatus(std::uint32_t& status);

  std::unique_ptr<IConnectionManager> m_pManager;
  HCONNECTION m_hConnection = 0;
  int m_bNetworkAvailable = 0;
};

}  // namespace lv
