#include "shell/command_line.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string_view>

namespace lv {
namespace {

// Options the application object takes itself, with one dash or two.
constexpr std::array<std::string_view, 14> kWindowSystemValued = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle",
    "session",  "display",            "geometry",      "title",  "name",            "style",       "stylesheet"};
constexpr std::array<std::string_view, 5> kWindowSystemFlags = {"reverse", "widgetcount", "nograb", "dograb",
                                                                "testability"};

template <std::size_t N>
bool Among(const std::array<std::string_view, N>& names, std::string_view name) {
  for (std::string_view n : names)
    if (n == name) return true;
  return false;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine c;
  auto fail = [&c](std::string text) {
    c.action = CommandLine::Action::Error;
    c.error = std::move(text);
    return c;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") return c.action = CommandLine::Action::Help, c;
    if (a == "--version") return c.action = CommandLine::Action::Version, c;
    if (a == "--wall") {
      // The site's name is optional: the next argument unless it is an option.
      const bool named = i + 1 < args.size() && !args[i + 1].starts_with("-");
      c.wall = named ? args[++i] : std::string();
      continue;
    }
    if (a == "--no-reconnect") {
      c.noReconnect = true;
      continue;
    }
    if (a == "--demo" || a == "--ddns") {
      if (i + 1 >= args.size())
        return fail(a == "--demo" ? "--demo needs a port (1..65535)" : "--ddns needs HOST[:PORT]");
      const std::string& v = args[++i];
      if (a == "--ddns") {
        std::string error;
        c.ddns = ParseDdnsServer(v, &error);
        if (!c.ddns) return fail("--ddns: " + error);
        continue;
      }
      char* end = nullptr;
      errno = 0;
      const long port = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || errno != 0 || *end != '\0' || port < 1 || port > 65535)
        return fail("--demo needs a port (1..65535)");
      c.demoPort = static_cast<int>(port);
      continue;
    }
    // The window system's options: "-name", "--name", "-name value", "-name=value".
    std::string_view name = a;
    if (name.starts_with("--")) name.remove_prefix(2);
    else if (name.starts_with("-")) name.remove_prefix(1);
    else return fail("unknown option '" + a + "'");
    const std::size_t eq = name.find('=');
    const bool valued = Among(kWindowSystemValued, name.substr(0, eq));
    if (!valued && !(eq == std::string_view::npos && Among(kWindowSystemFlags, name)))
      return fail("unknown option '" + a + "'");
    c.windowSystemArgs.push_back(a);
    if (valued && eq == std::string_view::npos) {
      if (i + 1 >= args.size()) return fail(a + " needs a value");
      c.windowSystemArgs.push_back(args[++i]);
    }
  }
  return c;
}

namespace {

// The last value of "key=value" lines for key in the settings file; nullopt
// when the file or the key is absent. Blank and '#' lines never match.
std::optional<std::string> SettingValue(const std::filesystem::path& file, const std::string& key) {
  std::ifstream in(file);
  std::optional<std::string> value;
  const std::string prefix = key + "=";
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(prefix, 0) == 0) value = line.substr(prefix.size());
  }
  return value;
}

}  // namespace

std::optional<DdnsServer> ReadDdnsSetting(const std::filesystem::path& file, std::string* error) {
  const auto value = SettingValue(file, "ddns");
  if (!value) return std::nullopt;
  auto server = ParseDdnsServer(*value, error);
  if (!server) *error = file.string() + ": " + *error;
  return server;
}

std::optional<int> ReadWallSessionsSetting(const std::filesystem::path& file, std::string* error) {
  const auto v = SettingValue(file, "wall-sessions");
  if (!v) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(v->c_str(), &end, 10);
  if (!v->empty() && errno == 0 && *end == '\0' && n >= 1 && n <= 16) return static_cast<int>(n);
  *error = file.string() + ": wall-sessions must be 1..16, not '" + *v + "'";
  return std::nullopt;
}

std::optional<bool> ReadReconnectSetting(const std::filesystem::path& file, std::string* error) {
  const auto v = SettingValue(file, "reconnect");
  if (!v) return std::nullopt;
  if (*v == "on" || *v == "yes" || *v == "true" || *v == "1") return true;
  if (*v == "off" || *v == "no" || *v == "false" || *v == "0") return false;
  *error = file.string() + ": reconnect must be on or off, not '" + *v + "'";
  return std::nullopt;
}

}  // namespace lv
