#include "shell/client_app.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>

#include <csignal>
#include <cstdio>

#include "platform/ui/window_api.h"
#include "protocol/text.h"
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
    WallLauncher walls(WallOptions{m_nWallSessions, {}});
    dlg.m_onWall = [&walls](const SiteFields* site, const std::vector<SiteFields>& sites) { walls.Open(site, sites); };
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
  WallLauncher walls(WallOptions{m_nWallSessions, {}});
  walls.Open(chosen, sites);
  return QApplication::exec();
}

}  // namespace lv
