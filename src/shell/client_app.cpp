#include "shell/client_app.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>

#include <csignal>
#include <cstdio>

#include "platform/notify/desktop_notifier.h"
#include "platform/ui/window_api.h"
#include "protocol/text.h"
#include "shell/motion_desk.h"
#include "shell/motion_watch.h"
#include "shell/network_connection.h"
#include "shell/wall_launcher.h"
#include "sites/site_list_dialog.h"

namespace lv {
namespace {

static_assert(kConnMgrStatusMessage == WM_CONNMGR_STATUS);

// The site list's view of the system's data connection.
class SystemNetwork final : public ISiteNetwork {
 public:
  int ConnectNetwork(HWND notifyWindow) override { return m_connection.ConnectNetwork(notifyWindow); }
  LRESULT OnConnMgrStatus(WPARAM wParam, LPARAM lParam) override { return m_connection.OnConnMgrStatus(wParam, lParam); }
  void Release() override { m_connection.Release(); }

 private:
  CNetworkConnection m_connection;
};

}  // namespace

bool PrepareSockets() {
  if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) return false;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::unique_ptr<ISiteNetwork> MakeSystemNetwork() { return std::make_unique<SystemNetwork>(); }

struct CClientApp::MotionRun {
  CClientApp& app;
  std::unique_ptr<DesktopNotifier> notifier;  // outlives the desk
  std::unique_ptr<MotionDesk> desk;
  std::unique_ptr<MotionWatch> watch;  // reports to the desk until closed
  ~MotionRun() {
    watch->Close();
    if (app.m_onMotionDeskEnd) app.m_onMotionDeskEnd(*desk);
    app.m_pMotionDesk = nullptr;
  }
};

std::unique_ptr<CClientApp::MotionRun> CClientApp::StartMotion(CDlg_SiteList* list, WallLauncher& walls) {
  auto run = std::unique_ptr<MotionRun>(new MotionRun{*this, nullptr, nullptr, nullptr});
  bool notifies = false;
  for (const auto& [name, site] : m_motionSetup.sites) notifies |= site.watch && site.notify;
  // The session bus is touched only when a site asked for notifications.
  if (notifies) run->notifier = std::make_unique<DesktopNotifier>("Lorventa");
  run->desk = std::make_unique<MotionDesk>(m_motionSetup, run->notifier.get());
  MotionDesk& desk = *run->desk;
  desk.views = [list, &walls] { return std::vector<CDlg_SiteView*>{list ? list->SiteView() : nullptr, walls.View()}; };
  desk.tiles = [&walls] { return walls.Tiles(); };
  desk.onShow = [list, &walls](const std::u16string& name, int channel) {
    // The view a wall opened, when it shows the site; else the list's view.
    if (!MotionDesk::ShowIn(walls.View(), name, channel) && list) list->ShowSiteChannel(name, channel);
  };
  run->watch = std::make_unique<MotionWatch>(m_motionSetup, [&desk](const MotionEvent& event) { desk.OnEvent(event); });
  MotionWatch& watch = *run->watch;
  desk.saveClip = [&watch](const std::string& site, int channel) { return watch.SaveClip(site, channel); };
  desk.watch = [&watch](const std::u16string& site) { return watch.WatchSite(site); };
  walls.watch = desk.watch;
  walls.onViewMade = [&desk](CDlg_SiteView& view) { desk.Attach(view); };
  if (list) list->m_onViewMade = [&desk](CDlg_SiteView& view) { desk.Attach(view); };
  m_pMotionDesk = &desk;
  if (m_onMotionDesk) m_onMotionDesk(desk);
  return run;
}

CClientApp::CClientApp() = default;
CClientApp::~CClientApp() = default;

int CClientApp::InitInstance() {
  // The handheld's shell initialisation, control-container set-up and
  // settings key have nothing to map to here.
  if (!m_socketsCheck || !m_socketsCheck()) {
    MessageBox(0, kSocketsFailedText, u"Lorventa");
    return 1;
  }
  if (m_wallSite) return RunWall(*m_wallSite);
  const std::unique_ptr<ISiteNetwork> network = m_makeNetwork();
  {
    CDlg_SiteList dlg(*network, m_storeFolder.empty() ? SiteStore() : SiteStore(m_storeFolder));
    if (m_startSite) dlg.ConnectAtStart(*m_startSite);
    dlg.SetAutoReconnect(m_bAutoReconnect);
    WallLauncher walls(WallOptions{m_nWallSessions, {}, {}});
    const auto motion = StartMotion(&dlg, walls);
    dlg.m_onWall = [&walls, &motion](const SiteFields* site, const std::vector<SiteFields>& sites) {
      walls.Open(site, sites);
      motion->desk->RefreshMarks();
    };
    m_pMainWnd = &dlg;
    dlg.DoModal();  // its result is not looked at
    m_pMainWnd = nullptr;
  }
  return 0;
}

int CClientApp::RunWall(const std::u16string& name) {
  SiteStore store = m_storeFolder.empty() ? SiteStore() : SiteStore(m_storeFolder);
  SiteList list;
  store.LoadSites(list, 0);
  std::vector<SiteFields> sites;
  const SiteFields* chosen = nullptr;
  for (CDvrSession* s = list.First(); s; s = s->m_pNext) sites.push_back(s->Site());
  for (const SiteFields& site : sites)
    if (site.name == name) chosen = &site;
  if (!name.empty() && !chosen) {
    std::fprintf(stderr, "lorventa: no stored site is called '%s'\n", Utf16ToUtf8(name).c_str());
    return 2;
  }
  WallLauncher walls(WallOptions{m_nWallSessions, {}, {}});
  const auto motion = StartMotion(nullptr, walls);
  walls.Open(chosen, sites);
  return QApplication::exec();
}

}  // namespace lv
