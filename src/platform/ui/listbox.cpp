#include "platform/ui/listbox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <map>
#include <vector>

#include "platform/ui/window_api.h"
#include "platform/ui/window_host.h"
#include "platform/ui/window_internal.h"

namespace lv {
namespace {

constexpr COLORREF kHighlight = RGB(0, 0, 128);

class ListBoxProc final : public WindowClassProc {
 public:
  LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

  int Add(HWND hwnd, std::u16string_view text);
  int Delete(HWND hwnd, int index);
  void Reset(HWND hwnd);
  int Count() const { return static_cast<int>(m_items.size()); }
  int CurSel() const { return m_sel; }
  int SetCurSel(HWND hwnd, int index);
  bool Valid(int index) const { return index >= 0 && index < Count(); }
  std::uintptr_t Data(int index) const { return Valid(index) ? m_items[index].data : ~std::uintptr_t{0}; }
  int SetData(int index, std::uintptr_t data);
  int Text(int index, std::u16string* text) const;
  int SetHeight(HWND hwnd, int index, UINT height);
  int Height(int index) const { return Valid(index) ? m_items[index].height : LB_ERR; }
  CRect ItemRect(HWND hwnd, int index) const;
  int Top() const { return m_top; }
  // Scrolls so that index is the first line, as far as the lines below fill
  // the list; LB_ERR for an index out of range.
  int SetTop(HWND hwnd, int index);

 private:
  struct Item {
    std::u16string text;
    std::uintptr_t data = 0;
    int height = 0;
  };

  static DWORD Style(HWND hwnd) { return static_cast<DWORD>(GetWindowLong(hwnd, GWL_STYLE)); }
  static bool OwnerDraw(HWND hwnd) { return Style(hwnd) & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE); }
  static bool HasFocus(HWND hwnd) { return GetFocus() == hwnd; }
  int DefaultHeight(HWND hwnd) const;
  int ItemFromY(HWND hwnd, int y) const;
  // The highest first line that still leaves the list full.
  int MaxTop(HWND hwnd) const;
  // How many lines show whole from the first line on (at least 1).
  int PageLines(HWND hwnd) const;
  void Wheel(HWND hwnd, int delta);
  void Select(HWND hwnd, int index, bool byUser);
  void EnsureVisible(HWND hwnd, int index);
  void Redraw(HWND hwnd, int index, UINT action);
  void Paint(HWND hwnd);
  void DrawPlain(CDC& dc, const DRAWITEMSTRUCT& dis) const;

