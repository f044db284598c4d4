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
#include "log.h"
#include "mqtt_client.h"
#include "motion_watch.h"
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
    lvbridge::Log(error);
    std::fputs(lvbridge::Usage().c_str(), stderr);
    return 1;
  }
  if (options->help) {
    std::fputs(lvbridge::Usage().c_str(), stdout);
    return 0;
  }
  std::vector<lvbridge::SiteConfig> sites;
  if (!lvbridge::ResolveSites(&*options, &sites, &error)) {
    lvbridge::Log(error);
    return 1;
  }
  if (sites.empty()) lvbridge::Log("no sites to serve");

  lvbridge::Bridge bridge(std::move(sites), options->timing);
  if (!lvbridge::StartMotionWatch(bridge, *options, &error)) {
    lvbridge::Log(error);
    return 1;
  }
  lvbridge::HttpServer server(bridge, options->server);
  if (!server.Start(&error)) {
    lvbridge::Log(error);
    return 1;
  }
  const bool v6 = options->server.address.find(':') != std::string::npos;
  std::printf("lorventa-bridge: listening on http://%s%s%s:%d/\n", v6 ? "[" : "", options->server.address.c_str(),
              v6 ? "]" : "", server.Port());
  std::fflush(stdout);

  std::unique_ptr<lvbridge::MqttReporter> mqtt;
  if (!options->mqtt.host.empty()) {
    // Links announced to MQTT name this machine when the bridge listens on every address.
    std::string host = options->server.address;
    if (host == "0.0.0.0" || host == "::") {
      char name[256] = {};
      host = gethostname(name, sizeof name - 1) == 0 ? name : "localhost";
    }
    const bool bracket = host.find(':') != std::string::npos;
    const std::string base = "http://" + (bracket ? "[" + host + "]" : host) + ":" + std::to_string(server.Port());
    mqtt = std::make_unique<lvbridge::MqttReporter>(bridge, options->mqtt, base);
    if (!mqtt->Start(&error)) {
      lvbridge::Log(error);
      return 1;
    }
  }

  if (socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return 1;
  QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);
  const int status = app.exec();
  if (mqtt) mqtt->Stop();
  server.Stop();
  bridge.Shutdown();
  return status;
}
