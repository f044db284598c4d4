// The site view's two button grids, its pen filter and its commands: channel
// switching and PTZ steering.
#include "controls/grp_btn.h"
#include "controls/skin_table.h"
#include "platform/core/debug_out.h"
#include "platform/ui/accessible.h"
#include "platform/ui/window_api.h"
#include "view/site_view.h"

namespace lv {
namespace {

// What a screen reader says for PTZ button i.
constexpr std::array<const char16_t*, 16> kPtzNames = {
    u"PTZ up-left",   u"PTZ up",   u"PTZ up-right",   u"Exit PTZ",   u"PTZ left",    u"PTZ (no function)",
    u"PTZ right",     u"Iris open", u"PTZ down-left", u"PTZ down",   u"PTZ down-right", u"Iris close",
    u"Focus near",    u"Focus far", u"Zoom in",       u"Zoom out"};

std::u16string ChannelNumber(int n) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + n % 10));
    n /= 10;
  } while (n > 0);
  return digits;
}

CRect ButtonRect(int i, int bottom) {
  const int x = (i % 4) * 120;
  const int y = bottom - 240 + (i / 4) * 60;
  return {x, y, x + 120, y + 60};
}

}  // namespace

void CDlg_SiteView::ComposeBtnCH(int present) {
  if (m_nComposedCH >= 0) return;
  DebugOut("# VIEW ComposeBtnCH [%d] [%d]\r\n", present, m_rcWindow.bottom);
  for (int i = 0; i < 16; ++i) {
    const bool here = i < present;
    const int normal = here ? ChannelButtonNormal(i) : ChannelButtonAbsent(i);
    const int hover = here ? ChannelButtonHover(i) : normal;
    const int pressed = here ? ChannelButtonPressed(i) : normal;
    m_hBtnCH[static_cast<std::size_t>(i)] = CreateGrpBtn(GetSafeHwnd(), IDC_CH_BTN_FIRST + static_cast<UINT>(i),
                                                         ButtonRect(i, m_rcWindow.bottom), normal, hover, pressed,
                                                         normal);
    const HWND button = m_hBtnCH[static_cast<std::size_t>(i)];
    SetAccessibleName(button, u"Channel " + ChannelNumber(i + 1));
    // A channel the DVR lacks is a grey picture; a screen reader says it is unavailable.
    if (!here) lv::EnableWindow(button, false);
    if (MotionOn(i)) lv::SendMessage(button, GBM_SETMARK, 1, 0);
  }
  m_nComposedCH = present;
}

void CDlg_SiteView::DestroyBtnCH() {
  if (m_nComposedCH < 0) return;
  for (HWND& h : m_hBtnCH) {
    if (h) lv::DestroyWindow(h);
    h = 0;
  }
  m_nComposedCH = -1;
}

void CDlg_SiteView::ComposeBtnPTZ() {
  DebugOut("# VIEW ComposeBtnPTZ [%d]\r\n", m_rcWindow.bottom);
  DestroyBtnPTZ();  // a second login must not leave a grid behind
  for (int i = 0; i < 16; ++i) {
    const auto k = static_cast<std::size_t>(i);
    m_hBtnPTZ[k] = CreateGrpBtn(GetSafeHwnd(), IDC_PTZ_BTN_FIRST + static_cast<UINT>(i), ButtonRect(i, m_rcWindow.bottom),
                                PtzButtonNormal(i), PtzButtonNormal(i), PtzButtonPressed(i), PtzButtonNormal(i));
    SetAccessibleName(m_hBtnPTZ[k], kPtzNames[k]);
  }
}

void CDlg_SiteView::DestroyBtnPTZ() {
  for (HWND& h : m_hBtnPTZ) {
    if (h) lv::DestroyWindow(h);
    h = 0;
  }
}

void CDlg_SiteView::ShowBtnCH(bool show) {
  for (std::size_t i = 0; i < 16; ++i) {
    lv::ShowWindow(m_hBtnCH[i], show ? SW_SHOW : SW_HIDE);
    lv::ShowWindow(m_hBtnPTZ[i], show ? SW_HIDE : SW_SHOW);
  }
}

bool CDlg_SiteView::PtzAllowed() const {
  const CDvrSession* dvr = m_pCurr_DVR.load();
  return dvr && (dvr->m_nProtoVersion.load() > 2033 || (dvr->m_nHwType.load() == 0 && dvr->m_nOsVersion.load() > 5021));
}

