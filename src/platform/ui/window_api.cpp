#include "platform/ui/window_api.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include "platform/ui/layout_scale.h"
#include "platform/ui/window_host.h"
#include "platform/ui/window_internal.h"

namespace lv {
namespace {

WindowHostBase* HostOf(HWND hwnd) { return WindowHostBase::FromHandle(hwnd); }
QWidget* WidgetOf(HWND hwnd) {
  WindowHostBase* host = HostOf(hwnd);
  return host ? host->Widget() : nullptr;
}

}  // namespace

QWidget* WidgetFromHandle(HWND hwnd) { return WidgetOf(hwnd); }

HWND HandleFromWidget(const QWidget* widget) {
  const WindowHostBase* host = widget ? WindowHostBase::FromWidget(widget) : nullptr;
  return host ? host->Handle() : 0;
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // Windows live on the application's thread; look-ups belong to it too.
  const QCoreApplication* app = QCoreApplication::instance();
  if (!app || app->thread() != QThread::currentThread()) return 0;
  WindowHostBase* host = HostOf(hwnd);
  if (!host) return 0;
  detail::DispatchScope scope(host->Widget());
  return host->Send(msg, wParam, lParam);
}

bool ShowWindow(HWND hwnd, int cmd) {
  QWidget* w = WidgetOf(hwnd);
  if (!w) return false;
  const bool wasVisible = !w->isHidden();
  if (cmd == SW_HIDE) {
    w->hide();
  } else {
    w->show();
    if (w->isWindow()) {
      w->raise();
      w->activateWindow();
    }
  }
  return wasVisible;
}

bool IsWindowVisible(HWND hwnd) {
  QWidget* w = WidgetOf(hwnd);
  return w && w->isVisible();
}

bool EnableWindow(HWND hwnd, bool enable) {
  WindowHostBase* host = HostOf(hwnd);
  if (!host) return false;
  QWidget* w = host->Widget();
  const bool wasDisabled = w->testAttribute(Qt::WA_ForceDisabled);
  if (wasDisabled != enable) return wasDisabled;
  w->setEnabled(enable);
  host->Send(WM_ENABLE, enable ? 1 : 0, 0);
  return wasDisabled;
}

bool IsWindowEnabled(HWND hwnd) {
  QWidget* w = WidgetOf(hwnd);
  return w && !w->testAttribute(Qt::WA_ForceDisabled);
}

bool MoveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint) {
  WindowHostBase* host = HostOf(hwnd);
  if (!host) return false;
  QWidget* w = host->Widget();
  if (w->isWindow()) {
    w->move(x, y);
    w->resize(width, height);
  }
  host->SetLayoutRect(CRect(x, y, x + width, y + height));
  if (repaint) InvalidateRect(hwnd, nullptr, true);
  return true;
}

bool SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  WindowHostBase* host = HostOf(hwnd);
  if (!host) return false;
  QWidget* w = host->Widget();
  CRect rc = host->LayoutRect();
  if (!(flags & SWP_NOMOVE)) rc = CRect(x, y, x + rc.Width(), y + rc.Height());
  if (!(flags & SWP_NOSIZE)) rc = CRect(rc.left, rc.top, rc.left + cx, rc.top + cy);
  if (w->isWindow()) {
    if (!(flags & SWP_NOMOVE)) w->move(x, y);
    if (!(flags & SWP_NOSIZE)) w->resize(cx, cy);
  }
  host->SetLayoutRect(rc);
  if (!(flags & SWP_NOZORDER) && (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST)) w->raise();
  if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, SW_SHOW);
  if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
  return true;
}

bool GetClientRect(HWND hwnd, CRect* rc) {
  WindowHostBase* host = HostOf(hwnd);
  if (!host || !rc) return false;
  *rc = CRect(0, 0, host->LayoutRect().Width(), host->LayoutRect().Height());
  return true;
}

