#pragma once
// The keyboard focus mark every control of the program draws around itself
// (or its focused part): a frame in one colour that reads on black and on the
// skin's bitmaps alike.
#include "platform/ui/dc.h"

namespace lv {

inline constexpr COLORREF kFocusMarkColor = RGB(255, 196, 0);
inline constexpr int kFocusMarkWidth = 3;

// Draws the mark just inside rc.
void DrawFocusMark(CDC& dc, const CRect& rc);

}  // namespace lv
