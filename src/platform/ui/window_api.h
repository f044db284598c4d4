#pragma once
// Window operations by handle, for code that keeps handles (child windows
// made by class name) and for the window procedures of custom classes. All of
// them belong to the user-interface thread, except PostMessage and IsWindow
// (platform/core/window.h), which any thread may call. A handle that names no
// window makes each call do nothing and return a zero value.
#include <QWidget>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/window.h"
#include "platform/ui/font.h"
#include "platform/ui/win_messages.h"
#include "platform/ui/window_class.h"

namespace lv {

// Synchronous: the window has handled the message when this returns. Returns
// 0 without effect when called off the window's thread.
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
bool DestroyWindow(HWND hwnd);

bool ShowWindow(HWND hwnd, int cmd);  // true if it was visible before
bool IsWindowVisible(HWND hwnd);
bool EnableWindow(HWND hwnd, bool enable);  // true if it was disabled before; sends WM_ENABLE on change
bool IsWindowEnabled(HWND hwnd);
// Sizes of top-level windows are client sizes (window frames belong to the desktop).
bool MoveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint);
bool SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
bool GetClientRect(HWND hwnd, CRect* rc);
bool GetWindowRect(HWND hwnd, CRect* rc);  // screen coordinates
bool ClientToScreen(HWND hwnd, CPoint* pt);
bool ScreenToClient(HWND hwnd, CPoint* pt);

HWND GetParent(HWND hwnd);
HWND GetAncestor(HWND hwnd, UINT flags);  // GA_PARENT or GA_ROOT
HWND GetDlgItem(HWND parent, int id);
int GetDlgCtrlID(HWND hwnd);
std::int32_t GetWindowLong(HWND hwnd, int index);  // GWL_STYLE, GWL_EXSTYLE, GWL_ID

bool SetWindowText(HWND hwnd, std::u16string_view text);
std::u16string GetWindowText(HWND hwnd);
void SetWindowFont(HWND hwnd, const CFont& font, bool redraw);
CFont GetWindowFont(HWND hwnd);

HWND SetFocus(HWND hwnd);  // returns the window that had the focus
HWND GetFocus();
HWND GetForegroundWindow();  // the active top-level window

// Pen capture: all pen input goes to the capturing window until released.
HWND SetCapture(HWND hwnd);
bool ReleaseCapture();
HWND GetCapture();
bool GetCursorPos(CPoint* pt);
// Negative (high bit set) while the key is held; VK_SHIFT, VK_CONTROL, VK_MENU.
std::int16_t GetKeyState(int vk);

// Timers deliver WM_TIMER with wParam = id, through the pre-translation hooks.
// Setting an id again restarts it with the new period.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs);
bool KillTimer(HWND hwnd, UINT_PTR id);

bool InvalidateRect(HWND hwnd, const CRect* rc, bool erase);
bool UpdateWindow(HWND hwnd);  // paints now if anything is invalid and the window is visible

// A modal message box with an OK button over owner (0: none); returns IDOK.
int MessageBox(HWND owner, std::u16string_view text, std::u16string_view caption);

// The Qt widget of a window, for Qt-side code (tests, screenshots).
QWidget* WidgetFromHandle(HWND hwnd);
// The window whose Qt widget this is, or 0.
HWND HandleFromWidget(const QWidget* widget);

}  // namespace lv
