// The lorventa program: --help and --version are answered before any window
// system is touched; otherwise the application object runs the site list.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <string>

#include "shell/client_app.h"
#include "sites/site_list_dialog.h"
#include "sites/site_store.h"

namespace {

// The one application object of the program.
lv::CClientApp theApp;

void PrintUsage() {
  const std::string folder = lv::DefaultSiteStoreFolder().string();
  std::printf(
      "Usage: lorventa [--help] [--version]\n"
      "\n"
      "Shows live pictures from networked CCTV video recorders (DVRs). The sites\n"
      "you register are kept in %s/%s.\n"
      "\n"
      "Options:\n"
      "  -h, --help     print this help and exit\n"
      "      --version  print the version and exit\n"
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
  if (argc > 1) {
    std::fprintf(stderr, "lorventa: unknown option '%s'\nTry 'lorventa --help'.\n", argv[1]);
    return 2;
  }
  QApplication::setApplicationName(QStringLiteral("Lorventa"));
  QApplication::setApplicationVersion(QStringLiteral(LORVENTA_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("lorventa"));
  QApplication::setWindowIcon(lv::LoadGroupIcon(lv::IDI_APP_ICON));
  return theApp.InitInstance();
}
