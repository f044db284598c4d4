// lorventa-dvrsim: the simulated DVR (and optionally the DDNS server) as a
// program, for the demo and for trying the client by hand.
#include <csignal>
#include <cstdio>
#include <optional>
#include <pthread.h>

#include "dvrsim/command_line.h"
#include "dvrsim/ddns_server.h"
#include "dvrsim/simulator.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--version") {
    std::printf("lorventa-dvrsim %s\n", LORVENTA_VERSION);
    return 0;
  }
  std::string error;
  const std::optional<dvrsim::Options> options = dvrsim::ParseCommandLine(args, &error);
  if (!options) {
    std::fprintf(stderr, "lorventa-dvrsim: %s\n\n%s", error.c_str(), dvrsim::Usage().c_str());
    return 2;
  }
  if (options->help) {
    std::fputs(dvrsim::Usage().c_str(), stdout);
    return 0;
  }

  // Block the stop signals in every thread, then wait for them here.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  const dvrsim::Config& cfg = options->config;
  dvrsim::Simulator dvr(cfg);
  if (!dvr.Start(options->port)) {
    std::fprintf(stderr, "lorventa-dvrsim: %s\n", dvr.Error().c_str());
    return 1;
  }
  std::optional<dvrsim::DdnsServer> ddns;
  if (options->ddnsPort) {
    ddns.emplace(options->ddnsMap);
    if (!ddns->Start(*options->ddnsPort)) {
      std::fprintf(stderr, "lorventa-dvrsim: DDNS: %s\n", ddns->Error().c_str());
      return 1;
    }
    std::printf("lorventa-dvrsim: DDNS listening on 127.0.0.1:%u\n", ddns->Port());
  }
  std::printf("lorventa-dvrsim: listening on 127.0.0.1:%u (%u channels, %dx%d at %d fps)\n", dvr.Port(),
              cfg.channelCount, cfg.width, cfg.height, cfg.fps);
  std::fflush(stdout);

  int sig = 0;
  sigwait(&stopSignals, &sig);
  if (ddns) ddns->Stop();
  dvr.Stop();
  std::fprintf(stderr, "lorventa-dvrsim: stopped (%llu pictures sent)\n",
               static_cast<unsigned long long>(dvr.FramesSent()));
  return 0;
}
