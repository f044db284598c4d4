// The application object: the sockets check and its message, and a whole
// run against the simulator from the first start to the end of the process's
// work, with nothing left running.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <dvrsim/simulator.h>
#include <filesystem>
#include <thread>

#include "platform/ui/window_api.h"
#include "protocol/text.h"
#include "shell/client_app.h"
#include "sites/site_list_dialog.h"
#include "sites/ui_modal_script.h"
#include "support/pump.h"
#include "view/site_view.h"

namespace {

using lv::CDlg_SiteList;

// The names of the process's threads. Idle threads of Qt's own pool (used by
// its image code) are not ours and end with the application object.
QStringList ThreadNames() {
  QStringList names;
  for (const QString& t : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(t));
    if (!comm.open(QIODevice::ReadOnly)) continue;
    const QString name = QString::fromUtf8(comm.readAll()).trimmed();
    if (name != QStringLiteral("Thread (pooled)")) names << name;
  }
  return names;
}
int ThreadCount() { return static_cast<int>(ThreadNames().size()); }

void Tap(lv::HWND button) { QTest::mouseClick(lv::WidgetFromHandle(button), Qt::LeftButton, {}, QPoint(30, 30)); }
void Close(QWidget* window) {
  QCloseEvent close;
  QCoreApplication::sendEvent(window, &close);
}

class AppTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "lv-app-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(root.string()));
  }
  void TearDown() override {
    qputenv("XDG_CONFIG_HOME", oldConfig);
    std::filesystem::remove_all(root);
  }

  std::filesystem::path root;
  QByteArray oldConfig;
};

TEST_F(AppTest, WithoutSocketsOnlyTheMessageIsShownAndNothingIsTouched) {
  lv::CClientApp app;
  app.m_socketsCheck = [] { return false; };
  lvtest::ModalScript script;
  std::u16string shown;
  script.AnswerMessageBox(&shown);
  EXPECT_EQ(app.InitInstance(), 1);
  EXPECT_EQ(shown, u"Windows sockets initialization failed.");
  EXPECT_FALSE(std::filesystem::exists(root / "lorventa")) << "the store is not touched";
}

TEST_F(AppTest, SocketsArePreparedForWritesToPeersThatHaveGone) {
  ASSERT_TRUE(lv::PrepareSockets());
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  ::close(fds[1]);
  EXPECT_EQ(::write(fds[0], "x", 1), -1) << "a write to a closed peer fails instead of ending the process";
  EXPECT_EQ(errno, EPIPE);
  ::close(fds[0]);
}

// A first start on an empty store folder: add the simulator as a site,
// connect, see pictures, come back, close (connecting works whatever the
// network line says). The sites land in the folder named
// by XDG_CONFIG_HOME, and no thread is left when the run is over.
TEST_F(AppTest, AWholeRunAddsConnectsComesBackAndLeavesNothingRunning) {
  std::thread([] {}).join();  // a sanitizer's helper thread starts with the first thread
  const int threadsBefore = ThreadCount();
  dvrsim::Simulator sim(dvrsim::Config{});
  ASSERT_TRUE(sim.Start()) << sim.Error();

  lv::CClientApp app;  // with the system's own data connection and its watcher
  lvtest::ModalScript script;
  bool sawPictures = false;
  bool reachedEnd = false;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(lvtest::PumpUntil([&] { return app.MainWindow() && app.MainWindow()->IsRunning(); }));
    CDlg_SiteList& list = *app.MainWindow();
    script.Inside(list, {[&] {
                           script.Inside(*list.RegDialog(), {[&] {
                                           lv::CDlg_SiteReg& reg = *list.RegDialog();
                                           const std::array<std::u16string, 5> texts = {
                                               u"Simulator", u"127.0.0.1", lv::Utf8ToUtf16(std::to_string(sim.Port())),
                                               u"admin", u"1234"};
                                           for (int i = 0; i < 5; ++i)
                                             reg.Edit(i)->SetWindowText(texts[static_cast<std::size_t>(i)]);
                                           Tap(reg.OkButton());
                                         }});
                           Tap(list.Button(0));
                           ASSERT_NE(list.CurrentSite(), nullptr);
                         },
                         [&] {
                           lv::CDlg_SiteView& view = *list.SiteView();
                           script.Inside(view, {[&] {
                                           sawPictures = lvtest::PumpUntil(
                                               [&] { return view.Status() == lv::ST_RECEIVING && view.HasPicture(); },
                                               15000);
                                           Close(view.GetWidget());
                                         }});
                           Tap(list.Button(3));  // connect: the view runs and comes back
                           EXPECT_TRUE(lvtest::PumpUntil([&] { return sim.OpenConnections() == 0; }))
                               << "the viewing's connection is closed";
                         },
                         [&] {
                           reachedEnd = true;
                           Close(list.GetWidget());  // the caption's OK button
                         }});
  });
  EXPECT_EQ(app.InitInstance(), 0);
  EXPECT_TRUE(sawPictures);
  EXPECT_TRUE(reachedEnd);
  EXPECT_EQ(app.MainWindow(), nullptr);
  EXPECT_TRUE(std::filesystem::exists(root / "lorventa" / lv::SiteStore::kFileName));
  lv::SiteList stored;
  lv::SiteStore(root / "lorventa").LoadSites(stored, 0);
  ASSERT_EQ(stored.Count(), 1);
  EXPECT_EQ(stored.First()->m_nPort, sim.Port());
  sim.Stop();
  EXPECT_TRUE(lvtest::PumpUntil([&] { return ThreadCount() <= threadsBefore; }, 5000))
      << ThreadCount() << " threads, " << threadsBefore << " before the run:" << ThreadNames().join(QStringLiteral(", ")).toStdString();
}

}  // namespace

// The demo's start: the start site is added to an empty store and the view
// connects to it at once, with no tap; closing it leaves the list.
TEST_F(AppTest, AStartSiteIsAddedAndConnectedWithoutATap) {
  dvrsim::Simulator sim(dvrsim::Config{});
  ASSERT_TRUE(sim.Start()) << sim.Error();
  lv::CClientApp app;
  app.m_storeFolder = root / "demo";
  app.m_startSite = lv::StartSite{u"Demo DVR", u"127.0.0.1", sim.Port(), u"admin", u"1234"};
  lvtest::ModalScript script;
  bool sawPictures = false;
  std::u16string current;
  QTimer::singleShot(0, [&] {
    // The list is up (its view object made); the view runs by itself next.
    ASSERT_TRUE(app.MainWindow() && app.MainWindow()->SiteView());
    CDlg_SiteList& list = *app.MainWindow();
    lv::CDlg_SiteView& view = *list.SiteView();
    script.Inside(view, {[&] {
                    sawPictures = lvtest::PumpUntil(
                        [&] { return view.Status() == lv::ST_RECEIVING && view.HasPicture(); }, 15000);
                    current = list.CurrentSite() ? list.CurrentSite()->m_strSiteName : u"";
                    QTimer::singleShot(0, [&] { Close(list.GetWidget()); });  // back in the list's run
                    Close(view.GetWidget());
                  }});
  });
  EXPECT_EQ(app.InitInstance(), 0);
  EXPECT_TRUE(sawPictures);
  EXPECT_EQ(current, u"Demo DVR");
  lv::SiteList stored;
  lv::SiteStore(root / "demo").LoadSites(stored, 0);
  ASSERT_EQ(stored.Count(), 1);
  EXPECT_EQ(stored.First()->m_nPort, sim.Port());
}
