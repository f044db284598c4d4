#pragma once
// CHanListBox: the site list. An owner-drawn list box with white text in a
// 15-point bold font on black; the selected line is filled yellow-green, and
// every drawing of the selected line posts WM_SITE_LIST_SELECT (wParam the
// selection, lParam its item data) to the owner.
#include <cstdint>
#include <string_view>

#include "platform/ui/listbox.h"

namespace lv {

inline constexpr UINT WM_SITE_LIST_SELECT = 7024;

inline constexpr COLORREF kListBackColor = RGB(0, 0, 0);
inline constexpr COLORREF kListSelectColor = RGB(165, 202, 51);  // 0x0033CAA5
inline constexpr COLORREF kListTextColor = RGB(255, 255, 255);
inline constexpr int kListFontPoints = 15;
inline constexpr UINT kListMeasuredHeight = 16;

class CHanListBox : public CListBox {
 public:
  CHanListBox() = default;

  // Keeps owner as the receiver of the notifications, then creates the list.
  bool Create(DWORD style, const CRect& rect, CWnd* owner, UINT id) override;
  // Copies the owner's font description; the font is made at the first drawing.
  void SetLogFont(const LOGFONT& lf) { m_logFont = lf; }
  // Adds a line with its data; the index, negative (and no data kept) on failure.
  int AddItem(std::u16string_view text, std::uintptr_t data);

  const LOGFONT& GetLogFontCopy() const { return m_logFont; }
  bool IsFontSet() const { return m_bFontSet; }

 protected:
  void DrawItem(DRAWITEMSTRUCT* dis) override;
  void MeasureItem(MEASUREITEMSTRUCT* mis) override;
  bool OnEraseBkgnd(CDC* dc) override;

 private:
  void CreateListFont(const CDC& dc);

  CWnd* m_pNotifyWnd = nullptr;
  bool m_bFontSet = false;
  LOGFONT m_logFont;
  CFont m_font;
};

}  // namespace lv