  std::vector<Item> m_items;
  int m_sel = -1;
  int m_top = 0;
  bool m_tracking = false;
  int m_wheelRest = 0;  // a turn smaller than a line, kept for the next
  std::map<int, UINT> m_pending;  // item -> ODA_ actions waiting for the next paint
};

ListBoxProc* ProcOf(HWND hwnd) {
  WindowHostBase* host = WindowHostBase::FromHandle(hwnd);
  return host ? dynamic_cast<ListBoxProc*>(host->ClassProc()) : nullptr;
}

int ListBoxProc::DefaultHeight(HWND hwnd) const {
  return std::max(1, QFontMetrics(GetWindowFont(hwnd).Font()).height());
}

int ListBoxProc::Add(HWND hwnd, std::u16string_view text) {
  Item item{std::u16string(text), 0, DefaultHeight(hwnd)};
  const int index = Count();
  if (OwnerDraw(hwnd)) {
    MEASUREITEMSTRUCT mis{ODT_LISTBOX, static_cast<UINT>(GetDlgCtrlID(hwnd)), index, 0,
                          static_cast<UINT>(item.height), 0};
    // Fixed-height lists measure their first item only.
    if ((Style(hwnd) & LBS_OWNERDRAWVARIABLE) || m_items.empty()) {
      SendMessage(hwnd, OCM_MEASUREITEM, mis.CtlID, reinterpret_cast<LPARAM>(&mis));
      item.height = std::max(1, static_cast<int>(mis.itemHeight));
    } else {
      item.height = m_items.front().height;
    }
  }
  m_items.push_back(std::move(item));
  const CRect rc = ItemRect(hwnd, index);
  InvalidateRect(hwnd, &rc, true);
  detail::AccessibleListChanged(hwnd);
  return index;
}

int ListBoxProc::Delete(HWND hwnd, int index) {
  if (!Valid(index)) return LB_ERR;
  m_items.erase(m_items.begin() + index);
  if (m_sel == index) m_sel = -1;
  else if (m_sel > index) --m_sel;
  m_top = std::clamp(m_top, 0, std::max(0, Count() - 1));
  m_pending.clear();
  InvalidateRect(hwnd, nullptr, true);
  detail::AccessibleListChanged(hwnd);
  return Count();
}

void ListBoxProc::Reset(HWND hwnd) {
  m_items.clear();
  m_sel = -1;
  m_top = 0;
  m_pending.clear();
  InvalidateRect(hwnd, nullptr, true);
  detail::AccessibleListChanged(hwnd);
}

int ListBoxProc::SetCurSel(HWND hwnd, int index) {
  if (index != -1 && !Valid(index)) return LB_ERR;
  Select(hwnd, index, false);
  return index;
}

int ListBoxProc::SetData(int index, std::uintptr_t data) {
  if (!Valid(index)) return LB_ERR;
  m_items[index].data = data;
  return 0;
}

int ListBoxProc::Text(int index, std::u16string* text) const {
  if (!Valid(index)) return LB_ERR;
  if (text) *text = m_items[index].text;
  return static_cast<int>(m_items[index].text.size());
}

int ListBoxProc::SetHeight(HWND hwnd, int index, UINT height) {
  if (height == 0 || height > 255) return LB_ERR;
  if (Style(hwnd) & LBS_OWNERDRAWVARIABLE) {
    if (!Valid(index)) return LB_ERR;
    m_items[index].height = static_cast<int>(height);
  } else {
    for (Item& item : m_items) item.height = static_cast<int>(height);
  }
  InvalidateRect(hwnd, nullptr, true);
  return 0;
}

CRect ListBoxProc::ItemRect(HWND hwnd, int index) const {
  CRect client;
  GetClientRect(hwnd, &client);
  int y = 0;
  if (index >= m_top) {
    for (int i = m_top; i < index; ++i) y += m_items[i].height;
  } else {
    for (int i = index; i < m_top; ++i) y -= m_items[i].height;
  }
  const int h = Valid(index) ? m_items[index].height : DefaultHeight(hwnd);
  return {0, y, client.right, y + h};
}

int ListBoxProc::ItemFromY(HWND hwnd, int y) const {
  for (int i = m_top; i < Count(); ++i) {
    const CRect rc = ItemRect(hwnd, i);
    if (y >= rc.top && y < rc.bottom) return i;
  }
  return -1;
}

int ListBoxProc::MaxTop(HWND hwnd) const {
  CRect client;
  GetClientRect(hwnd, &client);
  int top = Count();
  for (int height = 0; top > 0 && height + m_items[top - 1].height <= client.Height();)
    height += m_items[--top].height;
  return std::min(top, std::max(0, Count() - 1));
}

int ListBoxProc::PageLines(HWND hwnd) const {
  CRect client;
  GetClientRect(hwnd, &client);
  int lines = 0;
  for (int i = m_top; i < Count() && ItemRect(hwnd, i).bottom <= client.bottom; ++i) ++lines;
  return std::max(1, lines);
}

int ListBoxProc::SetTop(HWND hwnd, int index) {
  if (!Valid(index)) return LB_ERR;
  const int top = std::clamp(index, 0, MaxTop(hwnd));
  if (top != m_top) {
    m_top = top;
    m_pending.clear();
    InvalidateRect(hwnd, nullptr, true);
  }
  return 0;
}

void ListBoxProc::Wheel(HWND hwnd, int delta) {
  // The desktop's lines per notch, kept within a page so no line is skipped unseen.
  m_wheelRest += delta;
  const int notches = m_wheelRest / WHEEL_DELTA;
  m_wheelRest -= notches * WHEEL_DELTA;
  const int perNotch = std::clamp(QApplication::wheelScrollLines(), 1, PageLines(hwnd));
  if (notches != 0 && Count() > 0) SetTop(hwnd, std::clamp(m_top - notches * perNotch, 0, Count() - 1));
}

void ListBoxProc::Redraw(HWND hwnd, int index, UINT action) {
  if (!Valid(index)) return;
  m_pending[index] |= action;
  const CRect rc = ItemRect(hwnd, index);
  InvalidateRect(hwnd, &rc, false);
}

void ListBoxProc::EnsureVisible(HWND hwnd, int index) {
  if (!Valid(index)) return;
  CRect client;
  GetClientRect(hwnd, &client);
  const int oldTop = m_top;
  if (index < m_top) m_top = index;
  while (m_top < index && ItemRect(hwnd, index).bottom > client.bottom) ++m_top;
  if (m_top != oldTop) {
    m_pending.clear();
    InvalidateRect(hwnd, nullptr, true);
  }
}

void ListBoxProc::Select(HWND hwnd, int index, bool byUser) {
  if (index == m_sel) return;
  const int old = m_sel;
  m_sel = index;
  const UINT focus = HasFocus(hwnd) ? ODA_FOCUS : 0;
  Redraw(hwnd, old, ODA_SELECT | focus);
  EnsureVisible(hwnd, index);
  Redraw(hwnd, index, ODA_SELECT | focus);
  detail::AccessibleListSelection(hwnd, index);
  if (byUser && (Style(hwnd) & LBS_NOTIFY))
    SendMessage(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), LBN_SELCHANGE), static_cast<LPARAM>(hwnd));
}

