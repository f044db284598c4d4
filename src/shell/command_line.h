#pragma once
// The lorventa program's command line, read before the window system is
// touched: usage, the version and every misuse are answered without a
// display. The window system's own options (-platform, -style, ...) are left
// for the application object.
#include <cstdint>
#include <filesystem>
#include <map>
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

// Motion watching, from the same file. Every site is off unless asked for:
//   motion.SITE=on|off            watch the site's channels (and keep clips)
//   motion-clips.SITE=on|off      keep clips of its events (on while watched)
//   motion-notify.SITE=on|off     a desktop notification when an event starts (off)
//   motion-channel.N.SITE=TEXT    channel N's (1..16) detector settings, kept as written
//   clips-folder=PATH             where clips go ("~/" is the home folder);
//                                 default $XDG_VIDEOS_DIR/Lorventa
//   clips-max-gib=G               the most the clips of one site may take (10)
// SITE is the stored name as UTF-8, whatever it holds after the prefix.
struct MotionSetup {
  struct Site {
    bool watch = false;
    bool clips = true;
    bool notify = false;
    std::map<int, std::string> channels;  // 0-based channel: its settings text
  };
  std::filesystem::path clipsFolder;
  std::uint64_t clipsMaxBytes = std::uint64_t{10} << 30;
  std::map<std::string, Site> sites;

  bool Watching(const std::string& site) const;
  bool KeepsClips(const std::string& site) const;  // watched, with clips on
  bool Notifies(const std::string& site) const;
  // The channel's (0-based) settings text as written; empty for the defaults.
  std::string ChannelText(const std::string& site, int channel) const;
  // clipsFolder/SITE, the name made safe for a folder.
  std::filesystem::path SiteClipsFolder(const std::string& site) const;
};

// The user's videos folder as a desktop finds it: $XDG_VIDEOS_DIR, else the
// XDG_VIDEOS_DIR line of $XDG_CONFIG_HOME/user-dirs.dirs, else ~/Videos.
std::filesystem::path UserVideosDir();

// Bad lines are skipped (their defaults kept) and named in *error.
MotionSetup ReadMotionSetup(const std::filesystem::path& file, std::string* error);

}  // namespace lv
