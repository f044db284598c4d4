#pragma once
// "GrpBtn": the program's bitmap button window class. A button shows one of
// four bitmaps by state (normal, hover, pressed, disabled), follows the pen
// while it is held, and sends its parent WM_COMMAND twice: GBN_PRESSED when
// the pen goes down on it and 0 when the pen is lifted inside it, or
// GBN_RELEASED_OUTSIDE when it is lifted after sliding off (owners that act
// while the pen is held, like PTZ steering, must hear of every release). A button
// given the same bitmap for all four states is a passive picture that never
// notifies. No text. A button given the focus (a dialog's tab order) shows
// the focus mark, and Enter or Space presses it as a tap would, the
// notifications then posted rather than sent.
#include <QImage>
#include <array>
#include <cstdint>

#include "platform/ui/window_api.h"

namespace lv {

inline constexpr char16_t kGrpBtnClassName[] = u"GrpBtn";

// Messages: wParam = normal id | hover id << 16, lParam = pressed id | disabled id << 16.
inline constexpr UINT GBM_SETBITMAPS = WM_USER + 1;
inline constexpr UINT GBM_GETSTATE = WM_USER + 2;
inline constexpr UINT GBM_SETSTATE = WM_USER + 3;  // toggle buttons only
// wParam 1: a red dot in the top-right corner over the picture (something
// happens there, e.g. motion); 0 removes it. Repaints only when it changes.
inline constexpr UINT GBM_SETMARK = WM_USER + 4;

// Notification codes (high 16 bits of the command's wParam).
inline constexpr int GBN_PRESSED = 1;
inline constexpr int GBN_CLICKED = BN_CLICKED;
inline constexpr int GBN_RELEASED_OUTSIDE = 2;

enum : std::int32_t { GB_NORMAL = 0, GB_HOVER = 1, GB_PRESSED = 2, GB_DISABLED = 3 };

// Window style bit: a toggle button flips between normal and pressed.
inline constexpr DWORD GB_STYLE_TOGGLE = 0x0001;

// The hover check's timer: id 0, every 50 ms.
inline constexpr UINT_PTR kGrpBtnHoverTimer = 0;
inline constexpr UINT kGrpBtnHoverPeriodMs = 50;

// The per-window record.
struct GrpBtnData {
  std::array<QImage, 4> bitmaps;  // by state; null until GBM_SETBITMAPS
  std::int32_t state = GB_NORMAL;
  std::int32_t notify = 0;  // 1: notifies the parent; 0: a passive picture
  bool mark = false;        // GBM_SETMARK
};

// Registers the class (once; later calls return false). Runs at start-up
// through the object below in every program that uses the button.
bool RegisterGrpBtnClass();
namespace detail {
inline const bool g_grpBtnClassRegistered = RegisterGrpBtnClass() || FindClass(kGrpBtnClassName);
}

// Creates a visible child button of parent with command id and gives it its
// four bitmaps; 0 on failure.
HWND CreateGrpBtn(HWND parent, UINT id, const CRect& rect, int normal, int hover, int pressed, int disabled,
                  DWORD style = 0);

// Where the mark sits in a button of that size.
CRect GrpBtnMarkRect(int width, int height);

// The record of a button window, or nullptr (for tests and screenshots).
const GrpBtnData* GetGrpBtnData(HWND hwnd);

}  // namespace lv
