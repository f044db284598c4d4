#pragma once
// Window classes: a class names the window procedure that gives every window
// of the class its default processing, the per-window data of that procedure,
// the background colour and the kind of Qt widget underneath.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ui/win_messages.h"

namespace lv {

class WindowHostBase;

// The class's window procedure, one object per window (it may hold the
// window's own data). Called for every message the window's object, if any,
// leaves to the default processing.
class WindowClassProc {
 public:
  virtual ~WindowClassProc() = default;
  virtual LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
  // Called after the window text changed.
  virtual void OnTextChanged(HWND) {}
};

enum class HostKind {
  Plain,  // a plain widget: everything is drawn and handled by messages
  Edit,   // a Qt line edit underneath: its own processing is the default
};

struct WNDCLASS {
  std::u16string lpszClassName;
  HostKind kind = HostKind::Plain;
  COLORREF background = 0;
  std::function<std::unique_ptr<WindowClassProc>()> procFactory;
  UINT style = 0;  // CS_ bits
};

// The colour of dialog and button faces.
inline constexpr COLORREF kButtonFaceColor = RGB(212, 208, 200);

// Registers a class; false if a class of that name exists. The built-in
// classes "Window", "STATIC", "EDIT", "LISTBOX" and "#32770" (dialog) are
// always registered. Must not touch Qt: it may run before the application
// object exists.
bool RegisterClass(const WNDCLASS& wc);
const WNDCLASS* FindClass(std::u16string_view name);

// The generic default processing: erase with the class background, close by
// destroying the window, nothing else.
LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Creates a window of a registered class. Children belong to their parent
// window; a window without a parent is top-level and lives until
// DestroyWindow or the end of the application. Returns 0 if the class is
// unknown, the parent is not a window or WM_CREATE answers -1.
HWND CreateWindowEx(DWORD exStyle, std::u16string_view className, std::u16string_view windowName, DWORD style,
                    int x, int y, int width, int height, HWND parent, UINT id);

}  // namespace lv
