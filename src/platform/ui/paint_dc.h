#pragma once
// The drawing context of a window's paint: valid inside its WM_PAINT (and
// WM_ERASEBKGND); elsewhere it draws nothing.
#include "platform/ui/dc.h"
#include "platform/ui/window_host.h"
#include "platform/ui/wnd.h"

namespace lv {

class CPaintDC : public CDC {
 public:
  explicit CPaintDC(HWND hwnd) : CDC(PainterOf(hwnd)) {}
  explicit CPaintDC(const CWnd* wnd) : CPaintDC(wnd ? wnd->GetSafeHwnd() : 0) {}

 private:
  static QPainter* PainterOf(HWND hwnd) {
    WindowHostBase* host = WindowHostBase::FromHandle(hwnd);
    return host ? host->BeginPaint() : nullptr;
  }
};

}  // namespace lv
