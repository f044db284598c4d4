#include "controls/text_label.h"

#include "platform/ui/paint_dc.h"

namespace lv {

void CTextLabel::CreateLabelFont(int height, int secondSize, bool bold) {
  m_nFontHeight = height;
  m_nSecondSize = secondSize;
  m_bBold = bold ? 1 : 0;
  LOGFONT lf;
  lf.lfHeight = height;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfFaceName = u"Tahoma";
  auto font = std::make_unique<CFont>();
  if (font->CreateFontIndirect(lf)) m_hFont = std::move(font);
}

bool CTextLabel::OnEraseBkgnd(CDC*) {
  return true;  // the paint fills the background
}

void CTextLabel::OnPaint() {
  CPaintDC dc(this);
  m_strText = GetWindowText();
  if (m_hFont) dc.SelectObject(*m_hFont);
  CRect rc;
  GetClientRect(&rc);
  const CBrush oldBrush = dc.SelectObject(CBrush::Solid(m_crBack));
  const CPen oldPen = dc.SelectObject(CPen::Solid(1, m_crBack));
  dc.Rectangle(rc);
  dc.SelectObject(oldPen);
  dc.SelectObject(oldBrush);
  dc.SetBkColor(m_crBack);
  m_strText = GetWindowText();
  if (!m_strText.empty()) {
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(m_crText);
    dc.DrawText(m_strText, rc, m_nFormat);
  }
}

}  // namespace lv
