#include "platform/ui/accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QWidget>
#include <utility>
#include <vector>

#include "platform/ui/window_api.h"
#include "platform/ui/window_internal.h"

namespace lv {
namespace {

QString ToQt(std::u16string_view s) { return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size())); }

QAccessible::Role RoleOfClass(std::u16string_view className, bool topLevel) {
  if (className == u"STATIC") return QAccessible::StaticText;
  if (className == u"#32770") return QAccessible::Dialog;
  if (className == u"GrpBtn") return QAccessible::Button;  // the program's bitmap buttons
  return topLevel ? QAccessible::Window : QAccessible::Client;
}

// A window drawn by messages: its role comes from its class, its name from
// SetAccessibleName or, for texts and windows, from the window text.
class WindowAccessible final : public QAccessibleWidget {
 public:
  WindowAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) {
      const QString given = widget()->accessibleName();
      if (!given.isEmpty()) return given;
      if (role() == QAccessible::StaticText || widget()->isWindow())
        return ToQt(GetWindowText(HandleFromWidget(widget())));
    }
    return QAccessibleWidget::text(t);
  }

  QStringList actionNames() const override {
    QStringList names = QAccessibleWidget::actionNames();
    if (role() == QAccessible::Button && widget()->isEnabled() && widget()->isVisible()) names.prepend(pressAction());
    return names;
  }

  // Pressing a button for a screen-reader user is a tap in its middle: the
  // button does what a pen down and up inside it would do. The tap is posted:
  // what the button starts (a modal form) must not run inside the screen
  // reader's call, which returns at once.
  void doAction(const QString& action) override {
    if (role() != QAccessible::Button || action != pressAction()) {
      QAccessibleWidget::doAction(action);
      return;
    }
    const HWND hwnd = HandleFromWidget(widget());
    // A hidden button (the PTZ grid in channel mode) cannot be tapped.
    if (!hwnd || !widget()->isEnabled() || !widget()->isVisible()) return;
    CRect client;
    GetClientRect(hwnd, &client);
    const LPARAM middle = MAKELPARAM(static_cast<unsigned>(client.right / 2), static_cast<unsigned>(client.bottom / 2));
    // Posted: the press returns at once, even when the click runs a modal form.
    PostMessage(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    PostMessage(hwnd, WM_LBUTTONUP, 0, middle);
  }
};

// One line of a list box, read live from the list.
class ListItemAccessible final : public QAccessibleInterface {
 public:
  ListItemAccessible(HWND list, int index) : m_list(list), m_index(index) {}

  bool isValid() const override { return m_index < detail::ListBoxLineCount(m_list); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override {
    QWidget* w = WidgetFromHandle(m_list);
    return w ? w->window()->windowHandle() : nullptr;
  }
  QAccessibleInterface* parent() const override {
    QWidget* w = WidgetFromHandle(m_list);
    return w ? QAccessible::queryAccessibleInterface(w) : nullptr;
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }

  QString text(QAccessible::Text t) const override {
    std::u16string line;
    if (t != QAccessible::Name || !detail::ListBoxLine(m_list, m_index, &line, nullptr)) return {};
    return ToQt(line);
  }
  void setText(QAccessible::Text, const QString&) override {}

  QRect rect() const override {
    QWidget* w = WidgetFromHandle(m_list);
    CRect rc;
    if (!w || !detail::ListBoxLine(m_list, m_index, nullptr, &rc)) return {};
    CPoint topLeft(rc.left, rc.top);
    CPoint bottomRight(rc.right, rc.bottom);
    ClientToScreen(m_list, &topLeft);
    ClientToScreen(m_list, &bottomRight);
    return QRect(QPoint(topLeft.x, topLeft.y), QPoint(bottomRight.x - 1, bottomRight.y - 1));
  }
  QAccessible::Role role() const override { return QAccessible::ListItem; }

  QAccessible::State state() const override {
    QAccessible::State s;
    QWidget* w = WidgetFromHandle(m_list);
    CRect rc;
    if (!w || !detail::ListBoxLine(m_list, m_index, nullptr, &rc)) {
      s.invalid = true;
      return s;
    }
    s.selectable = true;
    s.focusable = true;
    const bool selected = detail::ListBoxSelection(m_list) == m_index;
    s.selected = selected;
    s.focused = selected && w->hasFocus();
    s.disabled = !w->isEnabled();
    CRect client;
    GetClientRect(m_list, &client);
    s.invisible = !w->isVisible() || rc.bottom <= 0 || rc.top >= client.bottom;
    s.offscreen = s.invisible;
    return s;
  }

 private:
  HWND m_list;
  int m_index;
};

// A list box: a list whose children are its lines.
class ListBoxAccessible final : public QAccessibleWidget {
 public:
  explicit ListBoxAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::List) {}
  ~ListBoxAccessible() override {
    for (const QAccessible::Id id : m_items) QAccessible::deleteAccessibleInterface(id);
  }

  int childCount() const override { return std::max(0, detail::ListBoxLineCount(Handle())); }

  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= childCount()) return nullptr;
    while (static_cast<int>(m_items.size()) <= index) {
      const int next = static_cast<int>(m_items.size());
      m_items.push_back(QAccessible::registerAccessibleInterface(new ListItemAccessible(Handle(), next)));
    }
    return QAccessible::accessibleInterface(m_items[static_cast<std::size_t>(index)]);
  }

  int indexOfChild(const QAccessibleInterface* item) const override {
    for (std::size_t i = 0; i < m_items.size(); ++i)
      if (QAccessible::accessibleInterface(m_items[i]) == item) return static_cast<int>(i) < childCount() ? int(i) : -1;
    return -1;
  }

  QAccessibleInterface* focusChild() const override {
    return widget()->hasFocus() ? child(detail::ListBoxSelection(Handle())) : nullptr;
  }

  QAccessibleInterface* childAt(int x, int y) const override {
    for (int i = 0; i < childCount(); ++i)
      if (QAccessibleInterface* item = child(i); item && item->rect().contains(x, y)) return item;
    return nullptr;
  }

 private:
  HWND Handle() const { return HandleFromWidget(widget()); }

  // Lines are read live by index, so an interface made for a line stays
  // right whatever the list does; they go with the list's interface.
  mutable std::vector<QAccessible::Id> m_items;
};

