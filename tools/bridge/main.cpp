// lorventa-bridge: serves DVR channels as MJPEG over HTTP. Runs headless on
// Qt Core's event loop until SIGINT or SIGTERM; as a service it tells its
// manager when it is ready, pings its watchdog from that loop (a wedged loop
// stops the pings) and says when it stops.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "bridge.h"
#include "config_file.h"
#include "http_server.h"
#include "log.h"
#include "motion_watch.h"
#include "mqtt_client.h"
#include "options.h"
#include "service.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 1;
  [[maybe_unused]] const auto n = write(g_signalPipe[1], &c, 1);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  // A stop asked for while starting ends the loop as soon as it runs.
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return 1;
  QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);

  std::string error;
  const auto args = lvbridge::ExpandConfig(std::vector<std::string>(argv + 1, argv + argc), &error);
  if (!args) {  // the file's own error says where
    lvbridge::Log(error, lvbridge::Priority::Error);
    return 1;
  }
  auto options = lvbridge::ParseArguments(*args, &error);
  if (!options) {
    lvbridge::Log(error, lvbridge::Priority::Error);
    std::fputs(lvbridge::WithConfigUsage(lvbridge::Usage()).c_str(), stderr);
    return 1;
  }
  if (options->version) {
    std::printf("lorventa-bridge %s\n", LORVENTA_VERSION);
    return 0;
  }
  if (options->help) {
    std::fputs(lvbridge::WithConfigUsage(lvbridge::Usage()).c_str(), stdout);
    return 0;
  }
  std::vector<lvbridge::SiteConfig> sites;
  if (!lvbridge::ResolveSites(&*options, &sites, &error)) {
    lvbridge::Log(error, lvbridge::Priority::Error);
    return 1;
  }
  if (sites.empty()) lvbridge::Log("no sites to serve", lvbridge::Priority::Warning);
  const std::size_t siteCount = sites.size();

  lvbridge::Bridge bridge(std::move(sites), options->timing);
  if (!lvbridge::StartMotionWatch(bridge, *options, &error)) {
    lvbridge::Log(error, lvbridge::Priority::Error);
    return 1;
  }
  lvbridge::HttpServer server(bridge, options->server);
  if (!server.Start(&error)) {
    lvbridge::Log(error, lvbridge::Priority::Error);
    return 1;
  }
  const bool v6 = options->server.address.find(':') != std::string::npos;
  const std::string url = "http://" + std::string(v6 ? "[" : "") + options->server.address + (v6 ? "]" : "") + ":" +
                          std::to_string(server.Port()) + "/";
  std::printf("lorventa-bridge: listening on %s\n", url.c_str());
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
      lvbridge::Log(error, lvbridge::Priority::Error);
      return 1;
    }
  }

  const auto status = [&] {
    return std::to_string(siteCount) + (siteCount == 1 ? " site" : " sites") + ", " +
           std::to_string(server.Streams()) + " streams open, on " + url;
  };
  lvbridge::NotifyReady(status());
  QTimer statusTimer;
  QObject::connect(&statusTimer, &QTimer::timeout, [&] { lvbridge::NotifyStatus(status()); });
  statusTimer.start(10000);
  QTimer watchdog;
  QObject::connect(&watchdog, &QTimer::timeout, &lvbridge::NotifyWatchdog);
  if (const auto interval = lvbridge::WatchdogPingInterval(); interval.count() > 0) {
    lvbridge::NotifyWatchdog();
    watchdog.start(interval);
  }

  const int exitCode = app.exec();
  lvbridge::NotifyStopping();
  if (mqtt) mqtt->Stop();
  server.Stop();
  bridge.Shutdown();
  return exitCode;
}
