#pragma once
// Shared state of the window layer (user-interface thread only).
#include <QWidget>
#include <Qt>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/window_host.h"

class QKeyEvent;

namespace lv {
class CWnd;
}

namespace lv::detail {

// The window holding the pen capture, or 0.
HWND& CaptureWindow();
// The window that last gained the keyboard focus, or 0.
HWND& LastFocusWindow();
// Modifiers of the key event being dispatched (for GetKeyState).
std::optional<Qt::KeyboardModifiers>& DispatchModifiers();

// Marks widget as handling an event for the scope's life.
class DispatchScope {
 public:
  explicit DispatchScope(QWidget* widget);
  ~DispatchScope();
  DispatchScope(const DispatchScope&) = delete;
  DispatchScope& operator=(const DispatchScope&) = delete;
};
// True while widget or one of its descendants is handling an event: deleting
// it then must wait for the event loop.
bool IsDispatchingWithin(const QWidget* widget);

// The message a posted-message event carries, or nothing for other events.
// The event was built on the posting thread and handed over inside Qt's
// event queue.
std::optional<MSG> TakePostedMessage(const QEvent* e, HWND hwnd);

// Key translation.
int VirtualKeyFromQt(const QKeyEvent* e);
// The character a key press types (0 if none): Enter 13, Tab 9, Escape 27,
// Backspace 8, otherwise the first character of its text.
char16_t CharFromKey(const QKeyEvent* e);

// The built-in classes with their own files.
WNDCLASS EditClass();
WNDCLASS ListBoxClass();
std::unique_ptr<QWidget> CreateEditHost(QWidget* parent, const WindowHostBase::Params& params);

// The lines of a list box window (for the accessibility layer): the count
// (-1 for a window that is no list box), a line's text and rectangle (false
// for an index out of range) and the selection (-1: none).
int ListBoxLineCount(HWND list);
bool ListBoxLine(HWND list, int index, std::u16string* text, CRect* rc);
int ListBoxSelection(HWND list);

// Accessibility hooks of the window layer: the interface factory (installed
// with the first window) and the events of list boxes.
void EnsureAccessibility();
void AccessibleListChanged(HWND list);
void AccessibleListSelection(HWND list, int index);
// Announces text as an alert of window (any top-level widget, e.g. a message box).
void AnnounceIn(QWidget* window, std::u16string_view text);

// Creates a window with wnd (may be nullptr) attached before WM_CREATE.
HWND CreateWindowFor(CWnd* wnd, DWORD exStyle, std::u16string_view className, std::u16string_view windowName,
                     DWORD style, int x, int y, int width, int height, HWND parent, UINT id);

}  // namespace lv::detail
