#include "platform/ui/window_host.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QTimerEvent>
#include <QWheelEvent>
#include <algorithm>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/core/message_target.h"
#include "platform/ui/accessible.h"
#include "platform/ui/dc.h"
#include "platform/ui/layout_scale.h"
#include "platform/ui/window_internal.h"
#include "platform/ui/wnd.h"

namespace lv {
namespace detail {

HWND& CaptureWindow() {
  static HWND capture = 0;
  return capture;
}

HWND& LastFocusWindow() {
  static HWND focus = 0;
  return focus;
}

std::optional<Qt::KeyboardModifiers>& DispatchModifiers() {
  static std::optional<Qt::KeyboardModifiers> modifiers;
  return modifiers;
}

namespace {
std::vector<QWidget*>& Dispatching() {
  static std::vector<QWidget*> stack;
  return stack;
}
}  // namespace

DispatchScope::DispatchScope(QWidget* widget) { Dispatching().push_back(widget); }
DispatchScope::~DispatchScope() { Dispatching().pop_back(); }

std::optional<MSG> TakePostedMessage(const QEvent* e, HWND hwnd) {
  AcquirePostedEvent(const_cast<QEvent*>(e));
  if (e->type() != PostedMessageEvent::EventType()) return std::nullopt;
  const auto* m = static_cast<const PostedMessageEvent*>(e);
  return MSG{hwnd, m->message, m->wParam, m->lParam};
}

bool IsDispatchingWithin(const QWidget* widget) {
  return std::any_of(Dispatching().begin(), Dispatching().end(),
                     [widget](const QWidget* w) { return w == widget || widget->isAncestorOf(w); });
}

}  // namespace detail

namespace {

std::unordered_map<HWND, WindowHostBase*>& Hosts() {
  static std::unordered_map<HWND, WindowHostBase*> hosts;
  return hosts;
}

class DefaultProc final : public WindowClassProc {
 public:
  LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
    return DefWindowProc(hwnd, msg, wParam, lParam);
  }
};

}  // namespace

struct WindowHostBase::InputContext {
  bool defaulted = false;
};

struct WindowHostBase::PaintContext {
  WindowHostBase* host;
  QRegion region;
  std::optional<QPainter> painter;
  // The painter draws in layout coordinates. A scaled top-level window
  // first fills what its content leaves free around it.
  QPainter* Get() {
    if (painter) return &*painter;
    painter.emplace(host->m_widget);
    const QTransform t = detail::LayoutTransform(*host);
    if (t.isIdentity()) return &*painter;
    if (host->m_widget->isWindow()) {
      for (const QRect& r : region - detail::ContentRect(*host)) painter->fillRect(r, Qt::black);
      painter->setClipRect(detail::ContentRect(*host));
    }
    painter->setTransform(t);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    return &*painter;
  }
};

WindowHostBase::WindowHostBase(QWidget* self, const Params& params)
    : m_widget(self),
      m_class(params.wndClass),
      m_proc(params.wndClass->procFactory ? params.wndClass->procFactory() : std::make_unique<DefaultProc>()),
      m_hwnd(RegisterWindow(self)),
      m_id(params.id),
      m_style(params.style),
      m_exStyle(params.exStyle),
      m_text(params.text) {
  Hosts()[m_hwnd] = this;
  detail::EnsureAccessibility();
  self->setMouseTracking(true);
  if (!IsNative()) {
    // Everything is drawn in WM_ERASEBKGND and WM_PAINT; pixels a window
    // leaves alone keep what was there.
    self->setAttribute(Qt::WA_OpaquePaintEvent);
    self->setAttribute(Qt::WA_NoSystemBackground);
  }
}

WindowHostBase::~WindowHostBase() {
  // The concrete host ran Destroy() while its widget was whole; this only
  // covers a host whose construction failed half-way.
  if (!m_destroyed) {
    UnregisterWindow(m_hwnd);
    Hosts().erase(m_hwnd);
  }
}

PlainHost::PlainHost(QWidget* parent, const Params& params) : QWidget(parent), WindowHostBase(this, params) {}
PlainHost::~PlainHost() { Destroy(); }

WindowHostBase* WindowHostBase::FromHandle(HWND hwnd) {
  auto it = Hosts().find(hwnd);
  return it == Hosts().end() || it->second->m_destroyed ? nullptr : it->second;
}

WindowHostBase* WindowHostBase::FromWidget(const QWidget* widget) {
  auto* host = dynamic_cast<WindowHostBase*>(const_cast<QWidget*>(widget));
  return host && !host->m_destroyed ? host : nullptr;
}

