// The site view as the controller of its session: connect, login, channel
// choice, open, close and switch, and the link going down.
#include "platform/core/debug_out.h"
#include "platform/core/sync.h"
#include "protocol/ids.h"
#include "view/site_view.h"

namespace lv {

LRESULT CDlg_SiteView::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  CDvrSession* dvr = m_pCurr_DVR.load();
  switch (msg) {
    case WM_DVR_CONNECT_SOCKET:
      if (dvr) OnConnectSocket();
      return 0;
    case WM_DVR_CONNECT_FAIL:
      if (dvr) OnConnectFailed("the connection was refused or failed");
      return 0;
    case WM_DVR_SOCKET_RESERVED:
      return 0;
    case WM_DVR_CLOSE_SOCKET:
      OnCloseSocket();
      return 0;
    case WM_DVR_REPLAY_LOGIN:
      if (dvr) OnLoginReply(lParam);
      return 0;
    case WM_DVR_RESP_010002:
      return 0;
    case WM_DVR_RESP_CH_OPEN:
      if (dvr) OnChannelOpenReply(wParam, lParam);
      return 0;
    case WM_DVR_RESP_CH_CLOSE:
      if (dvr) OnChannelCloseReply(lParam);
      return 0;
    case WM_DVR_REPLAY_HEARTBEAT:
      DebugOut("\r\n## [NOTI] HEARTBEAT\r\n");
      return 0;
    case WM_DVR_REPLAY_HWINFO:
      if (dvr) OnHwInfo(wParam, lParam);
      return 0;
    case WM_DVR_REPLAY_OSINFO:
      if (dvr) OnVersionReply("OSINFO", true, wParam, lParam);
      return 0;
    case WM_DVR_REPLAY_PROTOINFO:
      if (dvr) OnVersionReply("PROTOINFO", false, wParam, lParam);
      return 0;
    case WM_DVR_REQ_010105:
      if (dvr) dvr->Req010105(static_cast<std::uint8_t>(wParam & 0xFF), static_cast<std::uint8_t>(lParam & 0xFF));
      return 0;
    case WM_VIEW_NEW_PICTURE:
      OnNewPicture();
      return 0;
    case WM_ACTIVATE:
      // A move must not outlive the user's attention: another window taking
      // the pen means the held button will never see its release.
      if (LOWORD(wParam) == WA_INACTIVE) StopPtzMove("the view lost activation");
      break;
    case WM_DESTROY:
      StopPtzMove("the view is closing");
      FlushRequests();
      break;
    default:
      break;
  }
  return CDialog::WindowProc(msg, wParam, lParam);
}

void CDlg_SiteView::StartSessionView() {
  CDvrSession* dvr = m_pCurr_DVR.load();
  dvr->m_hNotifyWnd.store(GetSafeHwnd());
  m_nSwitchCH = -1;
  m_nMovingPtzCH = -1;
  m_nLastBytes = dvr->BytesReceived();
  m_nQuietMs = 0;
  SetStatus(ST_TRY_LOGIN);
  if (!dvr->TryConnect_DVR()) {
    OnConnectFailed("the address could not be resolved or no socket could be made");
    return;
  }
  SetTimer(kTimerConnect, m_nConnectTimeoutMs);
}

void CDlg_SiteView::OnConnectFailed(const char* why) {
  KillTimer(kTimerConnect);
  KillTimer(kTimerOpen);
  RememberChannelForReconnect();
  DebugOut("\r\n## [NOTI] Link Fail! => Disconnected : %s\r\n", why);
  StopRenderThread();
  DestroyBtnCH();
  DestroyBtnPTZ();
  SetStatus(ST_DISCONNECTED);
  Disconnect();
  ComposeBtnCH(0);
  ScheduleReconnect();
}

