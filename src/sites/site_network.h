#pragma once
// What the site list needs of the program's data connection. The application
// gives the site list the real connection; tests give it a stand-in.
#include "platform/ui/win_types.h"

namespace lv {

// The connection manager's status notification to the site list.
inline constexpr UINT kConnMgrStatusMessage = 8024;  // WM_CONNMGR_STATUS

class ISiteNetwork {
 public:
  virtual ~ISiteNetwork() = default;
  // Requests the connection (status changes to go to notifyWindow as
  // kConnMgrStatusMessage); returns network available, 1 or 0.
  virtual int ConnectNetwork(HWND notifyWindow) = 0;
  // A status notification arrived; returns the message's result.
  virtual LRESULT OnConnMgrStatus(WPARAM wParam, LPARAM lParam) = 0;
  // Releases the connection, if one is held.
  virtual void Release() = 0;
};

}  // namespace lv
