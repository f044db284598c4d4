// Listens on the accessibility bus as a screen reader does and prints one
// line for every object that becomes shown: "shown: ROLE NAME". The AT-SPI
// test reads these lines to see what the program announced. A line
// "press NAME" on standard input presses the shown button of that name, as a
// screen reader does for its user ("pressed: NAME" once asked).
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QMap>
#include <QPair>
#include <QSocketNotifier>
#include <cstdio>
#include <iostream>
#include <string>

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
    m_shown[name] = {m.service(), m.path()};
    std::printf("shown: %s %s\n", qPrintable(role), qPrintable(name));
    std::fflush(stdout);
  }

  void OnInput() {
    std::string line;
    if (!std::getline(std::cin, line)) return m_input->setEnabled(false);
    const QString name = QString::fromStdString(line).section(' ', 1);
    if (!line.starts_with("press ") || !m_shown.contains(name)) return (void)std::printf("unknown: %s\n", line.c_str());
    QDBusMessage call = QDBusMessage::createMethodCall(m_shown[name].first, m_shown[name].second,
                                                       "org.a11y.atspi.Action", "DoAction");
    call << 0;
    const QDBusMessage answer = m_bus.call(call, QDBus::Block, 2000);
    std::printf("%s: %s\n", answer.type() == QDBusMessage::ErrorMessage ? "failed" : "pressed", qPrintable(name));
    std::fflush(stdout);
  }

 private:
  QDBusConnection m_bus;
  QMap<QString, QPair<QString, QString>> m_shown;  // name: service and path

 public:
  QSocketNotifier* m_input = nullptr;
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
  QSocketNotifier input(0, QSocketNotifier::Read);
  listener.m_input = &input;
  QObject::connect(&input, &QSocketNotifier::activated, &listener, &Listener::OnInput);
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
