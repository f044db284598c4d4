#include "platform/ui/wnd.h"

#include <utility>

#include "platform/core/window.h"
#include "platform/ui/window_api.h"
#include "platform/ui/window_host.h"
#include "platform/ui/window_internal.h"

namespace lv {

CWnd::~CWnd() {
  if (WindowHostBase* host = Host()) {
    host->Detach();
    m_hWnd = 0;
    lv::DestroyWindow(host->Handle());
  }
}

CWnd* CWnd::FromHandle(HWND hwnd) {
  WindowHostBase* host = WindowHostBase::FromHandle(hwnd);
  return host ? host->Attached() : nullptr;
}

WindowHostBase* CWnd::Host() const { return m_hWnd ? WindowHostBase::FromHandle(GetSafeHwnd()) : nullptr; }

QWidget* CWnd::GetWidget() const {
  WindowHostBase* host = Host();
  return host ? host->Widget() : nullptr;
}

bool CWnd::CreateEx(DWORD exStyle, std::u16string_view className, std::u16string_view windowName, DWORD style,
                    const CRect& rect, CWnd* parent, UINT id) {
  if (GetSafeHwnd()) return false;
  const HWND parentHwnd = parent ? parent->GetSafeHwnd() : 0;
  if (parent && !parentHwnd) return false;
  return detail::CreateWindowFor(this, exStyle, className, windowName, style, rect.left, rect.top, rect.Width(),
                                 rect.Height(), parentHwnd, id) != 0;
}

bool CWnd::SubclassWindow(HWND hwnd) {
  WindowHostBase* host = WindowHostBase::FromHandle(hwnd);
  if (m_hWnd || !host || host->Attached()) return false;
  host->Attach(this);
  m_hWnd = hwnd;
  return true;
}

bool CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  return parent && SubclassWindow(lv::GetDlgItem(parent->GetSafeHwnd(), static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow() {
  WindowHostBase* host = Host();
  if (!host) return 0;
  host->Detach();
  return m_hWnd.exchange(0);
}

bool CWnd::DestroyWindow() { return m_hWnd && lv::DestroyWindow(GetSafeHwnd()); }

LRESULT CWnd::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  return lv::SendMessage(GetSafeHwnd(), msg, wParam, lParam);
}

bool CWnd::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) const {
  return lv::PostMessage(GetSafeHwnd(), msg, wParam, lParam);
}

bool CWnd::PreTranslateMessage(MSG*) { return false; }

void CWnd::MapMessage(UINT msg, MessageHandler handler) { m_messageMap[msg] = std::move(handler); }

LRESULT CWnd::DispatchToObject(CWnd* wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const Current saved = std::exchange(wnd->m_current, Current{msg, wParam, lParam});
  const LRESULT result = wnd->WindowProc(msg, wParam, lParam);
  wnd->m_current = saved;
  return result;
}

void CWnd::WindowGone(CWnd* wnd) {
  wnd->m_hWnd = 0;
  wnd->PostNcDestroy();
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (auto it = m_messageMap.find(msg); it != m_messageMap.end()) return it->second(wParam, lParam);
  const CPoint pen(lParam);
  const auto keyRepeat = static_cast<UINT>(LOWORD(static_cast<std::uintptr_t>(lParam)));
  const auto keyFlags = static_cast<UINT>(HIWORD(static_cast<std::uintptr_t>(lParam)));
  switch (msg) {
    case WM_COMMAND:
      return OnCommand(wParam, lParam) ? 0 : Default();
    case WM_TIMER: OnTimer(wParam); return 0;
    case WM_PAINT: OnPaint(); return 0;
    case WM_ERASEBKGND: return OnEraseBkgnd(reinterpret_cast<CDC*>(wParam)) ? 1 : 0;
    case WM_SETFOCUS: OnSetFocus(static_cast<HWND>(wParam)); return 0;
    case WM_KILLFOCUS: OnKillFocus(static_cast<HWND>(wParam)); return 0;
    case WM_LBUTTONDOWN: OnLButtonDown(static_cast<UINT>(wParam), pen); return 0;
    case WM_MOUSEMOVE: OnMouseMove(static_cast<UINT>(wParam), pen); return 0;
    case WM_LBUTTONUP: OnLButtonUp(static_cast<UINT>(wParam), pen); return 0;
    case WM_KEYDOWN: OnKeyDown(static_cast<UINT>(wParam), keyRepeat, keyFlags); return 0;
    case WM_CHAR: OnChar(static_cast<UINT>(wParam), keyRepeat, keyFlags); return 0;
    case WM_GETDLGCODE: return static_cast<LRESULT>(OnGetDlgCode());
    case WM_CLOSE: OnClose(); return 0;
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_SIZE: OnSize(static_cast<UINT>(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
    case WM_ENABLE: OnEnable(wParam != 0); return 0;
    default: return DefWindowProc(msg, wParam, lParam);
  }
}

LRESULT CWnd::Default() { return DefWindowProc(m_current.msg, m_current.wParam, m_current.lParam); }

LRESULT CWnd::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  WindowHostBase* host = WindowHostBase::FromHandle(GetSafeHwnd());
  return host ? host->CallClassProc(msg, wParam, lParam) : 0;
}

bool CWnd::OnCommand(WPARAM, LPARAM) { return false; }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnPaint() { Default(); }
bool CWnd::OnEraseBkgnd(CDC*) { return Default() != 0; }
void CWnd::OnSetFocus(HWND) { Default(); }
void CWnd::OnKillFocus(HWND) { Default(); }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
void CWnd::OnLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnChar(UINT, UINT, UINT) { Default(); }
UINT CWnd::OnGetDlgCode() { return static_cast<UINT>(Default()); }
void CWnd::OnClose() { Default(); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnSize(UINT, int, int) { Default(); }
void CWnd::OnEnable(bool) { Default(); }

bool CWnd::ShowWindow(int cmd) { return lv::ShowWindow(GetSafeHwnd(), cmd); }
bool CWnd::IsWindowVisible() const { return lv::IsWindowVisible(GetSafeHwnd()); }
bool CWnd::EnableWindow(bool enable) { return lv::EnableWindow(GetSafeHwnd(), enable); }
bool CWnd::IsWindowEnabled() const { return lv::IsWindowEnabled(GetSafeHwnd()); }
void CWnd::MoveWindow(int x, int y, int width, int height, bool repaint) {
  lv::MoveWindow(GetSafeHwnd(), x, y, width, height, repaint);
}
void CWnd::MoveWindow(const CRect& rc, bool repaint) { MoveWindow(rc.left, rc.top, rc.Width(), rc.Height(), repaint); }
bool CWnd::SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  return lv::SetWindowPos(GetSafeHwnd(), insertAfter, x, y, cx, cy, flags);
}
void CWnd::GetClientRect(CRect* rc) const { lv::GetClientRect(GetSafeHwnd(), rc); }
void CWnd::GetWindowRect(CRect* rc) const { lv::GetWindowRect(GetSafeHwnd(), rc); }
void CWnd::ClientToScreen(CPoint* pt) const { lv::ClientToScreen(GetSafeHwnd(), pt); }
void CWnd::ScreenToClient(CPoint* pt) const { lv::ScreenToClient(GetSafeHwnd(), pt); }
void CWnd::SetWindowText(std::u16string_view text) { lv::SetWindowText(GetSafeHwnd(), text); }
std::u16string CWnd::GetWindowText() const { return lv::GetWindowText(GetSafeHwnd()); }
void CWnd::Invalidate(bool erase) { lv::InvalidateRect(GetSafeHwnd(), nullptr, erase); }
void CWnd::InvalidateRect(const CRect* rc, bool erase) { lv::InvalidateRect(GetSafeHwnd(), rc, erase); }
void CWnd::UpdateWindow() { lv::UpdateWindow(GetSafeHwnd()); }
HWND CWnd::SetFocus() { return lv::SetFocus(GetSafeHwnd()); }
UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapseMs) { return lv::SetTimer(GetSafeHwnd(), id, elapseMs); }
bool CWnd::KillTimer(UINT_PTR id) { return lv::KillTimer(GetSafeHwnd(), id); }
CWnd* CWnd::GetParent() const { return FromHandle(lv::GetParent(GetSafeHwnd())); }
CWnd* CWnd::GetDlgItem(int id) const { return FromHandle(lv::GetDlgItem(GetSafeHwnd(), id)); }
int CWnd::GetDlgCtrlID() const { return lv::GetDlgCtrlID(GetSafeHwnd()); }
DWORD CWnd::GetStyle() const { return static_cast<DWORD>(lv::GetWindowLong(GetSafeHwnd(), GWL_STYLE)); }
DWORD CWnd::GetExStyle() const { return static_cast<DWORD>(lv::GetWindowLong(GetSafeHwnd(), GWL_EXSTYLE)); }
void CWnd::SetFont(const CFont& font, bool redraw) { lv::SetWindowFont(GetSafeHwnd(), font, redraw); }
CFont CWnd::GetFont() const { return lv::GetWindowFont(GetSafeHwnd()); }

}  // namespace lv
