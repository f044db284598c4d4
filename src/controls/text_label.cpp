#include "controls/text_label.h"

#include <QFontMetrics>
#include <algorithm>

#include "platform/ui/paint_dc.h"

namespace lv {
namespace {
// Narrower than this is no longer easy to read; such a text is cut instead.
constexpr int kMinCondensedPercent = 60;
}  // namespace

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

std::u16string CTextLabel::FitWithSuffix(const std::u16string& text, const std::u16string& suffix) const {
  if (!m_hFont || !GetSafeHwnd()) return text + suffix;
  CRect rc;
  GetClientRect(&rc);
  // What fits at the narrowest letters the paint uses, less a margin for rounding.
  const QFontMetrics metrics(m_hFont->Font());
  const int room = rc.Width() * 100 / kMinCondensedPercent - 4;
  const QString whole = QString::fromStdU16String(text + suffix);
  if (metrics.horizontalAdvance(whole) <= room) return text + suffix;
  const int left = std::max(0, room - metrics.horizontalAdvance(QString::fromStdU16String(suffix)));
  const QString cut = metrics.elidedText(QString::fromStdU16String(text), Qt::ElideMiddle, left);
  return cut.toStdU16String() + suffix;
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
  // A text wider than the label is drawn with narrower letters rather than
  // cut (the system's fallback for Tahoma is wider than Tahoma).
  const int width = m_strText.empty() ? 0 : dc.GetTextExtent(m_strText).cx;
  if (width > rc.Width() && m_hFont)
    dc.SelectObject(m_hFont->Condensed(std::max(kMinCondensedPercent, rc.Width() * 100 / width)));
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
