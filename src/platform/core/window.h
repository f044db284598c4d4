#pragma once
// Window handles and posted messages, usable from any thread.
//
// A window handle is an opaque number given out by the registry when a window
// (any Qt object that accepts posted messages) registers. Handles are never
// reused, so posting to a window that has since been destroyed finds nothing
// and returns false instead of touching freed memory.
#include <cstdint>

namespace lv {

using HWND = std::uintptr_t;  // 0 = no window
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

// Queues (msg, wParam, lParam) for the window's thread; never waits for it to
// be handled. False if the handle is 0 or its window no longer exists.
bool PostMessage(HWND hwnd, std::uint32_t msg, WPARAM wParam, LPARAM lParam);

// True while the handle names a live window.
bool IsWindow(HWND hwnd);

}  // namespace lv
