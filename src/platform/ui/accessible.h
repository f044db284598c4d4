#pragma once
// Screen-reader support: every window is exposed to Qt's accessibility layer.
// Static texts read as their window text, dialogs and top-level windows as
// their caption, list boxes as lists whose items are their lines, "GrpBtn"
// bitmap buttons as buttons (with a press action). Windows that show only a
// picture get their spoken name from SetAccessibleName. Changes of a window's
// text are told (a name-changed event) without further calls; what must be
// spoken at once is announced with Announce.
#include <functional>
#include <string_view>

#include "platform/core/window.h"

class QAccessibleEvent;

namespace lv {

// The name a screen reader speaks for the window (buttons: "Add", "Channel 1";
// edit fields: their label). Does nothing for a handle that names no window.
void SetAccessibleName(HWND hwnd, std::u16string_view name);
// A longer explanation read after the name (e.g. why a field was refused);
// an empty text removes it.
void SetAccessibleDescription(HWND hwnd, std::u16string_view text);
// Announces that what the window shows has changed, so screen readers read it
// again. SetWindowText does this itself; call it after changes made another way.
void NotifyAccessibleChange(HWND hwnd);

// Announces text to screen readers as it happens (a status change, a
// message), whatever has the focus: an alert of the window's top-level
// window whose name is the text. Does nothing for a handle that names no window.
void Announce(HWND hwnd, std::u16string_view text);

// Every event this layer hands to Qt is also shown to the observer (an empty
// function removes it). Qt passes events on only while a screen reader
// listens; the observer sees them regardless (tests, diagnostics).
using AccessibleEventObserver = std::function<void(QAccessibleEvent* event)>;
AccessibleEventObserver SetAccessibleEventObserver(AccessibleEventObserver observer);

}  // namespace lv