// An announcement: an alert object of a top-level window whose name is the
// announced text. Qt hands no alert event to AT-SPI, but an alert that shows
// is what screen readers there speak at once.
class AlertAccessible final : public QAccessibleInterface {
 public:
  AlertAccessible(QWidget* window, QString text) : m_window(window), m_text(std::move(text)) {}

  bool isValid() const override { return !m_window.isNull(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return m_window ? m_window->windowHandle() : nullptr; }
  QAccessibleInterface* parent() const override {
    return m_window ? QAccessible::queryAccessibleInterface(m_window.data()) : nullptr;
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }
  QString text(QAccessible::Text t) const override { return t == QAccessible::Name ? m_text : QString(); }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override { return m_window ? QRect(m_window->mapToGlobal(QPoint()), m_window->size()) : QRect(); }
  QAccessible::Role role() const override { return QAccessible::AlertMessage; }
  QAccessible::State state() const override {
    QAccessible::State s;
    s.invalid = m_window.isNull();
    return s;
  }

 private:
  QPointer<QWidget> m_window;
  QString m_text;
};

// Keeps a window's latest announcement readable (screen readers ask for its
// text after the event) until the next one or the window's end.
class AlertKeeper final : public QObject {
 public:
  using QObject::QObject;
  ~AlertKeeper() override { Replace(0, {}); }
  void Replace(QAccessible::Id id, const QString& text) {
    if (m_id) QAccessible::deleteAccessibleInterface(m_id);
    m_id = id;
    m_text = text;
  }
  const QString& Text() const { return m_text; }

 private:
  QAccessible::Id m_id = 0;
  QString m_text;
};

AccessibleEventObserver& Observer() {
  static AccessibleEventObserver observer;
  return observer;
}

void Emit(QAccessibleEvent* event) {
  if (Observer()) Observer()(event);
  QAccessible::updateAccessibility(event);
}

QAccessibleInterface* Factory(const QString&, QObject* object) {
  auto* widget = qobject_cast<QWidget*>(object);
  const WindowHostBase* host = widget ? WindowHostBase::FromWidget(widget) : nullptr;
  // Edit fields are Qt line edits and keep Qt's own interface.
  if (!host || host->Class().kind != HostKind::Plain) return nullptr;
  if (host->Class().lpszClassName == u"LISTBOX") return new ListBoxAccessible(widget);
  return new WindowAccessible(widget, RoleOfClass(host->Class().lpszClassName, widget->isWindow()));
}

}  // namespace

namespace detail {

void EnsureAccessibility() {
  // Installed with the first window, after the application object (whose
  // own factories are consulted after the ones installed later).
  static const bool installed = [] {
    QAccessible::installFactory(&Factory);
    return true;
  }();
  (void)installed;
}

void AccessibleListChanged(HWND list) {
  QWidget* w = WidgetFromHandle(list);
  if (!w) return;
  QAccessibleEvent event(w, QAccessible::ObjectReorder);
  Emit(&event);
}

void AccessibleListSelection(HWND list, int index) {
  QWidget* w = WidgetFromHandle(list);
  if (!w || index < 0) return;
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
  QAccessibleInterface* item = iface ? iface->child(index) : nullptr;
  if (!item) return;
  QAccessibleEvent selection(item, QAccessible::Selection);
  Emit(&selection);
  if (w->hasFocus()) {
    QAccessibleEvent focus(item, QAccessible::Focus);
    Emit(&focus);
  }
}

void AnnounceIn(QWidget* window, std::u16string_view text) {
  if (!window) return;
  AlertKeeper* keeper = nullptr;
  for (QObject* child : window->children())
    if (auto* k = dynamic_cast<AlertKeeper*>(child)) keeper = k;
  if (!keeper) keeper = new AlertKeeper(window);  // owned by the window
  const QString said = ToQt(text);
  if (keeper->Text() == said) return;  // the same words again are no news
  auto* alert = new AlertAccessible(window, said);
  keeper->Replace(QAccessible::registerAccessibleInterface(alert), said);  // Qt's registry owns it
  QAccessibleEvent shown(alert, QAccessible::ObjectShow);
  Emit(&shown);
  QAccessibleEvent event(alert, QAccessible::Alert);
  Emit(&event);
}

}  // namespace detail

void Announce(HWND hwnd, std::u16string_view text) {
  if (QWidget* w = WidgetFromHandle(hwnd)) detail::AnnounceIn(w->window(), text);
}

void SetAccessibleName(HWND hwnd, std::u16string_view name) {
  if (QWidget* w = WidgetFromHandle(hwnd)) w->setAccessibleName(ToQt(name));
}

void SetAccessibleDescription(HWND hwnd, std::u16string_view text) {
  if (QWidget* w = WidgetFromHandle(hwnd)) w->setAccessibleDescription(ToQt(text));
}

void NotifyAccessibleChange(HWND hwnd) {
  QWidget* w = WidgetFromHandle(hwnd);
  if (!w) return;
  QAccessibleEvent event(w, QAccessible::NameChanged);
  Emit(&event);
}

AccessibleEventObserver SetAccessibleEventObserver(AccessibleEventObserver observer) {
  return std::exchange(Observer(), std::move(observer));
}

}  // namespace lv
