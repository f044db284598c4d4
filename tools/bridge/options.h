#pragma once
// The bridge's command line and where its sites come from.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "feed.h"
#include "http_server.h"

namespace lvbridge {

struct DvrArgument {
  std::string name, address, user;
  int port = 0;
  std::string passwordFile;  // empty: no password
};

// The MQTT broker the bridge reports to (empty host: none).
struct MqttOptions {
  std::string host;
  int port = 1883;
  std::string user;
  std::string passwordFile;
  std::string password;  // read from passwordFile by ResolveSites
  std::string id;        // the bridge's id in topics; empty: from the host name
};

// A channel whose motion is watched: site and 1-based channel.
struct MotionChannel {
  std::string site;
  int channel = 0;
  std::string settings;  // the detector's settings text; empty: Options::motionSettings
};

struct Options {
  ServerOptions server;
  MqttOptions mqtt;
  bool motionAll = false;
  std::string motionSettings;  // for every watched channel without its own; empty: the defaults
  std::vector<MotionChannel> motion;
  std::optional<std::filesystem::path> recordFolder;
  double recordMaxGib = 0;  // 0: no limit
  std::vector<std::string> siteNames;  // from the store; empty with no --dvr: all of them
  std::vector<DvrArgument> dvrs;
  std::string tokenFile;
  std::optional<std::filesystem::path> storeFolder;
  Timing timing;
  bool help = false;
  bool version = false;  // --version: print the version and stop
};

std::string Usage();
std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string* error);

// The first line of a file, without its line end; false with *error set when
// the file cannot be read or the line is empty.
bool ReadSecretFile(const std::string& path, std::string* secret, std::string* error);

// The sites the options name: store sites by name (all of them when none is
// named and no --dvr is given), then the --dvr sites with their passwords
// read from their files. Also reads the token file into options->server.token.
// False with *error set when a name is unknown or a file cannot be read, or
// when a non-loopback address is given without a token.
bool ResolveSites(Options* options, std::vector<SiteConfig>* sites, std::string* error);

}  // namespace lvbridge
