// Motion events on the desktop: one notification per event through a fake
// notification service on a private session bus, and a click on it that
// opens the site view on the event's channel against the simulator.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QTimer>
#include <dvrsim/simulator.h>
#include <filesystem>

#include "platform/notify/desktop_notifier.h"
#include "shell/motion_desk.h"
#include "sites/site_list_dialog.h"
#include "support/pump.h"
#include "view/site_view.h"

namespace {

constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";

// Answers Notify with ids 1, 2, ... and remembers what it was asked to show.
class FakeNotifications : public QDBusVirtualObject {
 public:
  explicit FakeNotifications(QDBusConnection bus) : m_bus(std::move(bus)) {}
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
    if (m.member() != QLatin1String("Notify")) return false;
    summaries << m.arguments().value(3).toString();
    actions = m.arguments().value(5).toStringList();
    c.send(m.createReply(QVariant::fromValue(static_cast<uint>(summaries.size()))));
    return true;
  }
  void Click(uint id) {
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("ActionInvoked"));
    signal << id << QStringLiteral("default");
    m_bus.send(signal);
  }
  QStringList summaries, actions;

 private:
  QDBusConnection m_bus;
};

struct NoNetwork : lv::ISiteNetwork {
  int ConnectNetwork(lv::HWND) override { return 1; }
  lv::LRESULT OnConnMgrStatus(lv::WPARAM, lv::LPARAM) override { return 0; }
  void Release() override {}
};

lv::MotionEvent Event(const char* site, int channel, bool started) { return {site, channel, started, 0, ""}; }

TEST(MotionDesk, OneNotificationPerEventAndItsClickOpensTheChannel) {
  QProcess daemon;
  daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--print-address", "--nofork"});
  ASSERT_TRUE(daemon.waitForStarted(10000));
  ASSERT_TRUE(lvtest::PumpUntil([&] { return daemon.canReadLine() || daemon.waitForReadyRead(50); }, 10000));
  const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
  QDBusConnection serviceBus = QDBusConnection::connectToBus(address, QStringLiteral("fake-service"));
  FakeNotifications fake(serviceBus);
  ASSERT_TRUE(serviceBus.registerService(kInterface));
  ASSERT_TRUE(serviceBus.registerVirtualObject(kPath, &fake));

  const auto root = std::filesystem::temp_directory_path() / ("lv-motion-desk-" + std::to_string(::getpid()));
  dvrsim::Config config;
  config.channelCount = 4;
  dvrsim::Simulator sim(config);
  sim.Start(0);
  {
    lv::SiteList list;
    auto site = std::make_unique<lv::CDvrSession>();
    site->SetSite({u"Office", u"127.0.0.1", sim.Port(), u"admin", u"1234"});
    site->m_nSiteIndex = list.NextSiteIndex();
    list.AppendSite(std::move(site));
    ASSERT_EQ(lv::SiteStore(root / "lorventa").SaveSites(list), lv::StoreResult::Ok);
  }
  lv::MotionSetup setup;
  setup.sites["Office"] = {true, true, true, {}};
  setup.sites["Quiet"] = {true, true, false, {}};
  NoNetwork network;
  lv::CDlg_SiteList dlg(network, lv::SiteStore(root / "lorventa"));
  {
    lv::DesktopNotifier notifier("Lorventa", address.toStdString());
    lv::MotionDesk desk(setup, &notifier);
    desk.views = [&] { return std::vector<lv::CDlg_SiteView*>{dlg.SiteView()}; };
    desk.onShow = [&](const std::u16string& name, int channel) { dlg.ShowSiteChannel(name, channel); };
    dlg.m_onViewMade = [&](lv::CDlg_SiteView& view) { desk.Attach(view); };
    int openedOn = -1;
    bool marked = false;
    QTimer watch;  // runs inside the view's own loop once it is up
    QObject::connect(&watch, &QTimer::timeout, [&] {
      lv::CDlg_SiteView* view = dlg.SiteView();
      if (!view || !view->GetSafeHwnd() || view->Status() != lv::ST_RECEIVING) return;
      openedOn = view->m_pCurr_DVR.load()->m_nCurrentCH.load();
      marked = view->MotionOn(2) && !view->MotionOn(1);
      view->SendMessage(lv::WM_CLOSE);
      watch.stop();
    });
    QTimer::singleShot(0, [&] {
      // Reported twice, ended, started again; another site without
      // notifications; then a last one, so every earlier call has arrived.
      for (const auto& e : {Event("Office", 2, true), Event("Office", 2, true), Event("Office", 2, false),
                            Event("Office", 2, true), Event("Quiet", 1, true), Event("Office", 4, true)})
        desk.OnEvent(e);
      EXPECT_TRUE(lvtest::PumpUntil([&] { return fake.summaries.size() >= 3 && notifier.Shown() >= 3; }, 10000));
      watch.start(20);
      fake.Click(2);  // the second event on channel 3
      EXPECT_TRUE(lvtest::PumpUntil([&] { return openedOn >= 0 && !dlg.SiteView()->GetSafeHwnd(); }, 15000));
      QCloseEvent close;
      QCoreApplication::sendEvent(dlg.GetWidget(), &close);
    });
    dlg.DoModal();
    EXPECT_EQ(fake.summaries, (QStringList{"Motion at Office, channel 3", "Motion at Office, channel 3",
                                           "Motion at Office, channel 5"}));
    EXPECT_TRUE(fake.actions.contains(QStringLiteral("default")));
    EXPECT_EQ(openedOn, 2);
    EXPECT_TRUE(marked) << "the view opens with the channel's mark";
  }
  serviceBus.unregisterObject(kPath);
  QDBusConnection::disconnectFromBus(QStringLiteral("fake-service"));
  daemon.kill();
  daemon.waitForFinished(10000);
  std::filesystem::remove_all(root);
}

}  // namespace