void ListBoxProc::DrawPlain(CDC& dc, const DRAWITEMSTRUCT& dis) const {
  const bool selected = dis.itemState & ODS_SELECTED;
  dc.FillSolidRect(dis.rcItem, selected ? kHighlight : RGB(255, 255, 255));
  dc.SetBkMode(TRANSPARENT);
  dc.SetTextColor(selected ? RGB(255, 255, 255) : 0);
  dc.DrawText(m_items[dis.itemID].text, dis.rcItem, DT_SINGLELINE | DT_VCENTER);
  if (dis.itemState & ODS_FOCUS) dc.DrawFocusRect(dis.rcItem);
}

void ListBoxProc::Paint(HWND hwnd) {
  WindowHostBase* host = WindowHostBase::FromHandle(hwnd);
  QPainter* painter = host ? host->BeginPaint() : nullptr;
  if (!painter) return;
  const QRegion region = host->PaintRegion();
  const std::map<int, UINT> pending = std::exchange(m_pending, {});
  // Lines whose selection or focus changed get just that action, unless the
  // paint covers more than them (an exposed or resized list is drawn anew).
  QRegion pendingArea;
  for (const auto& [index, action] : pending) {
    const CRect rc = ItemRect(hwnd, index);
    pendingArea += QRect(rc.left, rc.top, rc.Width(), rc.Height());
  }
  const bool partial = !pending.empty() && (region - pendingArea).isEmpty();

  CDC dc(painter);
  dc.SelectObject(GetWindowFont(hwnd));
  CRect client;
  GetClientRect(hwnd, &client);
  const bool focused = HasFocus(hwnd);
  DRAWITEMSTRUCT dis{ODT_LISTBOX, static_cast<UINT>(GetDlgCtrlID(hwnd)), -1, 0, 0, hwnd, &dc, {}, 0};
  if (m_items.empty()) {
    if (focused && OwnerDraw(hwnd)) {
      dis.itemAction = ODA_FOCUS;
      dis.itemState = ODS_FOCUS;
      dis.rcItem = {0, 0, client.right, DefaultHeight(hwnd)};
      SendMessage(hwnd, OCM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    }
    return;
  }
  for (int i = m_top; i < Count(); ++i) {
    const CRect rc = ItemRect(hwnd, i);
    if (rc.top >= client.bottom) break;
    if (!region.intersects(QRect(rc.left, rc.top, rc.Width(), rc.Height()))) continue;
    UINT action = ODA_DRAWENTIRE;
    if (partial) {
      auto it = pending.find(i);
      if (it == pending.end()) continue;
      action = it->second;
    }
    dis.itemID = i;
    dis.itemAction = action;
    dis.itemState = (i == m_sel ? ODS_SELECTED : 0) | (focused && i == m_sel ? ODS_FOCUS : 0);
    dis.rcItem = rc;
    dis.itemData = m_items[i].data;
    if (OwnerDraw(hwnd)) SendMessage(hwnd, OCM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    else DrawPlain(dc, dis);
    if (!IsWindow(hwnd)) return;
  }
}

LRESULT ListBoxProc::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT:
      Paint(hwnd);
      return 0;
    case WM_LBUTTONDOWN: {
      if (GetFocus() != hwnd) SetFocus(hwnd);
      const int index = ItemFromY(hwnd, GET_Y_LPARAM(lParam));
      if (index >= 0) Select(hwnd, index, true);
      SetCapture(hwnd);
      m_tracking = true;
      return 0;
    }
    case WM_MOUSEMOVE: {
      if (!m_tracking || GetCapture() != hwnd || Count() == 0) return 0;
      CRect client;
      GetClientRect(hwnd, &client);
      const int y = GET_Y_LPARAM(lParam);
      int index = ItemFromY(hwnd, y);
      if (y < 0) index = std::max(0, m_top - 1);  // dragging above scrolls up
      else if (index < 0 && y >= client.bottom) index = std::min(Count() - 1, ItemFromY(hwnd, client.bottom - 1) + 1);
      if (index >= 0) Select(hwnd, index, true);
      return 0;
    }
    case WM_LBUTTONDBLCLK:
      Proc(hwnd, WM_LBUTTONDOWN, wParam, lParam);  // the second press selects as the first did
      if ((Style(hwnd) & LBS_NOTIFY) && ItemFromY(hwnd, GET_Y_LPARAM(lParam)) >= 0)
        SendMessage(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), LBN_DBLCLK), static_cast<LPARAM>(hwnd));
      return 0;
    case WM_MOUSEWHEEL:
      Wheel(hwnd, static_cast<std::int16_t>(HIWORD(wParam)));
      return 0;
    case WM_LBUTTONUP:
      if (m_tracking) {
        m_tracking = false;
        if (GetCapture() == hwnd) ReleaseCapture();
      }
      return 0;
    case WM_KEYDOWN: {
      if (Count() == 0) return 0;
      int index = m_sel < 0 ? 0 : m_sel;
      switch (static_cast<int>(wParam)) {
        case VK_UP: index = std::max(0, index - 1); break;
        case VK_DOWN: index = std::min(Count() - 1, m_sel < 0 ? 0 : index + 1); break;
        case VK_HOME: index = 0; break;
        case VK_END: index = Count() - 1; break;
        // A page is the whole lines in view less one, so one line stays in sight.
        case VK_PRIOR: index = m_sel < 0 ? 0 : std::max(0, index - std::max(1, PageLines(hwnd) - 1)); break;
        case VK_NEXT: index = m_sel < 0 ? 0 : std::min(Count() - 1, index + std::max(1, PageLines(hwnd) - 1)); break;
        default: return 0;
      }
      Select(hwnd, index, true);
      return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      if (m_items.empty()) InvalidateRect(hwnd, nullptr, true);
      else Redraw(hwnd, m_sel, ODA_FOCUS);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    default:
      return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

}  // namespace