LRESULT WindowHostBase::Send(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (m_destroyed) return 0;
  if (m_attached) return CWnd::DispatchToObject(m_attached, msg, wParam, lParam);
  return CallClassProc(msg, wParam, lParam);
}

LRESULT WindowHostBase::CallClassProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  return m_proc->Proc(m_hwnd, msg, wParam, lParam);
}

void WindowHostBase::DispatchQueued(MSG msg) {
  detail::DispatchScope scope(m_widget);
  if (!WalkPreTranslate(&msg)) Send(msg.message, msg.wParam, msg.lParam);
}

void WindowHostBase::DefaultNativeEvent() {
  if (m_input) m_input->defaulted = true;
}

bool WindowHostBase::WalkPreTranslate(MSG* msg) {
  // From the addressed window up to its top-level window (not its owner).
  for (QWidget* w = m_widget; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
    WindowHostBase* host = FromWidget(w);
    if (host && host->m_attached && host->m_attached->PreTranslateMessage(msg)) return true;
  }
  return false;
}

void WindowHostBase::SetText(std::u16string_view text) {
  const bool changed = m_text != text;
  m_text.assign(text);
  if (m_widget->isWindow()) m_widget->setWindowTitle(QString::fromStdU16String(m_text));  // announced by Qt
  else if (changed) NotifyAccessibleChange(m_hwnd);  // e.g. a status line: screen readers read it again
  m_proc->OnTextChanged(m_hwnd);
}

void WindowHostBase::SetLayoutRect(const CRect& rc) {
  m_layout = m_widget->isWindow() ? CRect(0, 0, rc.Width(), rc.Height()) : rc;
  detail::PlaceWindow(*this);
  // A hidden widget hears of its new size when it is shown.
  if (m_widget->isVisible()) SendSizeIfChanged();
}

void WindowHostBase::SendSizeIfChanged() {
  const CSize size{m_layout.Width(), m_layout.Height()};
  if (m_sizeSent == size) return;
  m_sizeSent = size;
  Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(static_cast<unsigned>(size.cx), static_cast<unsigned>(size.cy)));
}

void WindowHostBase::SetFont(const CFont& font, bool redraw) {
  m_font = font;
  m_widget->setFont(IsNative() ? detail::ScaledFont(*this, font.Font()) : font.Font());
  if (redraw) m_widget->update();
}

UINT_PTR WindowHostBase::SetTimer(UINT_PTR id, UINT elapseMs) {
  KillTimer(id);
  const int qtId = m_widget->startTimer(std::max(1, static_cast<int>(elapseMs)), Qt::PreciseTimer);
  if (qtId == 0) return 0;
  m_timers[id] = qtId;
  return id == 0 ? 1 : id;
}

bool WindowHostBase::KillTimer(UINT_PTR id) {
  auto it = m_timers.find(id);
  if (it == m_timers.end()) return false;
  m_widget->killTimer(it->second);
  m_timers.erase(it);
  return true;
}

void WindowHostBase::Invalidate(const CRect* rc, bool erase) {
  if (erase) {
    m_erasePending = true;
    m_skipErase = false;
  } else if (!m_erasePending) {
    m_skipErase = true;
  }
  if (rc) m_widget->update(detail::LayoutToWidget(*this, *rc));
  else m_widget->update();
}

QPainter* WindowHostBase::BeginPaint() { return m_paint ? m_paint->Get() : nullptr; }

QRegion WindowHostBase::PaintRegion() const {
  return m_paint ? detail::WidgetToLayout(*this, m_paint->region) : QRegion();
}

