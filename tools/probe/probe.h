#pragma once
// One check of one DVR site from the command line: connect, log in, report
// what the DVR says about itself, open a channel and save some pictures.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace lvprobe {

// Exit statuses, one per way a check can end.
enum Status : int {
  kOk = 0,
  kUsage = 1,
  kLookupFailed = 2,
  kDdnsFailed = 3,
  kConnectFailed = 4,  // refused or timed out
  kAccountRejected = 5,
  kNoPermission = 6,
  kNoCamera = 7,
  kDropped = 8,
  kTimedOut = 9,  // connected, but the DVR did not answer in time
  kOutputFailed = 10,
};

struct Options {
  std::string address;
  int port = 0;
  std::string user;
  std::string password;
  std::string passwordFile;  // read by ReadPasswordFile; "-" is standard input
  int channel = -1;  // -1: the one the site view would open
  int frames = 1;
  std::string outDir = ".";
  int timeoutSeconds = 10;
  std::optional<std::string> ddnsHost;
  std::optional<std::uint16_t> ddnsPort;
};

// Parses the arguments after the program name; nullopt and *error on misuse.
std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string* error);
std::string Usage();

// Puts the first line of options->passwordFile (of in when it is "-") into
// options->password; nothing to do without a file. False and *error when it
// cannot be read.
bool ReadPasswordFile(Options* options, std::FILE* in, std::string* error);

// Runs the check on the calling thread (which needs a Qt event loop object),
// writing the report to out and the failure line to err.
int RunProbe(const Options& options, std::FILE* out, std::FILE* err);

}  // namespace lvprobe
