#include "shell/command_line.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <utility>

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

// Every "key=value" line in order (split at the first '='); blank and '#' lines skipped.
std::vector<std::pair<std::string, std::string>> SettingLines(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<std::pair<std::string, std::string>> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t eq = line.find('=');
    if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
    lines.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return lines;
}

// The last value of key in the settings file; nullopt when the file or the key is absent.
std::optional<std::string> SettingValue(const std::filesystem::path& file, const std::string& key) {
  std::optional<std::string> value;
  for (auto& [k, v] : SettingLines(file))
    if (k == key) value = std::move(v);
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

namespace {

std::optional<bool> OnOff(const std::string& v) {
  if (v == "on" || v == "yes" || v == "true" || v == "1") return true;
  if (v == "off" || v == "no" || v == "false" || v == "0") return false;
  return std::nullopt;
}

std::filesystem::path Home() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/";
}

// "$HOME/x", "${HOME}/x" and "~/x" start in the home folder.
std::filesystem::path ExpandHome(std::string path) {
  for (std::string_view prefix : {"$HOME", "${HOME}", "~"}) {
    if (path.rfind(prefix, 0) == 0 && (path.size() == prefix.size() || path[prefix.size()] == '/'))
      return Home().string() + path.substr(prefix.size());
  }
  return path;
}

// A channel number 1..16 as the whole of text; -1 otherwise.
int ChannelNumber(std::string_view text) {
  if (text.empty() || text.size() > 2 || text[0] == '0') return -1;
  int n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n >= 1 && n <= 16 ? n : -1;
}

void Note(std::string* error, const std::filesystem::path& file, const std::string& what) {
  if (!error) return;
  if (!error->empty()) *error += "; ";
  *error += file.string() + ": " + what;
}

}  // namespace

std::filesystem::path UserVideosDir() {
  if (const char* env = std::getenv("XDG_VIDEOS_DIR"); env && *env) return ExpandHome(env);
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::filesystem::path dirs =
      (config && *config ? std::filesystem::path(config) : Home() / ".config") / "user-dirs.dirs";
  std::ifstream in(dirs);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("XDG_VIDEOS_DIR=", 0) != 0) continue;
    std::string value = line.substr(15);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    // Only a home-relative or absolute path is valid in that file.
    if (!value.empty() && (value[0] == '/' || value.rfind("$HOME", 0) == 0)) return ExpandHome(value);
  }
  return Home() / "Videos";
}

bool MotionSetup::Watching(const std::string& site) const {
  const auto it = sites.find(site);
  return it != sites.end() && it->second.watch;
}

bool MotionSetup::KeepsClips(const std::string& site) const {
  const auto it = sites.find(site);
  return it != sites.end() && it->second.watch && it->second.clips;
}

bool MotionSetup::Notifies(const std::string& site) const {
  const auto it = sites.find(site);
  return it != sites.end() && it->second.watch && it->second.notify;
}

std::string MotionSetup::ChannelText(const std::string& site, int channel) const {
  const auto it = sites.find(site);
  if (it == sites.end()) return {};
  const auto ch = it->second.channels.find(channel);
  return ch == it->second.channels.end() ? std::string() : ch->second;
}

std::filesystem::path MotionSetup::SiteClipsFolder(const std::string& site) const {
  std::string name = site;
  for (char& c : name)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
  if (name.empty() || name == "." || name == "..") name = "site";
  return clipsFolder / name;
}

MotionSetup ReadMotionSetup(const std::filesystem::path& file, std::string* error) {
  MotionSetup setup;
  setup.clipsFolder = UserVideosDir() / "Lorventa";
  for (const auto& [key, value] : SettingLines(file)) {
    if (key == "clips-folder") {
      const std::filesystem::path folder = ExpandHome(value);
      if (folder.is_absolute()) setup.clipsFolder = folder;
      else Note(error, file, "clips-folder must be an absolute path, not '" + value + "'");
    } else if (key == "clips-max-gib") {
      char* end = nullptr;
      errno = 0;
      const double gib = std::strtod(value.c_str(), &end);
      if (!value.empty() && errno == 0 && *end == '\0' && std::isfinite(gib) && gib > 0 && gib <= 1e6)
        setup.clipsMaxBytes = static_cast<std::uint64_t>(gib * static_cast<double>(std::uint64_t{1} << 30));
      else
        Note(error, file, "clips-max-gib must be a size in GiB above 0, not '" + value + "'");
    } else if (key.rfind("motion-channel.", 0) == 0) {
      const std::size_t dot = key.find('.', 15);
      const int channel = dot == std::string::npos ? -1 : ChannelNumber(std::string_view(key).substr(15, dot - 15));
      if (channel > 0 && dot + 1 < key.size()) setup.sites[key.substr(dot + 1)].channels[channel - 1] = value;
      else Note(error, file, "'" + key + "' names no channel 1..16 and site");
    } else {
      bool MotionSetup::Site::*field = nullptr;
      std::size_t prefix = 0;
      for (const auto& [name, member] : {std::pair{std::string_view("motion."), &MotionSetup::Site::watch},
                                         std::pair{std::string_view("motion-clips."), &MotionSetup::Site::clips},
                                         std::pair{std::string_view("motion-notify."), &MotionSetup::Site::notify}})
        if (key.size() > name.size() && key.rfind(name, 0) == 0) field = member, prefix = name.size();
      if (!field) continue;  // a key of another part of the program
      if (const auto on = OnOff(value)) setup.sites[key.substr(prefix)].*field = *on;
      else Note(error, file, key + " must be on or off, not '" + value + "'");
    }
  }
  return setup;
}

}  // namespace lv
