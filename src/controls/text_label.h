#pragma once
// CTextLabel: takes over a static control of a dialog and paints its text
// itself, in its own colours and a Tahoma font of a chosen height and weight,
// on a filled background.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/wnd.h"

namespace lv {

class CTextLabel : public CWnd {
 public:
  CTextLabel() = default;

  // Neither repaints; the next paint uses them.
  void SetBackColor(COLORREF color) { m_crBack = color; }
  void SetForeColor(COLORREF color) { m_crText = color; }
  // A "Tahoma" font whose cell is height pixels high, bold (700) or normal
  // (400). secondSize is kept only. A second call replaces (and releases) the
  // first font.
  void CreateLabelFont(int height, int secondSize, bool bold);

  // text + suffix as this label can show it whole: text shortened in its
  // middle with an ellipsis when even the narrowest letters would not fit,
  // the suffix always kept.
  std::u16string FitWithSuffix(const std::u16string& text, const std::u16string& suffix) const;

  COLORREF BackColor() const { return m_crBack; }
  COLORREF ForeColor() const { return m_crText; }
  UINT Format() const { return m_nFormat; }
  int FontHeight() const { return m_nFontHeight; }
  int SecondSize() const { return m_nSecondSize; }
  bool Bold() const { return m_bBold != 0; }

 protected:
  bool OnEraseBkgnd(CDC* dc) override;
  void OnPaint() override;

 private:
  std::unique_ptr<CFont> m_hFont;
  COLORREF m_crBack = RGB(255, 255, 255);
  COLORREF m_crText = 0;
  UINT m_nFormat = DT_CENTER | DT_VCENTER;  // 5: the platform centres vertically only single lines
  std::int32_t m_nFontHeight = 30;
  std::int32_t m_nSecondSize = 0;
  std::int32_t m_bBold = 0;
  std::u16string m_strText;
};

}  // namespace lv
