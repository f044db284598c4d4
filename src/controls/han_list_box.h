#pragma once
// CHanListBox: the site list. An owner-drawn list box with white text in a
// 15-point bold font on black; the selected line is filled yellow-green, and
// every drawing of the selected line posts WM_SITE_LIST_SELECT (wParam the
// selection, lParam its item data) to the owner.
//
// On the desktop it also shows the focus mark around itself while it has the
// keyboard focus and a thin scroll bar along its right edge while there are
// more lines than fit; a double click on a line posts the owner
// WM_COMMAND(id, LBN_DBLCLK), as a list with LBS_NOTIFY would send it.
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
inline constexpr int kListScrollBarWidth = 6;
inline constexpr COLORREF kListScrollTrackColor = RGB(48, 48, 48);
inline constexpr COLORREF kListScrollThumbColor = RGB(170, 170, 170);

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
  // Where the scroll bar's thumb is drawn; empty while every line fits.
  CRect ScrollThumbRect() const;

 protected:
  void DrawItem(DRAWITEMSTRUCT* dis) override;
  void MeasureItem(MEASUREITEMSTRUCT* mis) override;
  bool OnEraseBkgnd(CDC* dc) override;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void OnPaint() override;
  void OnSetFocus(HWND oldWnd) override;
  void OnKillFocus(HWND newWnd) override;

 private:
  void CreateListFont(const CDC& dc);
  void DrawScrollBar(CDC& dc, const CRect& client) const;

  CWnd* m_pNotifyWnd = nullptr;
  bool m_bFontSet = false;
  LOGFONT m_logFont;
  CFont m_font;
};

}  // namespace lv
