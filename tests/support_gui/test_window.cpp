#include "support_gui/test_window.h"

#include <QCoreApplication>
#include <QTest>

#include "platform/ui/window_api.h"

namespace lvtest {

TestWindow::TestWindow(const lv::CRect& rect) {
  CreateEx(0, u"Window", u"test", lv::WS_POPUP | lv::WS_CAPTION, rect, nullptr, 0);
  ShowActive(GetWidget());
}

ChildWindow::ChildWindow(lv::CWnd& parent, const lv::CRect& rect, lv::UINT id) {
  CreateEx(0, u"Window", u"", lv::WS_CHILD | lv::WS_VISIBLE, rect, &parent, id);
}

void RunDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

std::vector<Received> Recorder::Of(lv::UINT msg) const {
  std::vector<Received> out;
  for (const Received& r : received)
    if (r.msg == msg) out.push_back(r);
  return out;
}

bool Recorder::PreTranslateMessage(lv::MSG* msg) {
  pretranslated.push_back(*msg);
  return preTranslate && preTranslate(*msg);
}

lv::LRESULT Recorder::WindowProc(lv::UINT msg, lv::WPARAM wParam, lv::LPARAM lParam) {
  received.push_back({msg, wParam, lParam});
  if (onMessage) onMessage(msg, wParam, lParam);
  return CWnd::WindowProc(msg, wParam, lParam);
}

bool ShowActive(QWidget* widget) {
  if (!widget) return false;
  widget->show();
  widget->activateWindow();
  return QTest::qWaitForWindowActive(widget);
}

QImage Grab(QWidget* widget) { return widget->grab().toImage().convertToFormat(QImage::Format_RGB32); }

QImage Grab(lv::HWND hwnd) { return Grab(lv::WidgetFromHandle(hwnd)); }

void RepaintNow(lv::HWND hwnd) {
  if (QWidget* w = lv::WidgetFromHandle(hwnd)) w->repaint();
}

void SaveShot(QWidget* widget, const char* name) {
  const QString dir = qEnvironmentVariable("LORVENTA_SHOT_DIR");
  if (!dir.isEmpty()) Grab(widget).save(dir + QStringLiteral("/%1.png").arg(QLatin1String(name)));
}

}  // namespace lvtest
