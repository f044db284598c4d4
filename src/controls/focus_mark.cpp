#include "controls/focus_mark.h"

namespace lv {

void DrawFocusMark(CDC& dc, const CRect& rc) {
  const CPen oldPen = dc.SelectObject(CPen::Solid(kFocusMarkWidth, kFocusMarkColor));
  const CBrush oldBrush = dc.SelectObject(CBrush{});
  dc.Rectangle(rc);
  dc.SelectObject(oldBrush);
  dc.SelectObject(oldPen);
}

}  // namespace lv
