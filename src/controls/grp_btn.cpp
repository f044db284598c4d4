#include "controls/grp_btn.h"

#include <algorithm>

#include "controls/focus_mark.h"
#include "controls/skin.h"
#include "platform/core/debug_out.h"
#include "platform/ui/paint_dc.h"
#include "platform/ui/window_host.h"

namespace lv {
namespace {

// The state a toggle button had when the pen went down on it. One for all
// buttons: only one window holds the pen at a time.
std::int32_t g_toggleStartState = GB_NORMAL;

class GrpBtnProc final : public WindowClassProc {
 public:
  LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
  const GrpBtnData& Data() const { return m_data; }

 private:
  void SetState(HWND hwnd, std::int32_t state);
  static bool Toggle(HWND hwnd) { return GetWindowLong(hwnd, GWL_STYLE) & GB_STYLE_TOGGLE; }
  static bool HitTest(HWND hwnd, LPARAM lParam);
  void Notify(HWND hwnd, int code);
  void Paint(HWND hwnd);
  void SetBitmaps(HWND hwnd, WPARAM wParam, LPARAM lParam);
  void PenDown(HWND hwnd, LPARAM lParam);
  void PenMove(HWND hwnd, LPARAM lParam);
  void PenUp(HWND hwnd, LPARAM lParam);
  void HoverCheck(HWND hwnd);
  static bool IsPressKey(WPARAM key) { return key == VK_RETURN || key == VK_SPACE; }
  void KeyDown(HWND hwnd, WPARAM key, LPARAM flags);
  void KeyUp(HWND hwnd, WPARAM key);
  void FocusChanged(HWND hwnd, bool gained);
  void PostNotify(HWND hwnd, int code);