void CDlg_SiteView::OnConnectSocket() {
  CDvrSession* dvr = m_pCurr_DVR.load();
  DebugOut("\r\n## [NOTI] CONNECT SOCKET\r\n");
  SetStatus(ST_CONNECTED);
  if (!dvr->BeginLogin()) {
    OnConnectFailed("the session could not start");
    return;
  }
  SetStatus(ST_TRY_LOGIN);
}

void CDlg_SiteView::OnHwInfo(WPARAM wParam, LPARAM result) {
  CDvrSession* dvr = m_pCurr_DVR.load();
  if (result != 1) {
    DebugOut("\r\n##  RESP_HWINFO Fail! [0x%x]\r\n", static_cast<unsigned>(result));
    return;
  }
  dvr->m_nHwType.store(static_cast<std::uint8_t>((wParam >> 16) & 0xFF));
  dvr->m_nMaxChannel.store(static_cast<std::uint8_t>(wParam & 0xFF));
  DebugOut("\r\n##  DVR HWType[%d] ChMaxCnt[%d]\r\n", dvr->m_nHwType.load(), dvr->m_nMaxChannel.load());
}

void CDlg_SiteView::OnVersionReply(const char* name, bool os, WPARAM wParam, LPARAM result) {
  CDvrSession* dvr = m_pCurr_DVR.load();
  if (result != 1) {
    DebugOut("\r\n##  RESP_%s Fail! [0x%x]\r\n", name, static_cast<unsigned>(result));
    return;
  }
  auto& digits = os ? dvr->m_OsVer : dvr->m_ProtoVer;
  int number = 0;
  for (int i = 0; i < 4; ++i) {
    const auto d = static_cast<std::uint8_t>((wParam >> (24 - 8 * i)) & 0xFF);
    digits[static_cast<std::size_t>(i)].store(d);
    number = number * 10 + d;
  }
  (os ? dvr->m_nOsVersion : dvr->m_nProtoVersion).store(number);
}

void CDlg_SiteView::OnLoginReply(LPARAM result) {
  CDvrSession* dvr = m_pCurr_DVR.load();
  KillTimer(kTimerConnect);
  if (static_cast<std::uint32_t>(result) != kResultOk) {
    const auto code = ResultReason(static_cast<std::uint32_t>(result));
    SetStatus(code == kReasonAccountRejected ? ST_CHECK_ACCOUNT : ST_DISCONNECTED);
    ComposeBtnCH(0);
    Disconnect();
    return;
  }
  const auto flags = [](const auto& a) {
    std::string s;
    for (const auto& v : a) s += std::to_string(v.load()) + " ";
    return s;
  };
  DebugOut("\r\n Exist : %s\r\n PTZ : %s\r\n Lock : %s\r\n Function : %s\r\n", flags(dvr->m_bCamera).c_str(),
           flags(dvr->m_bPTZ).c_str(), flags(dvr->m_bLock).c_str(), flags(dvr->m_bFunction).c_str());

  // After a reconnect the channel that was on screen comes back.
  const int resume = std::exchange(m_nResumeCH, -1);
  const int found = dvr->MayOpen(resume) ? resume : dvr->FirstChannelToOpen();
  for (int i = 0; i <= found; ++i)
    DebugOut("\r\n First Try Channel [%d] : Exist[%d], LockPermit[%d]\r\n", i, dvr->HasCamera(i) ? 1 : 0,
             dvr->IsLocked(i) ? 1 : 0);
  const int maxChannels = dvr->ChannelCount();
  if (found >= 0) {
    dvr->m_nCurrentCH.store(static_cast<std::uint8_t>(found));
    DebugOut("\r\nTry Open Channel : [%d]\r\n", found);
    dvr->OpenChannel(static_cast<std::uint8_t>(found), 1, 0, 0);
    SetStatus(ST_TRY_OPEN);
    SetTimer(kTimerOpen, m_nOpenTimeoutMs);
  } else {
    dvr->m_nCurrentCH.store(kNoChannel);
    if (!dvr->HasCamera(0)) SetStatus(ST_NO_CAMERA);
    else if (dvr->IsLocked(0)) SetStatus(ST_NO_PERMISSION);
    else if (maxChannels == 0) {
      // Nothing can be shown: say so rather than wait at "Trying to login".
      DebugOut("\r\n## [NOTI] LOGIN OK but the DVR reports no channels\r\n");
      SetStatus(ST_NO_CAMERA);
    }
  }
  if (m_nComposedCH != maxChannels) DestroyBtnCH();  // the grey grid of a lost link
  ComposeBtnCH(maxChannels);
  ComposeBtnPTZ();
  ShowBtnCH(true);
}