bool CDlg_SiteView::PreTranslateMessage(MSG* msg) {
  if (msg->message == WM_LBUTTONDOWN) {
    const unsigned x = LOWORD(static_cast<std::uintptr_t>(msg->lParam));
    const unsigned y = HIWORD(static_cast<std::uintptr_t>(msg->lParam));
    DebugOut(" CDlg_SiteView::PreTranslateMessage xPos[%u] yPos[%u]\r\n", x, y);
    if (y > 60 && y < 400) {
      DebugOut(" m_bPTZ_CH[%d] m_bPTZMode[%d] \r\n\r\n", m_bPTZ_CH.load(), m_bPTZMode.load());
      if (PtzAllowed() && m_bPTZ_CH.load() && !m_bPTZMode.load()) {
        m_bPTZMode.store(1);
        m_nPressedPTZ.store(-1);
        ShowBtnCH(false);
      }
      return true;
    }
  } else if ((msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) && OnViewKey(*msg)) {
    return true;
  } else if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE)) {
    return true;  // the keyboard never ends the view
  }
  return CDialog::PreTranslateMessage(msg);
}

bool CDlg_SiteView::OnCommand(WPARAM wParam, LPARAM lParam) {
  const UINT id = LOWORD(wParam);
  const int notification = HIWORD(wParam);
  DebugOut(" OnCommand ClickCH[%u] ClickType[%d]\r\n", id, notification);
  CDvrSession* dvr = m_pCurr_DVR.load();
  if (dvr && id >= IDC_CH_BTN_FIRST && id < IDC_CH_BTN_FIRST + 16) {
    if (notification == GBN_CLICKED) {
      const int index = static_cast<int>(id - IDC_CH_BTN_FIRST);
      if (index != dvr->m_nCurrentCH.load()) SwitchToChannel(index);
      DebugOut(" CDlg_SiteView::OnCommand Channel Index [%d]  [%d]\r\n", index, static_cast<int>(lParam));
    }
  } else if (dvr && id >= IDC_PTZ_BTN_FIRST && id < IDC_PTZ_BTN_FIRST + 16) {
    OnPtzCommand(id, notification);
  }
  return CDialog::OnCommand(wParam, lParam);
}

void CDlg_SiteView::OnPtzCommand(UINT id, int notification) {
  CDvrSession* dvr = m_pCurr_DVR.load();
  const std::uint8_t channel = dvr->m_nCurrentCH.load();
  if (notification == GBN_CLICKED) {
    if (id == IDC_PTZ_EXIT) {
      ShowBtnCH(true);
      m_bPTZMode.store(0);
    } else if (id != IDC_PTZ_BLANK) {
      dvr->CMD_PTZ_Control(channel, PTZ_STOP);
      m_nMovingPtzCH = -1;
    }
    m_nPressedPTZ.store(-1);
    InvalidateVideo();
    DebugOut(" [%u] lbutton up\r\n", id);
  } else if (notification == GBN_PRESSED) {
    DebugOut(" [%u] lbutton donw\r\n", id);
    const int code = kPtzControlCodes[id - IDC_PTZ_BTN_FIRST];
    if (code >= 0) {
      m_nPressedPTZ.store(static_cast<int>(id - IDC_PTZ_BTN_FIRST));
      dvr->CMD_PTZ_Control(channel, static_cast<std::uint8_t>(code));
      m_nMovingPtzCH = channel;
    }
  } else if (notification == GBN_RELEASED_OUTSIDE) {
    // The pen slid off the button before it was lifted: the move still ends.
    m_nPressedPTZ.store(-1);
    StopPtzMove("the pen was lifted off the button");
  }
}

void CDlg_SiteView::StopPtzMove(const char* why) {
  m_nPressedPTZ.store(-1);
  m_nKeyReleasePTZ = -1;
  if (GetSafeHwnd()) InvalidateVideo();
  CDvrSession* dvr = m_pCurr_DVR.load();
  if (m_nMovingPtzCH < 0 || !dvr) return;
  DebugOut("[CMD] PTZ stop for channel [%d]: %s\r\n", m_nMovingPtzCH, why);
  dvr->CMD_PTZ_Control(static_cast<std::uint8_t>(m_nMovingPtzCH), PTZ_STOP);
  m_nMovingPtzCH = -1;
}

}  // namespace lv