int detail::ListBoxLineCount(HWND list) {
  const ListBoxProc* p = ProcOf(list);
  return p ? p->Count() : -1;
}

bool detail::ListBoxLine(HWND list, int index, std::u16string* text, CRect* rc) {
  const ListBoxProc* p = ProcOf(list);
  if (!p || !p->Valid(index)) return false;
  if (text) p->Text(index, text);
  if (rc) *rc = p->ItemRect(list, index);
  return true;
}

int detail::ListBoxSelection(HWND list) {
  const ListBoxProc* p = ProcOf(list);
  return p ? p->CurSel() : -1;
}

WNDCLASS detail::ListBoxClass() {
  return {u"LISTBOX", HostKind::Plain, RGB(255, 255, 255), [] { return std::make_unique<ListBoxProc>(); }, CS_DBLCLKS};
}

bool CListBox::Create(DWORD style, const CRect& rect, CWnd* parent, UINT id) {
  return CreateEx(0, u"LISTBOX", u"", style, rect, parent, id);
}

int CListBox::AddString(std::u16string_view text) {
  ListBoxProc* p = ProcOf(GetSafeHwnd());
  return p ? p->Add(GetSafeHwnd(), text) : LB_ERR;
}

int CListBox::DeleteString(int index) {
  ListBoxProc* p = ProcOf(GetSafeHwnd());
  return p ? p->Delete(GetSafeHwnd(), index) : LB_ERR;
}