  GrpBtnData m_data;
  WPARAM m_keyHeld = 0;  // the press key held down on the focused button, or 0
};

void GrpBtnProc::SetState(HWND hwnd, std::int32_t state) {
  if (state == m_data.state) return;
  m_data.state = state;
  InvalidateRect(hwnd, nullptr, false);
}

bool GrpBtnProc::HitTest(HWND hwnd, LPARAM lParam) {
  CPoint pt(lParam);
  ClientToScreen(hwnd, &pt);
  CRect rc;
  GetWindowRect(hwnd, &rc);
  return rc.PtInRect(pt);
}

void GrpBtnProc::Notify(HWND hwnd, int code) {
  SendMessage(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(GetDlgCtrlID(hwnd)), static_cast<unsigned>(code)),
              static_cast<LPARAM>(hwnd));
}

void GrpBtnProc::Paint(HWND hwnd) {
  CPaintDC dc(hwnd);
  // No picture for the state: nothing is drawn and the old pixels stay.
  dc.CopyImage(0, 0, m_data.bitmaps[static_cast<std::size_t>(m_data.state)]);
  CRect rc;
  GetClientRect(hwnd, &rc);
  if (m_data.mark) {
    // Red on a white ring: seen on the light and the dark pictures alike.
    dc.SelectObject(CBrush::Solid(RGB(230, 30, 30)));
    dc.SelectObject(CPen::Solid(2, RGB(255, 255, 255)));
    dc.Ellipse(GrpBtnMarkRect(rc.Width(), rc.Height()));
  }
  if (GetFocus() == hwnd) DrawFocusMark(dc, rc);
}

void GrpBtnProc::PostNotify(HWND hwnd, int code) {
  PostMessage(GetParent(hwnd), WM_COMMAND,
              MAKEWPARAM(static_cast<unsigned>(GetDlgCtrlID(hwnd)), static_cast<unsigned>(code)),
              static_cast<LPARAM>(hwnd));
}

// A press key is a tap from the keyboard: down is the pen down, up the pen
// lifted inside. The notifications are posted, so a form the button opens
// runs after the key's own handling. The key's auto-repeat is no new press.
void GrpBtnProc::KeyDown(HWND hwnd, WPARAM key, LPARAM flags) {
  const bool repeat = (static_cast<std::uintptr_t>(flags) >> 30) & 1;
  if (repeat || m_keyHeld != 0 || m_data.state == GB_DISABLED) return;
  m_keyHeld = key;
  if (Toggle(hwnd)) {
    g_toggleStartState = m_data.state;
    SetState(hwnd, g_toggleStartState == GB_NORMAL ? GB_PRESSED : GB_NORMAL);
  } else {
    SetState(hwnd, GB_PRESSED);
  }
  if (m_data.notify == 1) PostNotify(hwnd, GBN_PRESSED);
}

void GrpBtnProc::KeyUp(HWND hwnd, WPARAM key) {
  if (key != m_keyHeld) return;
  m_keyHeld = 0;
  if (!Toggle(hwnd)) SetState(hwnd, GB_NORMAL);
  if (m_data.notify == 1) PostNotify(hwnd, GBN_CLICKED);
}

void GrpBtnProc::FocusChanged(HWND hwnd, bool gained) {
  InvalidateRect(hwnd, nullptr, false);
  if (gained || m_keyHeld == 0) return;
  // The focus left while the key was held: the press ends without a click.
  m_keyHeld = 0;
  if (Toggle(hwnd)) {
    SetState(hwnd, g_toggleStartState);
    return;
  }
  SetState(hwnd, GB_NORMAL);
  if (m_data.notify == 1) PostNotify(hwnd, GBN_RELEASED_OUTSIDE);
}

void GrpBtnProc::SetBitmaps(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  const std::array<int, 4> ids = {LOWORD(wParam), HIWORD(wParam), LOWORD(static_cast<std::uintptr_t>(lParam)),
                                  HIWORD(static_cast<std::uintptr_t>(lParam))};
  m_data.notify = (ids[0] == ids[1] && ids[1] == ids[2] && ids[2] == ids[3]) ? 0 : 1;
  for (std::size_t i = 0; i < ids.size(); ++i) m_data.bitmaps[i] = LoadSkinBitmap(ids[i]);
  InvalidateRect(hwnd, nullptr, false);
}

void GrpBtnProc::PenDown(HWND hwnd, LPARAM lParam) {
  if (m_data.state == GB_DISABLED) return;
  if (Toggle(hwnd)) {
    g_toggleStartState = m_data.state;
    SetState(hwnd, g_toggleStartState == GB_NORMAL ? GB_PRESSED : GB_NORMAL);
    SetCapture(hwnd);
    return;
  }
  SetState(hwnd, GB_PRESSED);
  if (HitTest(hwnd, lParam) && m_data.notify == 1) {
    // Sent, not posted: the parent has acted (it may even have ended its
    // dialog) before the button takes the pen.
    Notify(hwnd, GBN_PRESSED);
    DebugOut(" Send lbutton down\r\n");
  }
  if (IsWindow(hwnd)) SetCapture(hwnd);
}

void GrpBtnProc::PenMove(HWND hwnd, LPARAM lParam) {
  if (GetAncestor(hwnd, GA_ROOT) != GetForegroundWindow()) return;
  const bool toggle = Toggle(hwnd);
  if (GetCapture() == hwnd) {
    const bool inside = HitTest(hwnd, lParam);
    if (toggle) {
      const std::int32_t flipped = g_toggleStartState == GB_NORMAL ? GB_PRESSED : GB_NORMAL;
      SetState(hwnd, inside ? flipped : g_toggleStartState);
    } else {
      SetState(hwnd, inside ? GB_PRESSED : GB_NORMAL);
    }
    return;
  }
  if (toggle) return;
  SetTimer(hwnd, kGrpBtnHoverTimer, kGrpBtnHoverPeriodMs);
  SetState(hwnd, GB_HOVER);
}

void GrpBtnProc::PenUp(HWND hwnd, LPARAM lParam) {
  if (GetCapture() != hwnd) return;
  ReleaseCapture();
  if (!Toggle(hwnd)) SetState(hwnd, GB_NORMAL);
  if (m_data.notify != 1) return;
  if (HitTest(hwnd, lParam)) Notify(hwnd, GBN_CLICKED);
  else if (!Toggle(hwnd)) Notify(hwnd, GBN_RELEASED_OUTSIDE);  // its press was reported: so is its end
}

void GrpBtnProc::HoverCheck(HWND hwnd) {
  CPoint pt;
  GetCursorPos(&pt);
  CRect rc;
  GetWindowRect(hwnd, &rc);
  if (rc.PtInRect(pt)) return;
  KillTimer(hwnd, kGrpBtnHoverTimer);
  // The end of a hover shows the normal picture; a button disabled
  // meanwhile keeps its disabled picture.
  if (m_data.state != GB_DISABLED) SetState(hwnd, GB_NORMAL);
}

LRESULT GrpBtnProc::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      return 0;
    case WM_NCDESTROY:
      m_data.bitmaps = {};
      return 0;
    case WM_ENABLE:
      SetState(hwnd, wParam == 1 ? GB_NORMAL : GB_DISABLED);
      return 0;
    case WM_PAINT:
      Paint(hwnd);
      return 0;
    case GBM_SETMARK:
      if (m_data.mark != (wParam != 0)) {
        m_data.mark = wParam != 0;
        InvalidateRect(hwnd, nullptr, false);
      }
      return 0;
    case WM_ERASEBKGND:
      return 0;
    case WM_TIMER:
      HoverCheck(hwnd);
      return 0;
    case WM_MOUSEMOVE:
      PenMove(hwnd, lParam);
      return 0;
    case WM_LBUTTONDOWN:
      PenDown(hwnd, lParam);
      return 0;
    case WM_LBUTTONUP:
      PenUp(hwnd, lParam);
      return 0;
    case WM_GETDLGCODE:
      return IsPressKey(wParam) ? DLGC_WANTMESSAGE : 0;
    case WM_KEYDOWN:
      if (IsPressKey(wParam)) KeyDown(hwnd, wParam, lParam);
      return 0;
    case WM_KEYUP:
      KeyUp(hwnd, wParam);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      FocusChanged(hwnd, msg == WM_SETFOCUS);
      return 0;
    case GBM_SETBITMAPS:
      SetBitmaps(hwnd, wParam, lParam);
      return 0;
    case GBM_GETSTATE:
      return m_data.state;
    case GBM_SETSTATE:
      // Only the four states exist: any other value would pick no picture.
      if (Toggle(hwnd) && wParam <= static_cast<WPARAM>(GB_DISABLED)) SetState(hwnd, static_cast<std::int32_t>(wParam));
      return 0;
    default:
      return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

GrpBtnProc* ProcOf(HWND hwnd) {
  WindowHostBase* host = WindowHostBase::FromHandle(hwnd);
  return host ? dynamic_cast<GrpBtnProc*>(host->ClassProc()) : nullptr;
}

}  // namespace

