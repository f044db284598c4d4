#include <QCoreApplication>
#include <cstdio>

#include "probe.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(lvprobe::Usage().c_str(), stdout);
    return 0;
  }
  if (!args.empty() && args[0] == "--version") {
    std::printf("lorventa-probe %s\n", LORVENTA_VERSION);
    return 0;
  }
  std::string error;
  auto options = lvprobe::ParseArguments(args, &error);
  if (options && !lvprobe::ReadPasswordFile(&*options, stdin, &error)) {
    std::fprintf(stderr, "lorventa-probe: %s\n", error.c_str());
    return lvprobe::kUsage;
  }
  if (!options) {
    std::fprintf(stderr, "lorventa-probe: %s\n%s", error.c_str(), lvprobe::Usage().c_str());
    return lvprobe::kUsage;
  }
  return lvprobe::RunProbe(*options, stdout, stderr);
}