void CListBox::ResetContent() {
  if (ListBoxProc* p = ProcOf(GetSafeHwnd())) p->Reset(GetSafeHwnd());
}

int CListBox::GetCount() const {
  const ListBoxProc* p = ProcOf(GetSafeHwnd());
  return p ? p->Count() : LB_ERR;
}

int CListBox::GetCurSel() const {
  const ListBoxProc* p = ProcOf(GetSafeHwnd());
  return p ? p->CurSel() : LB_ERR;
}

int CListBox::SetCurSel(int index) {
  ListBoxProc* p = ProcOf(GetSafeHwnd());
  return p ? p->SetCurSel(GetSafeHwnd(), index) : LB_ERR;
}

std::uintptr_t CListBox::GetItemData(int index) const {
  const ListBoxProc* p = ProcOf(GetSafeHwnd());
  return p ? p->Data(index) : ~std::uintptr_t{0};
}

int CListBox::SetItemData(int index, std::uintptr_t data) {
  ListBoxProc* p = ProcOf(GetSafeHwnd());
  return p ? p->SetData(index, data) : LB_ERR;
}

int CListBox::GetText(int index, std::u16string* text) const {
  const ListBoxProc* p = ProcOf(GetSafeHwnd());
  return p ? p->Text(index, text) : LB_ERR;
}

int CListBox::SetItemHeight(int index, UINT height) {
  ListBoxProc* p = ProcOf(GetSafeHwnd());
  return p ? p->SetHeight(GetSafeHwnd(), index, height) : LB_ERR;
}

int CListBox::GetItemHeight(int index) const {
  const ListBoxProc* p = ProcOf(GetSafeHwnd());
  return p ? p->Height(index) : LB_ERR;
}

int CListBox::GetItemRect(int index, CRect* rc) const {
  const ListBoxProc* p = ProcOf(GetSafeHwnd());
  if (!p || !rc || !p->Valid(index)) return LB_ERR;
  *rc = p->ItemRect(GetSafeHwnd(), index);
  return 0;
}

int CListBox::GetTopIndex() const {
  const ListBoxProc* p = ProcOf(GetSafeHwnd());
  return p ? p->Top() : LB_ERR;
}

int CListBox::SetTopIndex(int index) {
  ListBoxProc* p = ProcOf(GetSafeHwnd());
  return p ? p->SetTop(GetSafeHwnd(), index) : LB_ERR;
}

LRESULT CListBox::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == OCM_DRAWITEM) {
    DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    return 1;
  }
  if (msg == OCM_MEASUREITEM) {
    MeasureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
    return 1;
  }
  return CWnd::WindowProc(msg, wParam, lParam);
}

void CListBox::DrawItem(DRAWITEMSTRUCT*) {}
void CListBox::MeasureItem(MEASUREITEMSTRUCT*) {}

}  // namespace lv
