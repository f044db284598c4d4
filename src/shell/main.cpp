// The lorventa program: the command line is read before any window system is
// touched; then the application object runs the site list.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "protocol/text.h"
#include "shell/client_app.h"
#include "shell/command_line.h"
#include "shell/termination_cleanup.h"
#include "sites/site_list_dialog.h"
#include "sites/site_store.h"

namespace {

// The one application object of the program.
lv::CClientApp theApp;

constexpr char kSettingsFile[] = "settings";

void PrintUsage() {
  const std::string folder = lv::DefaultSiteStoreFolder().string();
  std::printf(
      "Usage: lorventa [--help] [--version] [--demo PORT] [--ddns HOST[:PORT]] [--no-reconnect]\n"
      "                [--wall [SITE]]\n"
      "\n"
      "Shows live pictures from networked CCTV video recorders (DVRs). The sites\n"
      "you register are kept in %s/%s.\n"
      "\n"
      "Options:\n"
      "  -h, --help              print this help and exit\n"
      "      --version           print the version and exit\n"
      "      --demo PORT         use a site list of its own (a new temporary folder;\n"
      "                          your sites are not touched) holding the demo site, a\n"
      "                          simulated DVR on 127.0.0.1:PORT, and connect to it\n"
      "      --ddns HOST[:PORT]  the DDNS server that turns DVR identifiers into\n"
      "                          addresses (default: the ddns setting, else %s:%u)\n"
      "      --no-reconnect      after a lost link the site view waits for you\n"
      "                          instead of trying again by itself\n"
      "      --wall [SITE]       every channel of the stored site SITE at once, or\n"
      "                          with no SITE one tile per stored site\n"
      "\n"
      "Settings, 'key=value' lines in %s/%s:\n"
      "  ddns=HOST[:PORT]        the DDNS server\n"
      "  reconnect=on|off        whether the site view reconnects by itself (on)\n"
      "  wall-sessions=N         the most sessions a wall opens to one DVR, 1..16 (16)\n"
      "  motion.SITE=on|off      watch SITE's channels for motion (off)\n"
      "  motion-notify.SITE=on|off  a desktop notification when motion starts (off)\n"
      "  motion-clips.SITE=on|off   keep clips of the motion (on while watched)\n"
      "  motion-channel.N.SITE=on[,sensitivity=1..100][,area=PERCENT][,hold=MS]\n"
      "                          [,ignore=X:Y:W:H;...]  channel N's detector, or off\n"
      "  clips-folder=PATH       where clips go (default $XDG_VIDEOS_DIR/Lorventa/SITE)\n"
      "  clips-max-gib=G         the most the clips of one site may take (10)\n"
      "\n"
      "Environment:\n"
      "  XDG_CONFIG_HOME         the sites are kept in $XDG_CONFIG_HOME/lorventa\n"
      "                          (default ~/.config/lorventa); set it to use another list\n",
      folder.c_str(), lv::SiteStore::kFileName, lv::kDdnsHost, unsigned{lv::kDdnsPort}, folder.c_str(), kSettingsFile);
}

}  // namespace

int main(int argc, char** argv) {
  const lv::CommandLine line = lv::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (line.action) {
    case lv::CommandLine::Action::Help: PrintUsage(); return 0;
    case lv::CommandLine::Action::Version: std::printf("lorventa %s\n", LORVENTA_VERSION); return 0;
    case lv::CommandLine::Action::Error:
      std::fprintf(stderr, "lorventa: %s\nTry 'lorventa --help'.\n", line.error.c_str());
      return 2;
    case lv::CommandLine::Action::Run: break;
  }
  std::string settingsError;
  const auto stored = lv::ReadDdnsSetting(lv::DefaultSiteStoreFolder() / kSettingsFile, &settingsError);
  if (!settingsError.empty()) std::fprintf(stderr, "lorventa: %s (ignored)\n", settingsError.c_str());
  if (const auto ddns = line.ddns ? line.ddns : stored) lv::SetDdnsServer(ddns->host, ddns->port);
  std::string reconnectError;
  const auto reconnect = lv::ReadReconnectSetting(lv::DefaultSiteStoreFolder() / kSettingsFile, &reconnectError);
  if (!reconnectError.empty()) std::fprintf(stderr, "lorventa: %s (ignored)\n", reconnectError.c_str());
  theApp.m_bAutoReconnect = !line.noReconnect && reconnect.value_or(true);
  std::string wallError;
  const auto wallSessions = lv::ReadWallSessionsSetting(lv::DefaultSiteStoreFolder() / kSettingsFile, &wallError);
  if (!wallError.empty()) std::fprintf(stderr, "lorventa: %s (ignored)\n", wallError.c_str());
  theApp.m_nWallSessions = wallSessions.value_or(16);
  std::string motionError;
  theApp.m_motionSetup = lv::ReadMotionSetup(lv::DefaultSiteStoreFolder() / kSettingsFile, &motionError);
  if (!motionError.empty()) std::fprintf(stderr, "lorventa: %s (ignored)\n", motionError.c_str());

  // The application object sees only the window system's options.
  std::vector<char*> qtArgv{argv[0]};
  std::vector<std::string> qtArgs = line.windowSystemArgs;
  for (std::string& a : qtArgs) qtArgv.push_back(a.data());
  int qtArgc = static_cast<int>(qtArgv.size());
  qtArgv.push_back(nullptr);
  QApplication app(qtArgc, qtArgv.data());
  std::optional<lv::TerminationCleanup> demoCleanup;
  if (line.demoPort) {
    // A store of its own: the user's sites are never touched by the demo.
    std::error_code noTmp;
    std::filesystem::path tmp = std::filesystem::temp_directory_path(noTmp);
    std::string folder = ((noTmp ? std::filesystem::path("/tmp") : tmp) / "lorventa-demo-XXXXXX").string();
    if (!mkdtemp(folder.data())) {
      std::fprintf(stderr, "lorventa: cannot make a folder for the demo's sites\n");
      return 1;
    }
    theApp.m_storeFolder = folder;
    theApp.m_startSite = lv::StartSite{u"Demo DVR", u"127.0.0.1", *line.demoPort, u"admin", u"1234"};
    demoCleanup.emplace(theApp.m_storeFolder);  // it holds the demo's password
  }
  // --wall [SITE]: a site's wall, or every site's, instead of the list.
  if (line.wall) theApp.m_wallSite = lv::Utf8ToUtf16(*line.wall);
  QApplication::setApplicationName(QStringLiteral("Lorventa"));
  QApplication::setApplicationVersion(QStringLiteral(LORVENTA_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("lorventa"));
  QApplication::setWindowIcon(lv::LoadGroupIcon(lv::IDI_APP_ICON));
  const int status = theApp.InitInstance();
  std::error_code ignored;
  if (line.demoPort) std::filesystem::remove_all(theApp.m_storeFolder, ignored);  // the demo's own sites
  return status;
}
