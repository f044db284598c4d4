#include "platform/notify/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>
#include <QVariantMap>
#include <atomic>
#include <map>
#include <utility>

#include "platform/core/debug_out.h"

namespace lv {
namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";
constexpr int kExpireDefault = -1;  // the service decides
constexpr int kCallTimeoutMs = 5000;
std::atomic<int> g_busCount{0};

// Receives the service's signals (QtDBus delivers them to slots only).
class SignalSink : public QObject {
  Q_OBJECT
 public:
  std::function<void(uint id, const QString& action)> onInvoked;
  std::function<void(uint id)> onClosed;

 public slots:
  void ActionInvoked(uint id, const QString& action) {
    if (onInvoked) onInvoked(id, action);
  }
  void NotificationClosed(uint id, uint) {
    if (onClosed) onClosed(id);
  }
};

}  // namespace

struct DesktopNotifier::Impl {
  QString appName;
  QString busName;  // the connection's name, when one of our own
  QDBusConnection bus{QString()};
  SignalSink sink;
  std::map<uint, std::string> keys;  // id the service gave: key
  int shown = 0;
  bool told = false;  // the debug line about a missing service was written

  void Unavailable(const QString& why) {
    if (std::exchange(told, true)) return;
    DebugOut("# NOTIFY desktop notifications unavailable: %s\r\n", why.toUtf8().constData());
  }
};

DesktopNotifier::DesktopNotifier(std::string appName, std::string busAddress) : m_impl(std::make_unique<Impl>()) {
  Impl& d = *m_impl;
  d.appName = QString::fromStdString(appName);
  if (busAddress.empty()) {
    d.bus = QDBusConnection::sessionBus();
  } else {
    d.busName = QStringLiteral("lorventa-notify-%1").arg(g_busCount.fetch_add(1));
    d.bus = QDBusConnection::connectToBus(QString::fromStdString(busAddress), d.busName);
  }
  d.sink.onInvoked = [this](uint id, const QString& action) {
    const auto it = m_impl->keys.find(id);
    if (it == m_impl->keys.end() || action != QLatin1String("default")) return;  // another program's, or another action
    const std::string key = it->second;
    if (onAction) onAction(key);
  };
  d.sink.onClosed = [this](uint id) { m_impl->keys.erase(id); };
  if (!d.bus.isConnected()) return;
  d.bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), &d.sink,
                SLOT(ActionInvoked(uint, QString)));
  d.bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), &d.sink,
                SLOT(NotificationClosed(uint, uint)));
}

DesktopNotifier::~DesktopNotifier() {
  Impl& d = *m_impl;
  if (d.bus.isConnected()) {
    d.bus.disconnect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), &d.sink,
                     SLOT(ActionInvoked(uint, QString)));
    d.bus.disconnect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), &d.sink,
                     SLOT(NotificationClosed(uint, uint)));
  }
  if (!d.busName.isEmpty()) {
    d.bus = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(d.busName);
  }
}

void DesktopNotifier::Notify(const std::u16string& summary, const std::u16string& body, std::string key) {
  Impl& d = *m_impl;
  if (!d.bus.isConnected()) return d.Unavailable(QStringLiteral("no session bus"));
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("lorventa"));
  hints.insert(QStringLiteral("category"), QStringLiteral("device"));
  call << d.appName << uint{0} << QStringLiteral("lorventa") << QString::fromStdU16String(summary)
       << QString::fromStdU16String(body) << QStringList{QStringLiteral("default"), QStringLiteral("Show")} << hints
       << kExpireDefault;
  auto* watcher = new QDBusPendingCallWatcher(d.bus.asyncCall(call, kCallTimeoutMs), &d.sink);  // owned by the sink
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &d.sink,
                   [this, key = std::move(key)](QDBusPendingCallWatcher* w) {
                     w->deleteLater();
                     const QDBusPendingReply<uint> reply = *w;
                     if (reply.isError()) return m_impl->Unavailable(reply.error().message());
                     m_impl->keys[reply.value()] = key;
                     ++m_impl->shown;
                   });
}

int DesktopNotifier::Shown() const { return m_impl->shown; }

}  // namespace lv

#include "desktop_notifier.moc"