bool WindowHostBase::HandleEvent(QEvent* e) {
  if (m_destroyed) {
    // A destroyed window waiting for deletion takes no input.
    switch (e->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::Paint:
        return true;
      default:
        return false;
    }
  }
  if (const std::optional<MSG> posted = detail::TakePostedMessage(e, m_hwnd)) {
    DispatchQueued(*posted);
    return true;
  }
  switch (e->type()) {
    case QEvent::Timer: {
      const int qtId = static_cast<QTimerEvent*>(e)->timerId();
      for (const auto& [id, timer] : m_timers) {
        if (timer == qtId) {
          DispatchQueued({m_hwnd, WM_TIMER, id, 0});
          return true;
        }
      }
      return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
      return HandleMouse(static_cast<QMouseEvent*>(e));
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      return HandleKey(static_cast<QKeyEvent*>(e));
    case QEvent::Wheel:
      return HandleWheel(static_cast<QWheelEvent*>(e));
    case QEvent::FocusIn:
    case QEvent::FocusOut:
      return HandleFocus(e);
    case QEvent::Paint:
      return HandlePaint(e);
    case QEvent::Close:
      return HandleClose(e);
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
      if (m_widget->isWindow()) Send(WM_ACTIVATE, e->type() == QEvent::WindowActivate ? WA_ACTIVE : WA_INACTIVE, 0);
      return false;
    case QEvent::Resize:
      // A top-level window resized by the user keeps its layout: its
      // content is placed anew at the new scale.
      if (m_widget->isWindow()) {
        detail::PlaceChildren(*this);
        m_widget->update();
      }
      SendSizeIfChanged();
      return false;
    default:
      return false;
  }
}

bool WindowHostBase::HandleMouse(QMouseEvent* e) {
  // A disabled window takes no pen input; Qt hands it to the parent.
  if (!m_widget->isEnabled()) return false;
  // Qt follows the second press of a double tap with a double-click event;
  // the press was the pen down, and only classes that ask hear of the double.
  const bool dbl = e->type() == QEvent::MouseButtonDblClick;
  if (dbl && !(m_class->style & CS_DBLCLKS)) return !IsNative();
  const bool move = e->type() == QEvent::MouseMove;
  if (!move && e->button() != Qt::LeftButton) {
    if (!IsNative()) e->accept();
    return !IsNative();
  }
  const UINT msg = move ? WM_MOUSEMOVE
                   : dbl ? WM_LBUTTONDBLCLK
                   : e->type() == QEvent::MouseButtonRelease ? WM_LBUTTONUP
                                                             : WM_LBUTTONDOWN;
  CPoint pos = detail::WidgetToLayout(*this, e->position());
  WindowHostBase* target = this;
  // The pen capture sends all pen input to its window, in its coordinates.
  if (WindowHostBase* capture = FromHandle(detail::CaptureWindow()); capture && capture != this) {
    pos = detail::WidgetToLayout(*capture, capture->m_widget->mapFromGlobal(m_widget->mapToGlobal(e->position())));
    target = capture;
  }
  const WPARAM keys = (e->buttons() & Qt::LeftButton) ? MK_LBUTTON : 0;
  MSG m{target->m_hwnd, msg, keys, MAKELPARAM(static_cast<unsigned>(pos.x), static_cast<unsigned>(pos.y))};

  InputContext ctx;
  InputContext* saved = std::exchange(target->m_input, &ctx);
  {
    detail::DispatchScope scope(target->m_widget);
    if (!target->WalkPreTranslate(&m)) target->Send(m.message, m.wParam, m.lParam);
  }
  target->m_input = saved;
  if (ctx.defaulted && target == this && IsNative() && !m_destroyed) BaseEvent(e);
  e->accept();
  return true;
}

bool WindowHostBase::HandleWheel(QWheelEvent* e) {
  // Native classes scroll themselves; a plain window hears of the turn.
  if (IsNative() || !m_widget->isEnabled()) return false;
  const QPoint global = e->globalPosition().toPoint();
  const auto delta = static_cast<std::int16_t>(std::clamp(e->angleDelta().y(), -32768, 32767));
  const WPARAM keys = (e->buttons() & Qt::LeftButton) ? MK_LBUTTON : 0;
  detail::DispatchScope scope(m_widget);
  Send(WM_MOUSEWHEEL, MAKEWPARAM(static_cast<unsigned>(keys), static_cast<std::uint16_t>(delta)),
       MAKELPARAM(static_cast<unsigned>(global.x()), static_cast<unsigned>(global.y())));
  e->accept();
  return true;
}

bool WindowHostBase::HandleKey(QKeyEvent* e) {
  const bool press = e->type() == QEvent::KeyPress;
  // A held key is one long press: its repeats come as key downs with the
  // repeat bit, never as releases (the display server's synthetic releases
  // between repeats are dropped), so a held button stays held.
  if (!press && e->isAutoRepeat()) return false;
  const int vk = detail::VirtualKeyFromQt(e);
  const char16_t ch = press ? detail::CharFromKey(e) : char16_t{0};
  if (vk == 0 && ch == 0) return false;  // e.g. composed input: the widget's own processing

  InputContext ctx;
  InputContext* saved = std::exchange(m_input, &ctx);
  const std::optional<Qt::KeyboardModifiers> savedModifiers =
      std::exchange(detail::DispatchModifiers(), std::optional(e->modifiers()));
  bool allDefaulted = true;
  {
    detail::DispatchScope scope(m_widget);
    auto dispatch = [&](UINT message, WPARAM wParam) {
      ctx.defaulted = false;
      LPARAM lParam = 1;  // repeat count
      if (e->isAutoRepeat()) lParam |= LPARAM{1} << 30;
      if (!press) lParam |= LPARAM{3} << 30;
      MSG m{m_hwnd, message, wParam, lParam};
      if (WalkPreTranslate(&m)) return false;
      Send(m.message, m.wParam, m.lParam);
      return ctx.defaulted;
    };
    if (vk != 0) allDefaulted = dispatch(press ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(vk));
    if (ch != 0 && !m_destroyed) allDefaulted = dispatch(WM_CHAR, ch) && allDefaulted;
  }
  detail::DispatchModifiers() = savedModifiers;
  m_input = saved;
  if (allDefaulted && IsNative() && !m_destroyed) BaseEvent(e);
  e->accept();
  return true;
}

bool WindowHostBase::HandleFocus(QEvent* e) {
  InputContext ctx;
  InputContext* saved = std::exchange(m_input, &ctx);
  {
    detail::DispatchScope scope(m_widget);
    if (e->type() == QEvent::FocusIn) {
      const HWND previous = std::exchange(detail::LastFocusWindow(), m_hwnd);
      Send(WM_SETFOCUS, previous, 0);
    } else {
      const WindowHostBase* next = FromWidget(QApplication::focusWidget());
      Send(WM_KILLFOCUS, next && next != this ? next->m_hwnd : 0, 0);
    }
  }
  m_input = saved;
  if (ctx.defaulted && IsNative() && !m_destroyed) BaseEvent(e);
  return true;
}

bool WindowHostBase::HandlePaint(QEvent* e) {
  PaintContext paint{this, static_cast<QPaintEvent*>(e)->region(), std::nullopt};
  PaintContext* savedPaint = std::exchange(m_paint, &paint);
  InputContext ctx;
  InputContext* savedInput = std::exchange(m_input, &ctx);
  const bool erase = !std::exchange(m_skipErase, false);
  m_erasePending = false;
  {
    detail::DispatchScope scope(m_widget);
    // A scaled window's margins are filled with its first painter.
    if (!IsNative() && m_widget->isWindow() && !detail::LayoutTransform(*this).isIdentity()) paint.Get();
    if (erase && !IsNative()) {
      CDC dc(paint.Get());
      Send(WM_ERASEBKGND, reinterpret_cast<WPARAM>(&dc), 0);
    }
    if (!m_destroyed) Send(WM_PAINT, 0, 0);
  }
  m_input = savedInput;
  m_paint = savedPaint;
  paint.painter.reset();  // a native widget paints with its own painter
  if (ctx.defaulted && IsNative() && !m_destroyed) BaseEvent(e);
  return true;
}

bool WindowHostBase::HandleClose(QEvent* e) {
  // The window system's close button: the window decides (and destroys
  // itself if it wants to). A caption OK button sends IDOK instead.
  e->ignore();
  detail::DispatchScope scope(m_widget);
  if (m_exStyle & WS_EX_CAPTIONOKBTN) Send(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  else Send(WM_CLOSE, 0, 0);
  return true;
}

void WindowHostBase::Destroy() {
  if (m_destroyed || m_destroying) return;
  m_destroying = true;
  Send(WM_DESTROY, 0, 0);
  std::vector<QPointer<QWidget>> children;
  for (QObject* child : m_widget->children())
    if (auto* w = qobject_cast<QWidget*>(child)) children.emplace_back(w);
  for (const QPointer<QWidget>& child : children)
    if (WindowHostBase* host = child ? FromWidget(child) : nullptr) host->Destroy();
  for (const auto& timer : m_timers) m_widget->killTimer(timer.second);
  m_timers.clear();
  if (detail::CaptureWindow() == m_hwnd) detail::CaptureWindow() = 0;
  if (detail::LastFocusWindow() == m_hwnd) detail::LastFocusWindow() = 0;
  Send(WM_NCDESTROY, 0, 0);
  UnregisterWindow(m_hwnd);
  Hosts().erase(m_hwnd);
  m_destroyed = true;
  if (CWnd* attached = std::exchange(m_attached, nullptr)) CWnd::WindowGone(attached);
}

}  // namespace lv
