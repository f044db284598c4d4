#include "controls/han_list_box.h"

#include <algorithm>
#include <cmath>

#include "controls/focus_mark.h"
#include "platform/core/debug_out.h"
#include "platform/ui/paint_dc.h"
#include "platform/ui/window_api.h"

namespace lv {

bool CHanListBox::Create(DWORD style, const CRect& rect, CWnd* owner, UINT id) {
  m_pNotifyWnd = owner;
  return CListBox::Create(style, rect, owner, id);
}

int CHanListBox::AddItem(std::u16string_view text, std::uintptr_t data) {
  const int index = AddString(text);
  if (index >= 0) SetItemData(index, data);
  return index;
}

void CHanListBox::MeasureItem(MEASUREITEMSTRUCT* mis) { mis->itemHeight = kListMeasuredHeight; }

bool CHanListBox::OnEraseBkgnd(CDC* dc) {
  CRect rc;
  GetClientRect(&rc);
  if (dc) dc->FillSolidRect(rc, kListBackColor);
  DebugOut(" CHanListBox::OnEraseBkgnd\r\n");
  return true;
}

void CHanListBox::CreateListFont(const CDC& dc) {
  // 15 points as a character height at the device's resolution.
  m_logFont.lfHeight = -static_cast<int>(std::lround(kListFontPoints * dc.GetDeviceCaps(LOGPIXELSY) / 72.0));
  m_logFont.lfWeight = FW_BOLD;
  m_font.CreateFontIndirect(m_logFont);
  SetFont(m_font, true);
  m_bFontSet = true;
}

void CHanListBox::DrawItem(DRAWITEMSTRUCT* dis) {
  CDC& dc = *dis->pDC;
  if (dis->itemID == -1) {  // an empty list with the focus
    dc.DrawFocusRect(dis->rcItem);
    return;
  }
  if (!m_bFontSet) CreateListFont(dc);
  const int oldMode = dc.SetBkMode(TRANSPARENT);
  dc.SetBkColor(kListBackColor);

  if (GetCurSel() < 0) {
    DebugOut(" CHanListBox::DrawItem \r\n");
    dc.FillSolidRect(dis->rcItem, kListBackColor);
  }
  if ((dis->itemState & ODS_SELECTED) && (dis->itemAction & (ODA_DRAWENTIRE | ODA_SELECT))) {
    const int sel = GetCurSel();
    DebugOut(" Selected [%d]\r\n", sel);
    dc.FillSolidRect(dis->rcItem, kListSelectColor);
    const std::uintptr_t data = GetItemData(sel);
    DebugOut("Pre Post Message [%d][%d]\r\n", sel, static_cast<int>(data));
    if (m_pNotifyWnd) m_pNotifyWnd->PostMessage(WM_SITE_LIST_SELECT, static_cast<WPARAM>(sel), static_cast<LPARAM>(data));
  }
  if (!(dis->itemState & ODS_SELECTED) && (dis->itemAction & ODA_SELECT)) {
    DebugOut(" De Selected [%d]\r\n", GetCurSel());
    dc.FillSolidRect(dis->rcItem, dc.GetBkColor());
  }
  if ((dis->itemAction & ODA_FOCUS) && !(dis->itemState & ODS_FOCUS)) {
    DebugOut(" Lost Focus [%d]\r\n", GetCurSel());
    dc.FillSolidRect(dis->rcItem, kListBackColor);
  }

  const COLORREF oldText = dc.SetTextColor(kListTextColor);
  std::u16string text;
  GetText(dis->itemID, &text);
  // This toolkit does not select the list's font into the item context.
  const CFont oldFont = dc.SelectObject(m_font);
  const UINT format = DT_SINGLELINE | DT_VCENTER | ((GetStyle() & LBS_USETABSTOPS) ? DT_EXPANDTABS : 0);
  dc.DrawText(text, dis->rcItem, format);
  dc.SelectObject(oldFont);
  dc.SetTextColor(oldText);
  dc.SetBkMode(oldMode);
}

CRect CHanListBox::ScrollThumbRect() const {
  CRect client, first, last;
  GetClientRect(&client);
  const int count = GetCount();
  if (count <= 0 || GetItemRect(0, &first) != 0 || GetItemRect(count - 1, &last) != 0) return {};
  const int total = last.bottom - first.top;
  const int shown = client.Height();
  if (total <= shown || shown <= 0) return {};
  // The track lies inside the focus mark; the thumb is to the track as the
  // lines in view are to all lines.
  const int track = shown - 2 * kFocusMarkWidth;
  const int height = std::max(kListScrollBarWidth * 3, track * shown / total);
  const int top = kFocusMarkWidth +
                  std::min(track - height, static_cast<int>(static_cast<long long>(-first.top) * track / total));
  const int right = client.right - kFocusMarkWidth;
  return {right - kListScrollBarWidth, top, right, top + height};
}

void CHanListBox::DrawScrollBar(CDC& dc, const CRect& client) const {
  const CRect thumb = ScrollThumbRect();
  if (thumb.IsRectEmpty()) return;
  dc.FillSolidRect({thumb.left, client.top + kFocusMarkWidth, thumb.right, client.bottom - kFocusMarkWidth},
                   kListScrollTrackColor);
  dc.FillSolidRect(thumb, kListScrollThumbColor);
}

void CHanListBox::OnPaint() {
  CListBox::OnPaint();  // the lines
  if (!GetSafeHwnd()) return;
  CPaintDC dc(this);
  CRect client;
  GetClientRect(&client);
  DrawScrollBar(dc, client);
  // An empty list shows its focus as the dotted rectangle DrawItem draws.
  if (GetCount() > 0 && lv::GetFocus() == GetSafeHwnd()) DrawFocusMark(dc, client);
}

void CHanListBox::OnSetFocus(HWND oldWnd) {
  CListBox::OnSetFocus(oldWnd);
  Invalidate(true);  // the mark goes round the whole list
}

void CHanListBox::OnKillFocus(HWND newWnd) {
  CListBox::OnKillFocus(newWnd);
  Invalidate(true);
}

LRESULT CHanListBox::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = CListBox::WindowProc(msg, wParam, lParam);
  if (msg == WM_LBUTTONDBLCLK && m_pNotifyWnd && !(GetStyle() & LBS_NOTIFY)) {
    // The pen down before it selected the line under the pen, if any.
    CRect line;
    const int sel = GetCurSel();
    if (sel >= 0 && GetItemRect(sel, &line) == 0 && line.PtInRect(CPoint(lParam)))
      m_pNotifyWnd->PostMessage(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(GetDlgCtrlID()), LBN_DBLCLK),
                                static_cast<LPARAM>(GetSafeHwnd()));
  }
  return result;
}

}  // namespace lv
