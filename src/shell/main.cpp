// The lorventa program: --help and --version are answered before any window
// system is touched; otherwise the application object runs the site list.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "protocol/text.h"
#include "shell/client_app.h"
#include "sites/site_list_dialog.h"
#include "sites/site_store.h"

namespace {

// The one application object of the program.
lv::CClientApp theApp;

void PrintUsage() {
  const std::string folder = lv::DefaultSiteStoreFolder().string();
  std::printf(
      "Usage: lorventa [--help] [--version] [--demo PORT] [--wall [SITE]]\n"
      "\n"
      "Shows live pictures from networked CCTV video recorders (DVRs). The sites\n"
      "you register are kept in %s/%s.\n"
      "\n"
      "Options:\n"
      "  -h, --help     print this help and exit\n"
      "      --version  print the version and exit\n"
      "      --demo PORT  use a site list of its own (a new temporary folder;\n"
      "                 your sites are not touched) holding the demo site, a\n"
      "                 simulated DVR on 127.0.0.1:PORT, and connect to it\n"
      "      --wall [SITE]  every channel of the stored site SITE at once, or\n"
      "                 with no SITE one tile per stored site\n"
      "\n"
      "Environment:\n"
      "  XDG_CONFIG_HOME  the sites are kept in $XDG_CONFIG_HOME/lorventa\n"
      "                   (default ~/.config/lorventa); set it to use another list\n",
      folder.c_str(), lv::SiteStore::kFileName);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintUsage();
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("lorventa %s\n", LORVENTA_VERSION);
      return 0;
    }
  }

  QApplication app(argc, argv);  // takes the window system's own options (-platform, ...)
  int argi = 1;
  if (argc > 2 && std::strcmp(argv[1], "--demo") == 0) {
    const int port = std::atoi(argv[2]);
    if (port < 1 || port > 65535) {
      std::fprintf(stderr, "lorventa: --demo needs a port (1..65535)\n");
      return 2;
    }
    // A store of its own: the user's sites are never touched by the demo.
    char folder[] = "/tmp/lorventa-demo-XXXXXX";
    if (!mkdtemp(folder)) {
      std::fprintf(stderr, "lorventa: cannot make a folder for the demo's sites\n");
      return 1;
    }
    theApp.m_storeFolder = folder;
    theApp.m_startSite = lv::StartSite{u"Demo DVR", u"127.0.0.1", port, u"admin", u"1234"};
    argi = 3;
  }
  // --wall [SITE]: a site's wall, or every site's, instead of the list.
  if (argc > argi && std::strcmp(argv[argi], "--wall") == 0) {
    const bool named = argc > argi + 1;
    theApp.m_wallSite = named ? lv::Utf8ToUtf16(argv[argi + 1]) : std::u16string();
    argi += named ? 2 : 1;
  }
  if (argc > argi) {
    std::fprintf(stderr, "lorventa: unknown option '%s'\nTry 'lorventa --help'.\n", argv[argi]);
    return 2;
  }
  QApplication::setApplicationName(QStringLiteral("Lorventa"));
  QApplication::setApplicationVersion(QStringLiteral(LORVENTA_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("lorventa"));
  QApplication::setWindowIcon(lv::LoadGroupIcon(lv::IDI_APP_ICON));
  const int status = theApp.InitInstance();
  std::error_code ignored;
  if (argi == 3) std::filesystem::remove_all(theApp.m_storeFolder, ignored);  // the demo's own sites
  return status;
}