bool GetWindowRect(HWND hwnd, CRect* rc) {
  WindowHostBase* host = HostOf(hwnd);
  if (!host || !rc) return false;
  if (host->Widget()->isWindow()) {
    const QRect r = host->Widget()->frameGeometry();
    *rc = CRect(r.left(), r.top(), r.left() + r.width(), r.top() + r.height());
    return true;
  }
  // A child's corners in the screen coordinates ScreenToClient takes back.
  CPoint topLeft(0, 0);
  CPoint bottomRight(host->LayoutRect().Width(), host->LayoutRect().Height());
  ClientToScreen(hwnd, &topLeft);
  ClientToScreen(hwnd, &bottomRight);
  *rc = CRect(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
  return true;
}

bool ClientToScreen(HWND hwnd, CPoint* pt) {
  WindowHostBase* host = HostOf(hwnd);
  if (!host || !pt) return false;
  const QPointF local = detail::LayoutTransform(*host).map(QPointF(pt->x, pt->y));
  const QPoint p = host->Widget()->mapToGlobal(local).toPoint();
  *pt = CPoint(p.x(), p.y());
  return true;
}

bool ScreenToClient(HWND hwnd, CPoint* pt) {
  WindowHostBase* host = HostOf(hwnd);
  if (!host || !pt) return false;
  *pt = detail::WidgetToLayout(*host, host->Widget()->mapFromGlobal(QPointF(pt->x, pt->y)));
  return true;
}

HWND GetParent(HWND hwnd) {
  QWidget* w = WidgetOf(hwnd);
  return w ? HandleFromWidget(w->parentWidget()) : 0;
}

HWND GetAncestor(HWND hwnd, UINT flags) {
  QWidget* w = WidgetOf(hwnd);
  if (!w) return 0;
  if (flags == GA_ROOT) return HandleFromWidget(w->window());
  return w->isWindow() ? 0 : HandleFromWidget(w->parentWidget());
}

HWND GetDlgItem(HWND parent, int id) {
  QWidget* w = WidgetOf(parent);
  if (!w) return 0;
  for (QObject* child : w->children()) {
    auto* cw = qobject_cast<QWidget*>(child);
    const WindowHostBase* host = cw ? WindowHostBase::FromWidget(cw) : nullptr;
    if (host && !cw->isWindow() && static_cast<int>(host->Id()) == id) return host->Handle();
  }
  return 0;
}

int GetDlgCtrlID(HWND hwnd) {
  WindowHostBase* host = HostOf(hwnd);
  return host ? static_cast<int>(host->Id()) : 0;
}

std::int32_t GetWindowLong(HWND hwnd, int index) {
  WindowHostBase* host = HostOf(hwnd);
  if (!host) return 0;
  switch (index) {
    case GWL_STYLE: {
      DWORD style = host->Style() & ~(WS_VISIBLE | WS_DISABLED);
      if (!host->Widget()->isHidden()) style |= WS_VISIBLE;
      if (host->Widget()->testAttribute(Qt::WA_ForceDisabled)) style |= WS_DISABLED;
      return static_cast<std::int32_t>(style);
    }
    case GWL_EXSTYLE: return static_cast<std::int32_t>(host->ExStyle());
    case GWL_ID: return static_cast<std::int32_t>(host->Id());
    default: return 0;
  }
}

bool SetWindowText(HWND hwnd, std::u16string_view text) {
  WindowHostBase* host = HostOf(hwnd);
  if (!host) return false;
  host->SetText(text);
  return true;
}

std::u16string GetWindowText(HWND hwnd) {
  WindowHostBase* host = HostOf(hwnd);
  return host ? host->Text() : std::u16string();
}

void SetWindowFont(HWND hwnd, const CFont& font, bool redraw) {
  if (WindowHostBase* host = HostOf(hwnd)) host->SetFont(font, redraw);
}

CFont GetWindowFont(HWND hwnd) {
  WindowHostBase* host = HostOf(hwnd);
  return host ? host->Font() : CFont();
}

HWND SetFocus(HWND hwnd) {
  const HWND previous = GetFocus();
  if (QWidget* w = WidgetOf(hwnd)) {
    w->setFocus(Qt::OtherFocusReason);
  } else if (hwnd == 0) {
    if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();
  }
  return previous;
}

HWND GetFocus() { return HandleFromWidget(QApplication::focusWidget()); }

HWND GetForegroundWindow() { return HandleFromWidget(QApplication::activeWindow()); }

HWND SetCapture(HWND hwnd) {
  const HWND previous = detail::CaptureWindow();
  if (HostOf(hwnd)) detail::CaptureWindow() = hwnd;
  return previous;
}

bool ReleaseCapture() {
  detail::CaptureWindow() = 0;
  return true;
}

HWND GetCapture() { return HostOf(detail::CaptureWindow()) ? detail::CaptureWindow() : 0; }

bool GetCursorPos(CPoint* pt) {
  if (!pt) return false;
  const QPoint p = QCursor::pos();
  *pt = CPoint(p.x(), p.y());
  return true;
}

std::int16_t GetKeyState(int vk) {
  const Qt::KeyboardModifiers mods = detail::DispatchModifiers().value_or(QGuiApplication::keyboardModifiers());
  bool down = false;
  switch (vk) {
    case VK_SHIFT: down = mods & Qt::ShiftModifier; break;
    case VK_CONTROL: down = mods & Qt::ControlModifier; break;
    case VK_MENU: down = mods & Qt::AltModifier; break;
    default: break;
  }
  return down ? static_cast<std::int16_t>(0x8000 | 1) : std::int16_t{0};
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs) {
  WindowHostBase* host = HostOf(hwnd);
  return host ? host->SetTimer(id, elapseMs) : 0;
}

bool KillTimer(HWND hwnd, UINT_PTR id) {
  WindowHostBase* host = HostOf(hwnd);
  return host && host->KillTimer(id);
}

bool InvalidateRect(HWND hwnd, const CRect* rc, bool erase) {
  WindowHostBase* host = HostOf(hwnd);
  if (!host) return false;
  host->Invalidate(rc, erase);
  return true;
}

bool UpdateWindow(HWND hwnd) {
  QWidget* w = WidgetOf(hwnd);
  if (!w) return false;
  if (w->isVisible()) w->repaint();
  return true;
}

int MessageBox(HWND owner, std::u16string_view text, std::u16string_view caption) {
  const auto toQt = [](std::u16string_view s) { return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size())); };
  QMessageBox box(QMessageBox::NoIcon, toQt(caption), toQt(text), QMessageBox::Ok, WidgetOf(owner));
  // Spoken as soon as the box shows, wherever the focus is.
  QTimer::singleShot(0, &box, [&box, text] { detail::AnnounceIn(&box, text); });
  box.exec();
  return IDOK;
}

}  // namespace lv
