#pragma once
// CClientApp: the program's application object. Its start-up prepares the
// process for sockets, then runs the site list as the main window until the
// user closes it; the site list's modal run is the program's only message
// loop. Nothing it starts outlives the run: the network connection's watcher
// is released and the site view's threads end with each viewing.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "shell/command_line.h"
#include "sites/site_list_dialog.h"
#include "sites/site_network.h"

namespace lv {

class MotionDesk;
class WallLauncher;

// Resource string 103: shown when sockets cannot be used.
inline constexpr char16_t kSocketsFailedText[] = u"Windows sockets initialization failed.";

// What the process needs before sockets can be used: a write to a peer that
// has gone must fail with an error instead of ending the process (SIGPIPE is
// ignored), and a TCP socket can be made. False when it cannot.
bool PrepareSockets();

// The data connection of the system, for the site list.
std::unique_ptr<ISiteNetwork> MakeSystemNetwork();

class CClientApp {
 public:
  CClientApp();
  ~CClientApp();
  CClientApp(const CClientApp&) = delete;
  CClientApp& operator=(const CClientApp&) = delete;

  // Start-up, on the process's main thread with the application object of
  // the window layer made: the sockets check (its failure shows the message
  // box and nothing else), then the site list until it closes. Returns the
  // process's exit status: 0 after the site list closed, 1 when sockets
  // cannot be used.
  int InitInstance();

  // The site list while it runs, or nullptr.
  CDlg_SiteList* MainWindow() const { return m_pMainWnd; }
  // Where motion events go while the program runs (the site list's or the
  // wall's run), or nullptr: MotionEvents()->OnEvent(event) from any thread.
  MotionDesk* MotionEvents() const { return m_pMotionDesk; }
  // Called once the desk is made, before any window shows (to start the
  // motion watchers and set its saveClip); and as it is about to go.
  std::function<void(MotionDesk& desk)> m_onMotionDesk;
  std::function<void(MotionDesk& desk)> m_onMotionDeskEnd;

  // What start-up uses; tests replace them before InitInstance.
  std::function<bool()> m_socketsCheck = &PrepareSockets;
  std::function<std::unique_ptr<ISiteNetwork>()> m_makeNetwork = &MakeSystemNetwork;
  // Empty: the user's store folder ($XDG_CONFIG_HOME/lorventa), read at start-up.
  std::filesystem::path m_storeFolder;
  // Set: the site list connects to this site once it is up (the demo).
  std::optional<StartSite> m_startSite;
  // The site view reconnects by itself after a lost link.
  bool m_bAutoReconnect = true;
  // The most sessions a wall opens to one DVR (some refuse more logins).
  int m_nWallSessions = 16;
  // Set: instead of the site list, the wall of the stored site of this name,
  // or the sites wall when it is empty; the program ends with the wall.
  std::optional<std::u16string> m_wallSite;
  // Motion watching and notifications per site, and where clips go.
  MotionSetup m_motionSetup;

 private:
  int RunWall(const std::u16string& name);
  // The desk for one run: its notifier when a site wants notifications.
  struct MotionRun;
  std::unique_ptr<MotionRun> StartMotion(CDlg_SiteList* list, WallLauncher& walls);

  CDlg_SiteList* m_pMainWnd = nullptr;
  MotionDesk* m_pMotionDesk = nullptr;
};

}  // namespace lv
