// Listens on the accessibility bus as a screen reader does and prints one
// line for every object that becomes shown: "shown: ROLE NAME". The AT-SPI
// test reads these lines to see what the program announced.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <cstdio>

class Listener : public QObject {
  Q_OBJECT
 public:
  explicit Listener(QDBusConnection bus) : m_bus(std::move(bus)) {}

 public slots:
  void OnStateChanged(const QDBusMessage& m) {
    const QList<QVariant> args = m.arguments();
    if (args.size() < 2 || args[0].toString() != QLatin1String("showing") || args[1].toInt() != 1) return;
    const auto ask = [&](const char* interface, const char* method, const QVariantList& in) {
      QDBusMessage call = QDBusMessage::createMethodCall(m.service(), m.path(), interface, method);
      call.setArguments(in);
      return m_bus.call(call, QDBus::Block, 2000).arguments().value(0);
    };
    const QString name = ask("org.freedesktop.DBus.Properties", "Get",
                             {QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("Name")})
                             .value<QDBusVariant>()
                             .variant()
                             .toString();
    const QString role = ask("org.a11y.atspi.Accessible", "GetRoleName", {}).toString();
    std::printf("shown: %s %s\n", qPrintable(role), qPrintable(name));
    std::fflush(stdout);
  }

 private:
  QDBusConnection m_bus;
};

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QDBusInterface a11y("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", QDBusConnection::sessionBus());
  const QDBusReply<QString> address = a11y.call("GetAddress");
  if (!address.isValid()) {
    std::fprintf(stderr, "atspi_listener: no accessibility bus: %s\n", qPrintable(address.error().message()));
    return 1;
  }
  const QDBusConnection bus = QDBusConnection::connectToBus(address.value(), "a11y");
  Listener listener(bus);
  QDBusConnection(bus).connect(QString(), QString(), "org.a11y.atspi.Event.Object", "StateChanged", &listener,
                               SLOT(OnStateChanged(QDBusMessage)));
  QDBusMessage reg = QDBusMessage::createMethodCall("org.a11y.atspi.Registry", "/org/a11y/atspi/registry",
                                                    "org.a11y.atspi.Registry", "RegisterEvent");
  reg << QStringLiteral("object:state-changed");
  const QDBusMessage answer = QDBusConnection(bus).call(reg);
  if (answer.type() == QDBusMessage::ErrorMessage) {
    std::fprintf(stderr, "atspi_listener: %s\n", qPrintable(answer.errorMessage()));
    return 1;
  }
  std::printf("listening\n");
  std::fflush(stdout);
  return app.exec();
}

#include "atspi_listener.moc"
