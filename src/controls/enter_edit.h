#pragma once
// CEnterEdit: the single-line field of the registration form. Enter and Tab
// commit the field (its text becomes the committed text, the owner gets
// WM_EDIT_ENTER_DETECT); Enter then gives the focus to the parent window, Tab
// (Shift+Tab) to the next (previous) control of the parent dialog's tab
// order; Escape puts the committed text back and leaves; Control with Page
// Up/Down or an arrow just leaves. Gaining the focus posts WM_EDIT_SET_FOCUS.
// Both notifications carry the field index in lParam.
#include <cstdint>
#include <string>

#include "platform/ui/edit.h"

namespace lv {

inline constexpr UINT WM_EDIT_SET_FOCUS = 7025;
inline constexpr UINT WM_EDIT_ENTER_DETECT = 7026;

class CEnterEdit : public CEdit {
 public:
  CEnterEdit() = default;

  // Keeps owner as the receiver of the notifications, then creates the field.
  bool Create(DWORD style, const CRect& rect, CWnd* owner, UINT id) override;
  // Copies the description; the first call also makes the field's font
  // from it. Later calls change the copy only.
  void SetLogFont(const LOGFONT& lf);

  std::u16string m_strSaved;  // the committed text
  std::int32_t m_nIndex = 0;  // the field index sent with the notifications

  bool IsFontSet() const { return m_bFontSet; }

 protected:
  void OnSetFocus(HWND oldWnd) override;
  UINT OnGetDlgCode() override;
  void OnChar(UINT ch, UINT repeat, UINT flags) override;
  void OnKeyDown(UINT key, UINT repeat, UINT flags) override;

 private:
  void LeaveToParent();

  CWnd* m_pNotifyWnd = nullptr;
  bool m_bFontSet = false;
  LOGFONT m_logFont;
  CFont m_font;
};

}  // namespace lv