void CDlg_SiteView::OnChannelOpenReply(WPARAM channel, LPARAM result) {
  CDvrSession* dvr = m_pCurr_DVR.load();
  KillTimer(kTimerOpen);
  if (static_cast<std::uint32_t>(result) != kResultOk) {
    const auto code = ResultReason(static_cast<std::uint32_t>(result));
    SetStatus(code == kReasonNoPermission ? ST_NO_PERMISSION : code == kReasonNoCamera ? ST_NO_CAMERA : ST_CH_CLOSED);
    m_nSwitchCH = -1;
    StopRenderThread();
    DebugOut("\r\n## [NOTI] RESP_CH_OPEN Fail! [0x%x]\r\n", code);
    return;
  }
  const bool switched = m_nSwitchCH >= 0;
  m_nSwitchCH = -1;
  SetStatus(ST_RECEIVING);
  m_tReceivingSince = std::chrono::steady_clock::now();
  m_bReceivedThisLink = true;
  if (!switched) StartRenderThread();
  const int ch = static_cast<int>(channel);
  if (ch < dvr->ChannelCount()) {
    if (dvr->m_bFunction[2].load() == 1) m_bPTZ_CH.store(dvr->IsPtzCamera(ch) ? 1 : 0);
    DebugOut("\r\n## [NOTI] RESP_CH_OPEN Success [%d] PTZ[%d]!\r\n", static_cast<int>(channel), m_bPTZ_CH.load());
  }
}

void CDlg_SiteView::OnChannelCloseReply(LPARAM result) {
  CDvrSession* dvr = m_pCurr_DVR.load();
  if (static_cast<std::uint32_t>(result) != kResultOk) {
    DebugOut("\r\n## [NOTI] RESP_CH_CLOSE Fail! [0x%x]\r\n", static_cast<unsigned>(result));
    return;
  }
  if (m_nSwitchCH < 0) {
    // A close the view did not ask for: the DVR ended the channel, and the
    // link with it; the buttons turn grey as after any lost link.
    KillTimer(kTimerOpen);
    RememberChannelForReconnect();
    SetStatus(ST_DISCONNECTED);
    StopRenderThread();
    Disconnect();
    DestroyBtnCH();
    DestroyBtnPTZ();
    ComposeBtnCH(0);
    DebugOut("\r\n## [NOTI] RESP_CH_CLOSE => DisConnect!\r\n");
    ScheduleReconnect();
    return;
  }
  const int target = m_nSwitchCH;
  KillTimer(kTimerOpen);
  if (dvr->MayOpen(target)) {
    dvr->m_nCurrentCH.store(static_cast<std::uint8_t>(target));
    dvr->OpenChannel(static_cast<std::uint8_t>(target), 1, 0, 0);
    SetStatus(ST_TRY_OPEN);
    SetTimer(kTimerOpen, m_nOpenTimeoutMs);
    DebugOut("\r\n## [NOTI] RESP_CH_CLOSE => SwitchCH[%d]!\r\n", target);
    return;
  }
  dvr->m_nCurrentCH.store(kNoChannel);
  SetStatus(!dvr->HasCamera(target) ? ST_NO_CAMERA : ST_NO_PERMISSION);
  m_nSwitchCH = -1;
}

