#include "controls/enter_edit.h"

#include "platform/ui/window_api.h"

namespace lv {

bool CEnterEdit::Create(DWORD style, const CRect& rect, CWnd* owner, UINT id) {
  m_pNotifyWnd = owner;
  return CEdit::Create(style, rect, owner, id);
}

void CEnterEdit::SetLogFont(const LOGFONT& lf) {
  m_logFont = lf;
  if (m_bFontSet) return;
  m_font.CreateFontIndirect(m_logFont);
  SetFont(m_font, true);
  m_bFontSet = true;
}

void CEnterEdit::OnSetFocus(HWND oldWnd) {
  CEdit::OnSetFocus(oldWnd);
  if (m_pNotifyWnd) m_pNotifyWnd->PostMessage(WM_EDIT_SET_FOCUS, 0, m_nIndex);
}

UINT CEnterEdit::OnGetDlgCode() { return DLGC_WANTALLKEYS; }

void CEnterEdit::LeaveToParent() { lv::SetFocus(lv::GetParent(GetSafeHwnd())); }

void CEnterEdit::OnChar(UINT ch, UINT repeat, UINT flags) {
  switch (ch) {
    case VK_TAB:
      // Committed as by Enter, then on along the dialog's tab order (a
      // parent without one takes the focus itself).
      m_strSaved = GetWindowText();
      if (m_pNotifyWnd) m_pNotifyWnd->PostMessage(WM_EDIT_ENTER_DETECT, 0, m_nIndex);
      lv::SendMessage(lv::GetParent(GetSafeHwnd()), WM_NEXTDLGCTL, GetKeyState(VK_SHIFT) < 0 ? 1 : 0, 0);
      if (lv::GetFocus() == GetSafeHwnd()) LeaveToParent();
      return;
    case VK_RETURN:
      m_strSaved = GetWindowText();
      LeaveToParent();
      if (m_pNotifyWnd) m_pNotifyWnd->PostMessage(WM_EDIT_ENTER_DETECT, 0, m_nIndex);
      return;
    case VK_ESCAPE:
      SetWindowText(m_strSaved);
      LeaveToParent();
      return;
    default:
      CEdit::OnChar(ch, repeat, flags);
  }
}

void CEnterEdit::OnKeyDown(UINT key, UINT repeat, UINT flags) {
  switch (static_cast<int>(key)) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
      if (GetKeyState(VK_CONTROL) < 0) {
        LeaveToParent();
        return;
      }
      break;
    default:
      break;
  }
  CEdit::OnKeyDown(key, repeat, flags);
}

}  // namespace lv
