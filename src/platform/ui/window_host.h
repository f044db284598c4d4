#pragma once
// The Qt widget under every window. It owns the window's handle and class
// procedure, keeps its id, styles, text, font and timers, and turns Qt events
// into the window's messages: pen, wheel and key input and queued (posted, timer)
// messages pass the pre-translation hooks of the window and its parents
// first; paints become WM_ERASEBKGND and WM_PAINT.
#include <QEvent>
#include <QRegion>
#include <QWidget>
#include <map>
#include <memory>
#include <string>

#include "platform/ui/font.h"
#include "platform/ui/window_class.h"

class QMouseEvent;
class QKeyEvent;
class QWheelEvent;
class QPainter;

namespace lv {

class CWnd;

class WindowHostBase {
 public:
  struct Params {
    const WNDCLASS* wndClass = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    UINT id = 0;
    std::u16string text;
  };

  WindowHostBase(QWidget* self, const Params& params);
  virtual ~WindowHostBase();
  WindowHostBase(const WindowHostBase&) = delete;
  WindowHostBase& operator=(const WindowHostBase&) = delete;

  static WindowHostBase* FromHandle(HWND hwnd);
  static WindowHostBase* FromWidget(const QWidget* widget);

  HWND Handle() const { return m_hwnd; }
  QWidget* Widget() const { return m_widget; }
  bool IsDestroyed() const { return m_destroyed; }
  UINT Id() const { return m_id; }
  DWORD Style() const { return m_style; }
  DWORD ExStyle() const { return m_exStyle; }
  const WNDCLASS& Class() const { return *m_class; }
  WindowClassProc* ClassProc() const { return m_proc.get(); }

  // The object that handles this window's messages (subclassing), if any.
  CWnd* Attached() const { return m_attached; }
  void Attach(CWnd* wnd) { m_attached = wnd; }
  void Detach() { m_attached = nullptr; }

  // Delivers a message synchronously: to the attached object's WindowProc,
  // or straight to the class procedure.
  LRESULT Send(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT CallClassProc(UINT msg, WPARAM wParam, LPARAM lParam);
  // Dispatches a queued message: pre-translation first, then Send.
  void DispatchQueued(MSG msg);

  // Asks for the Qt widget's own processing of the input, focus or paint
  // event being dispatched (the default processing of native classes).
  void DefaultNativeEvent();
  // True while a Qt event of this window is being dispatched as messages.
  bool HasNativeEvent() const { return m_input != nullptr; }

  virtual void SetText(std::u16string_view text);
  virtual std::u16string Text() const { return m_text; }
  void SetFont(const CFont& font, bool redraw);
  CFont Font() const { return m_font; }

  // The window's rectangle in its parent's layout coordinates; a top-level
  // window's is its layout size at 0,0. The widget shows it scaled to the
  // top-level window's real size (layout_scale.h); messages see layout units.
  const CRect& LayoutRect() const { return m_layout; }
  void SetLayoutRect(const CRect& rc);

  UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs);
  bool KillTimer(UINT_PTR id);

  // Invalidation; the next paint erases the background unless every
  // invalidation since the last paint said not to.
  void Invalidate(const CRect* rc, bool erase);
  // The painter of the paint in progress (created on first use), or nullptr
  // outside WM_PAINT / WM_ERASEBKGND.
  QPainter* BeginPaint();
  // The region being painted, in layout coordinates (empty outside a paint).
  QRegion PaintRegion() const;

  // Runs the window's end: WM_DESTROY, its children's ends, WM_NCDESTROY,
  // handle released, object detached and told (PostNcDestroy). The widget
  // itself is deleted by the caller. Safe to call twice.
  void Destroy();

 protected:
  // Handles e; false to leave it to the Qt widget's own event().
  bool HandleEvent(QEvent* e);
  // The Qt widget's own event processing.
  virtual bool BaseEvent(QEvent* e) = 0;

 private:
  struct InputContext;
  struct PaintContext;

  bool HandleMouse(QMouseEvent* e);
  bool HandleKey(QKeyEvent* e);
  bool HandleWheel(QWheelEvent* e);
  bool HandleFocus(QEvent* e);
  bool HandlePaint(QEvent* e);
  bool HandleClose(QEvent* e);
  bool WalkPreTranslate(MSG* msg);
  void SendSizeIfChanged();
  bool IsNative() const { return m_class->kind != HostKind::Plain; }

  QWidget* m_widget;
  const WNDCLASS* m_class;
  std::unique_ptr<WindowClassProc> m_proc;
  HWND m_hwnd;
  UINT m_id;
  DWORD m_style;
  DWORD m_exStyle;
  std::u16string m_text;
  CFont m_font;
  CRect m_layout;
  CSize m_sizeSent{-1, -1};  // the size the last WM_SIZE carried
  CWnd* m_attached = nullptr;
  std::map<UINT_PTR, int> m_timers;  // window timer id -> Qt timer id
  bool m_skipErase = false;
  bool m_erasePending = false;
  bool m_destroying = false;
  bool m_destroyed = false;
  InputContext* m_input = nullptr;
  PaintContext* m_paint = nullptr;
};

// The host of the plain classes: a QWidget drawn entirely by messages.
class PlainHost final : public QWidget, public WindowHostBase {
 public:
  PlainHost(QWidget* parent, const Params& params);
  ~PlainHost() override;

 protected:
  bool event(QEvent* e) override { return HandleEvent(e) || QWidget::event(e); }
  bool BaseEvent(QEvent* e) override { return QWidget::event(e); }
};

}  // namespace lv