void CDlg_SiteView::SwitchToChannel(int target) {
  CDvrSession* dvr = m_pCurr_DVR.load();
  const int status = m_nStatus.load();
  if (status == ST_RECEIVING) {
    StopPtzMove("the channel is switched");
    SetStatus(ST_SWITCHING);
    m_nSwitchCH = target;
    // The size and time of the channel being left are never shown for the next.
    ClearPictureLabels();
    dvr->CloseChannel(dvr->m_nCurrentCH.load());
    SetTimer(kTimerOpen, m_nOpenTimeoutMs);
  } else if (status == ST_NO_PERMISSION || status == ST_NO_CAMERA || status == ST_CH_CLOSED) {
    // Nothing is open: the chosen channel is opened straight away.
    OpenIfAllowed(target);
  }
}

void CDlg_SiteView::OpenIfAllowed(int target) {
  CDvrSession* dvr = m_pCurr_DVR.load();
  if (dvr->MayOpen(target)) {
    dvr->m_nCurrentCH.store(static_cast<std::uint8_t>(target));
    dvr->OpenChannel(static_cast<std::uint8_t>(target), 1, 0, 0);
    SetStatus(ST_TRY_OPEN);
    SetTimer(kTimerOpen, m_nOpenTimeoutMs);
    return;
  }
  dvr->m_nCurrentCH.store(kNoChannel);
  SetStatus(!dvr->HasCamera(target) ? ST_NO_CAMERA : ST_NO_PERMISSION);
}

void CDlg_SiteView::OnCloseSocket() {
  DebugOut("\r\n## [NOTI] CLOSE SOCKET\r\n");
  RememberChannelForReconnect();
  if (CDvrSession* dvr = m_pCurr_DVR.load(); dvr && !dvr->ProtocolFault().empty())
    DebugOut("\r\n## [NOTI] Link Fail! => Disconnected : %s\r\n", dvr->ProtocolFault().c_str());
  KillTimer(kTimerConnect);
  KillTimer(kTimerOpen);
  m_nMovingPtzCH = -1;  // nothing more can be sent on this link
  m_nPressedPTZ.store(-1);
  m_bPTZMode.store(0);
  DestroyBtnCH();
  DestroyBtnPTZ();
  bool lost = false;
  if (m_nStatus.load() == ST_TRY_LOGIN) {
    SetStatus(ST_CHECK_ACCOUNT);
  } else {
    StopRenderThread();
    SetStatus(ST_DISCONNECTED);
    lost = true;
  }
  if (CDvrSession* dvr = m_pCurr_DVR.load()) dvr->Disconnect();
  ComposeBtnCH(0);
  if (lost) ScheduleReconnect();
}

void CDlg_SiteView::RememberChannelForReconnect() {
  const CDvrSession* dvr = m_pCurr_DVR.load();
  const int status = m_nStatus.load();
  if (!dvr || (status != ST_RECEIVING && status != ST_SWITCHING && status != ST_TRY_OPEN)) return;
  const int channel = m_nSwitchCH >= 0 ? m_nSwitchCH : dvr->m_nCurrentCH.load();
  if (channel < kMaxChannels) m_nResumeCH = channel;
}

void CDlg_SiteView::Disconnect() {
  StopPtzMove("the view ends the connection");
  FlushRequests();
  if (CDvrSession* dvr = m_pCurr_DVR.load()) dvr->Disconnect();
}

void CDlg_SiteView::FlushRequests() {
  CDvrSession* dvr = m_pCurr_DVR.load();
  if (!dvr || !dvr->m_bStarted.load()) return;
  // The send thread takes a request within a millisecond; a link that takes
  // nothing for half a second is not waited for.
  for (int i = 0; i < 500 && dvr->QueuedRequests() > 0 && dvr->SendThreadRunning(); ++i) SleepMs(1);
}

}  // namespace lv
