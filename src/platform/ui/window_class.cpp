#include "platform/ui/window_class.h"

#include <QCoreApplication>
#include <QPainter>
#include <unordered_map>
#include <vector>

#include "platform/ui/dc.h"
#include "platform/ui/window_api.h"
#include "platform/ui/window_host.h"
#include "platform/ui/window_internal.h"
#include "platform/ui/wnd.h"

namespace lv {
namespace {

// Text of a dialog template's static control.
class StaticProc final : public WindowClassProc {
 public:
  LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_PAINT) {
      WindowHostBase* host = WindowHostBase::FromHandle(hwnd);
      if (QPainter* painter = host ? host->BeginPaint() : nullptr) {
        CDC dc(painter);
        dc.SelectObject(host->Font());
        dc.SetBkMode(TRANSPARENT);
        CRect rc;
        GetClientRect(hwnd, &rc);
        dc.DrawText(host->Text(), rc, (host->Style() & SS_CENTER) ? DT_CENTER : DT_LEFT);
      }
      return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
  }
  void OnTextChanged(HWND hwnd) override { InvalidateRect(hwnd, nullptr, true); }
};

// The dialog manager's window procedure: closing asks the dialog to cancel.
class DialogProc final : public WindowClassProc {
 public:
  LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_CLOSE) {
      SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
  }
};

template <class Proc>
WNDCLASS Plain(std::u16string name, COLORREF background) {
  return {std::move(name), HostKind::Plain, background, [] { return std::make_unique<Proc>(); }};
}

class DefaultClassProc final : public WindowClassProc {
 public:
  LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
    return DefWindowProc(hwnd, msg, wParam, lParam);
  }
};

std::vector<std::unique_ptr<WNDCLASS>>& Classes() {
  static std::vector<std::unique_ptr<WNDCLASS>> classes = [] {
    std::vector<std::unique_ptr<WNDCLASS>> c;
    c.push_back(std::make_unique<WNDCLASS>(Plain<DefaultClassProc>(u"Window", kButtonFaceColor)));
    c.push_back(std::make_unique<WNDCLASS>(Plain<StaticProc>(u"STATIC", kButtonFaceColor)));
    c.push_back(std::make_unique<WNDCLASS>(Plain<DialogProc>(u"#32770", kButtonFaceColor)));
    c.push_back(std::make_unique<WNDCLASS>(detail::EditClass()));
    c.push_back(std::make_unique<WNDCLASS>(detail::ListBoxClass()));
    return c;
  }();
  return classes;
}

// Top-level windows without an owner belong to the window layer until they
// are destroyed; those left at the end go with the application object.
std::unordered_map<QWidget*, std::unique_ptr<QWidget>>& TopLevels() {
  static std::unordered_map<QWidget*, std::unique_ptr<QWidget>> windows;
  return windows;
}

void DestroyRemainingTopLevels() {
  std::vector<HWND> left;
  for (const auto& entry : TopLevels()) left.push_back(HandleFromWidget(entry.first));
  for (HWND h : left) DestroyWindow(h);
  TopLevels().clear();
}

void AdoptTopLevel(std::unique_ptr<QWidget> widget) {
  static const bool cleanupRegistered = [] {
    qAddPostRoutine(DestroyRemainingTopLevels);
    return true;
  }();
  (void)cleanupRegistered;
  QWidget* key = widget.get();
  TopLevels().emplace(key, std::move(widget));
}

std::unique_ptr<QWidget> ReleaseTopLevel(QWidget* widget) {
  auto it = TopLevels().find(widget);
  if (it == TopLevels().end()) return nullptr;
  std::unique_ptr<QWidget> owned = std::move(it->second);
  TopLevels().erase(it);
  return owned;
}

}  // namespace

bool RegisterClass(const WNDCLASS& wc) {
  if (wc.lpszClassName.empty() || FindClass(wc.lpszClassName)) return false;
  Classes().push_back(std::make_unique<WNDCLASS>(wc));
  return true;
}

const WNDCLASS* FindClass(std::u16string_view name) {
  for (const auto& c : Classes())
    if (c->lpszClassName == name) return c.get();
  return nullptr;
}

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_ERASEBKGND: {
      WindowHostBase* host = WindowHostBase::FromHandle(hwnd);
      auto* dc = reinterpret_cast<CDC*>(wParam);
      if (!host || !dc) return 0;
      CRect rc;
      GetClientRect(hwnd, &rc);
      dc->FillSolidRect(rc, host->Class().background);
      return 1;
    }
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    default:
      return 0;
  }
}

HWND CreateWindowEx(DWORD exStyle, std::u16string_view className, std::u16string_view windowName, DWORD style,
                    int x, int y, int width, int height, HWND parent, UINT id) {
  return detail::CreateWindowFor(nullptr, exStyle, className, windowName, style, x, y, width, height, parent, id);
}

HWND detail::CreateWindowFor(CWnd* wnd, DWORD exStyle, std::u16string_view className,
                             std::u16string_view windowName, DWORD style, int x, int y, int width, int height,
                             HWND parent, UINT id) {
  const WNDCLASS* wc = FindClass(className);
  if (!wc) return 0;
  QWidget* parentWidget = nullptr;
  if (parent != 0) {
    parentWidget = WidgetFromHandle(parent);
    if (!parentWidget) return 0;
  }
  const bool child = (style & WS_CHILD) && parentWidget;
  const WindowHostBase::Params params{wc, style, exStyle, id, std::u16string(windowName)};
  std::unique_ptr<QWidget> widget = wc->kind == HostKind::Edit
                                        ? CreateEditHost(parentWidget, params)
                                        : std::make_unique<PlainHost>(parentWidget, params);
  WindowHostBase* host = WindowHostBase::FromWidget(widget.get());
  const HWND hwnd = host->Handle();
  if (child) {
    host->SetLayoutRect(CRect(x, y, x + width, y + height));
  } else {
    // A top-level window; an owner, if given, keeps it as a Qt parent.
    Qt::WindowFlags flags = parentWidget ? Qt::Dialog : Qt::Window;
    if (!(style & WS_CAPTION)) flags |= Qt::FramelessWindowHint;
    widget->setWindowFlags(flags);
    widget->setWindowTitle(QString::fromUtf16(windowName.data(), static_cast<qsizetype>(windowName.size())));
    widget->move(x, y);
    widget->resize(width, height);
    host->SetLayoutRect(CRect(0, 0, width, height));
  }
  if (style & WS_DISABLED) widget->setEnabled(false);

  if (parentWidget) widget.release();  // the parent widget owns it now
  else AdoptTopLevel(std::move(widget));

  if (wnd) wnd->SubclassWindow(hwnd);
  if (host->Send(WM_CREATE, 0, 0) == -1) {
    DestroyWindow(hwnd);
    return 0;
  }
  if ((style & WS_VISIBLE) && WidgetFromHandle(hwnd)) ShowWindow(hwnd, SW_SHOW);
  return hwnd;
}

bool DestroyWindow(HWND hwnd) {
  WindowHostBase* host = WindowHostBase::FromHandle(hwnd);
  if (!host) return false;
  QWidget* widget = host->Widget();
  host->Destroy();
  std::unique_ptr<QWidget> owned = ReleaseTopLevel(widget);
  if (detail::IsDispatchingWithin(widget)) {
    // Its own code is still running further up the stack: delete it from
    // the event loop instead.
    widget->hide();
    (void)owned.release();
    widget->deleteLater();
  } else if (!owned) {
    delete widget;  // a child (or owned top-level) leaves its parent
  }
  return true;
}

}  // namespace lv
