#pragma once
// The list box (class "LISTBOX"): one line per item, each a text and a data
// value, single selection by pen or keys (arrows, Home, End, Page Up and
// Down); the wheel scrolls it. Owner-drawn lists
// (LBS_OWNERDRAWFIXED / LBS_OWNERDRAWVARIABLE) have every line drawn by the
// object's DrawItem: in full when the list is painted, and with ODA_SELECT /
// ODA_FOCUS for the lines whose selection or focus changed.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ui/wnd.h"

namespace lv {

struct DRAWITEMSTRUCT {
  UINT CtlType = 0;
  UINT CtlID = 0;
  int itemID = -1;  // -1: an empty list showing only its focus
  UINT itemAction = 0;
  UINT itemState = 0;
  HWND hwndItem = 0;
  CDC* pDC = nullptr;
  CRect rcItem;
  std::uintptr_t itemData = 0;
};

struct MEASUREITEMSTRUCT {
  UINT CtlType = 0;
  UINT CtlID = 0;
  int itemID = -1;
  UINT itemWidth = 0;
  UINT itemHeight = 0;
  std::uintptr_t itemData = 0;
};

class CListBox : public CWnd {
 public:
  virtual bool Create(DWORD style, const CRect& rect, CWnd* parent, UINT id);

  // Adds at the end; the index, or a negative value on failure.
  int AddString(std::u16string_view text);
  int DeleteString(int index);
  void ResetContent();
  int GetCount() const;
  int GetCurSel() const;
  // Selects index (-1: none); LB_ERR for an index out of range.
  int SetCurSel(int index);
  // All bits set for an index out of range.
  std::uintptr_t GetItemData(int index) const;
  int SetItemData(int index, std::uintptr_t data);
  int GetText(int index, std::u16string* text) const;
  int SetItemHeight(int index, UINT height);
  int GetItemHeight(int index) const;
  int GetItemRect(int index, CRect* rc) const;
  int GetTopIndex() const;
  int SetTopIndex(int index);

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  virtual void DrawItem(DRAWITEMSTRUCT* dis);
  virtual void MeasureItem(MEASUREITEMSTRUCT* mis);
};

}  // namespace lv
