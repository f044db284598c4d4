#pragma once
// The connection manager as the program uses it: destination networks known
// by GUID, a synchronous connection request, status queries and release.
// Results follow the platform's convention: a negative result is a failure.
// The system's adapter and the tests' fakes implement it.
#include <cstdint>
#include <string>

#include "platform/core/window.h"

namespace lv {

using HRESULT = std::int32_t;
constexpr HRESULT kConnOk = 0;
constexpr HRESULT kConnFail = static_cast<HRESULT>(0x80004005u);
using HCONNECTION = std::uintptr_t;  // 0 = none

struct ConnGuid {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::uint8_t Data4[8] = {};
  bool operator==(const ConnGuid&) const = default;  // field by field
};

// The work-network ("Wifi") and Internet ("3G") destinations.
constexpr ConnGuid IID_DestNetWork{0xA1182988, 0x0D73, 0x439E, {0x87, 0xAD, 0x2A, 0x5B, 0x36, 0x9F, 0x80, 0x8B}};
constexpr ConnGuid IID_DestNetInternet{0x436EF144, 0xB4FB, 0x4863, {0xA0, 0x41, 0x8F, 0x90, 0x5A, 0x62, 0xC5, 0x72}};

struct ConnMgrDestinationInfo {
  ConnGuid guid;
  std::u16string description;  // up to 128 characters
};

// The connection request record.
constexpr std::uint32_t CONNMGR_PARAM_GUIDDESTNET = 0x1;
constexpr std::uint32_t CONNMGR_FLAG_PROXY_HTTP = 0x1;
constexpr std::uint32_t CONNMGR_PRIORITY_USERINTERACTIVE = 0x8000;

struct ConnMgrConnectionInfo {
  std::uint32_t cbSize = 64;
  std::uint32_t dwParams = 0;
  std::uint32_t dwFlags = 0;
  std::uint32_t dwPriority = 0;
  int bExclusive = 0;
  int bDisabled = 0;
  ConnGuid guidDestNet;
  HWND hWnd = 0;
  std::uint32_t uMsg = 0;
  LPARAM lParam = 0;
  std::uint32_t ulMaxCost = 0;
  std::uint32_t ulMinRcvBw = 0;
  std::uint32_t ulMaxConnLatency = 0;
  bool operator==(const ConnMgrConnectionInfo&) const = default;
};

// Status values.
constexpr std::uint32_t CONNMGR_STATUS_UNKNOWN = 0x00;
constexpr std::uint32_t CONNMGR_STATUS_CONNECTED = 0x10;
constexpr std::uint32_t CONNMGR_STATUS_SUSPENDED = 0x11;
constexpr std::uint32_t CONNMGR_STATUS_CONNECTIONFAILED = 0x21;
constexpr std::uint32_t CONNMGR_STATUS_CONNECTIONCANCELED = 0x22;
constexpr std::uint32_t CONNMGR_STATUS_CONNECTIONDISABLED = 0x23;
constexpr std::uint32_t CONNMGR_STATUS_NOPATHTODESTINATION = 0x24;
constexpr std::uint32_t CONNMGR_STATUS_WAITINGFORPATH = 0x25;
constexpr std::uint32_t CONNMGR_STATUS_WAITINGFORPHONE = 0x26;
constexpr std::uint32_t CONNMGR_STATUS_CONNECTIONLINKFAILED = 0x2A;
constexpr std::uint32_t CONNMGR_STATUS_AUTHENTICATIONFAILED = 0x2B;
constexpr std::uint32_t CONNMGR_STATUS_WAITINGFORRESOURCE = 0x41;
constexpr std::uint32_t CONNMGR_STATUS_WAITINGFORNETWORK = 0x42;

class IConnectionManager {
 public:
  virtual ~IConnectionManager() = default;
  // Describes destination number index; negative once there is none.
  virtual HRESULT ConnMgrEnumDestinations(int index, ConnMgrDestinationInfo& info) = 0;
  // Returns once the connection is made, has failed or timeoutMs has passed;
  // on success connection holds the new handle.
  virtual HRESULT ConnMgrEstablishConnectionSync(const ConnMgrConnectionInfo& request, HCONNECTION& connection,
                                                 std::uint32_t timeoutMs, std::uint32_t& status) = 0;
  virtual HRESULT ConnMgrConnectionStatus(HCONNECTION connection, std::uint32_t& status) = 0;
  virtual HRESULT ConnMgrReleaseConnection(HCONNECTION connection, int cacheTime) = 0;
};

}  // namespace lv