CRect GrpBtnMarkRect(int width, int height) {
  const int d = std::clamp(std::min(width, height) / 4, 8, 18);
  const int inset = std::max(4, d / 3);
  return {width - inset - d, inset, width - inset, inset + d};
}

bool RegisterGrpBtnClass() {
  return RegisterClass({kGrpBtnClassName, HostKind::Plain, kButtonFaceColor, [] { return std::make_unique<GrpBtnProc>(); }});
}

HWND CreateGrpBtn(HWND parent, UINT id, const CRect& rect, int normal, int hover, int pressed, int disabled,
                  DWORD style) {
  const HWND hwnd = CreateWindowEx(0, kGrpBtnClassName, u"", WS_CHILD | WS_VISIBLE | style, rect.left, rect.top,
                                   rect.Width(), rect.Height(), parent, id);
  if (hwnd)
    SendMessage(hwnd, GBM_SETBITMAPS, MAKEWPARAM(static_cast<unsigned>(normal), static_cast<unsigned>(hover)),
                MAKELPARAM(static_cast<unsigned>(pressed), static_cast<unsigned>(disabled)));
  return hwnd;
}

const GrpBtnData* GetGrpBtnData(HWND hwnd) {
  const GrpBtnProc* proc = ProcOf(hwnd);
  return proc ? &proc->Data() : nullptr;
}

}  // namespace lv
