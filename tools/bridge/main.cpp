// lorventa-bridge: serves DVR channels as MJPEG over HTTP. Runs headless on
// Qt Core's event loop until SIGINT or SIGTERM.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include "bridge.h"
#include "http_server.h"
#include "options.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 1;
  [[maybe_unused]] const auto n = write(g_signalPipe[1], &c, 1);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::string error;
  auto options = lvbridge::ParseArguments(std::vector<std::string>(argv + 1, argv + argc), &error);
  if (!options) {
    std::fprintf(stderr, "lorventa-bridge: %s\n%s", error.c_str(), lvbridge::Usage().c_str());
    return 1;
  }
  if (options->help) {
    std::fputs(lvbridge::Usage().c_str(), stdout);
    return 0;
  }
  std::vector<lvbridge::SiteConfig> sites;
  if (!lvbridge::ResolveSites(&*options, &sites, &error)) {
    std::fprintf(stderr, "lorventa-bridge: %s\n", error.c_str());
    return 1;
  }
  if (sites.empty()) std::fprintf(stderr, "lorventa-bridge: no sites to serve\n");

  lvbridge::Bridge bridge(std::move(sites), options->timing);
  lvbridge::HttpServer server(bridge, options->server);
  if (!server.Start(&error)) {
    std::fprintf(stderr, "lorventa-bridge: %s\n", error.c_str());
    return 1;
  }
  std::printf("lorventa-bridge: listening on http://%s:%d/\n", options->server.address.c_str(), server.Port());
  std::fflush(stdout);

  if (socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return 1;
  QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);
  const int status = app.exec();
  server.Stop();
  bridge.Shutdown();
  return status;
}
