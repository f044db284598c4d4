#pragma once
// The lorventa program's command line, read before the window system is
// touched: usage, the version and every misuse are answered without a
// display. The window system's own options (-platform, -style, ...) are left
// for the application object.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "net/ddns.h"

namespace lv {

struct CommandLine {
  enum class Action { Run, Help, Version, Error };
  Action action = Action::Run;
  std::string error;  // Action::Error: what was wrong
  std::optional<int> demoPort;
  std::optional<DdnsServer> ddns;
  bool noReconnect = false;
  std::optional<std::string> wall;  // --wall [SITE]: the site's name, empty for every site
  std::vector<std::string> windowSystemArgs;  // for the application object, in order
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The settings file: "key=value" lines; blank lines and lines starting with
// '#' are skipped, as are keys it does not know. The DDNS server is "ddns";
// nullopt when the file or the key is absent. A bad value sets *error.
std::optional<DdnsServer> ReadDdnsSetting(const std::filesystem::path& file, std::string* error);
// "reconnect=on|off" (also yes/no, true/false, 1/0); nullopt when absent or
// not one of those (then *error says so).
std::optional<bool> ReadReconnectSetting(const std::filesystem::path& file, std::string* error);
// "wall-sessions=N" (1..16): the most sessions a wall opens to one DVR.
std::optional<int> ReadWallSessionsSetting(const std::filesystem::path& file, std::string* error);

}  // namespace lv
