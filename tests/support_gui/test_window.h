#pragma once
// Widget-test helpers: a top-level window that records what reaches it, and
// helpers for showing windows and reading their pixels.
#include <QColor>
#include <QImage>
#include <QWidget>
#include <functional>
#include <vector>

#include "platform/ui/wnd.h"

namespace lvtest {

struct Received {
  lv::UINT msg;
  lv::WPARAM wParam;
  lv::LPARAM lParam;
};

// An object that records every message its WindowProc receives and every
// message its PreTranslateMessage sees (attach it to a window).
class Recorder : public lv::CWnd {
 public:

  std::vector<Received> received;    // WindowProc, in order
  std::vector<lv::MSG> pretranslated;  // PreTranslateMessage, in order
  // Returns true to consume a pre-translated message.
  std::function<bool(const lv::MSG&)> preTranslate;
  // Called for each received message (after recording).
  std::function<void(lv::UINT, lv::WPARAM, lv::LPARAM)> onMessage;

  std::vector<Received> Of(lv::UINT msg) const;
  std::size_t Count(lv::UINT msg) const { return Of(msg).size(); }

  bool PreTranslateMessage(lv::MSG* msg) override;

 protected:
  lv::LRESULT WindowProc(lv::UINT msg, lv::WPARAM wParam, lv::LPARAM lParam) override;
};

// A Recorder on a plain top-level window (class "Window"), shown and active.
class TestWindow : public Recorder {
 public:
  explicit TestWindow(const lv::CRect& rect = {0, 0, 480, 320});
};

// A Recorder on a new plain child window of parent.
class ChildWindow : public Recorder {
 public:
  ChildWindow(lv::CWnd& parent, const lv::CRect& rect, lv::UINT id);
};

// Lets deleteLater() deletions happen (the tests' event pumping skips them).
void RunDeferredDeletes();

// Shows a top-level widget and waits until it is the active window.
bool ShowActive(QWidget* widget);
// The widget's pixels as 32-bit RGB.
QImage Grab(QWidget* widget);
QImage Grab(lv::HWND hwnd);
// Repaints the window now.
void RepaintNow(lv::HWND hwnd);
// Saves the widget's pixels as NAME.png in $LORVENTA_SHOT_DIR, if set (screenshots for review).
void SaveShot(QWidget* widget, const char* name);

}  // namespace lvtest
