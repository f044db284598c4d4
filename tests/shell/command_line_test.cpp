// The program's command line and settings file, without running the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QByteArray>

#include "shell/command_line.h"

namespace {

using Action = lv::CommandLine::Action;

TEST(CommandLine, OptionsTheProgramTakesAndThoseItLeavesToTheWindowSystem) {
  const struct {
    std::vector<std::string> args;
    Action action;
    int demoPort;             // 0: none
    std::string ddns;         // "host:port", empty: none
    std::size_t windowArgs;  // passed on
  } cases[] = {
      {{}, Action::Run, 0, "", 0},
      {{"--demo", "9300", "--ddns", "dd.test"}, Action::Run, 9300, "dd.test:8245", 0},
      {{"--ddns", "10.0.0.1:81", "-platform", "offscreen", "--style=fusion", "-reverse"}, Action::Run, 0,
       "10.0.0.1:81", 4},
      {{"-platform", "offscreen", "--version"}, Action::Version, 0, "", 2},
      {{"--bogus", "--help"}, Action::Error, 0, "", 0},
      {{"--ddns", ":81"}, Action::Error, 0, "", 0},
      {{"-reverse=1"}, Action::Error, 0, "", 0},
      {{"plain"}, Action::Error, 0, "", 0},
  };
  for (const auto& c : cases) {
    const lv::CommandLine line = lv::ParseCommandLine(c.args);
    SCOPED_TRACE(c.args.empty() ? "" : c.args[0] + " " + line.error);
    EXPECT_EQ(line.action, c.action);
    EXPECT_EQ(line.error.empty(), c.action != Action::Error);
    EXPECT_EQ(line.demoPort.value_or(0), c.demoPort);
    EXPECT_EQ(line.ddns ? line.ddns->host + ":" + std::to_string(line.ddns->port) : "", c.ddns);
    EXPECT_EQ(line.windowSystemArgs.size(), c.windowArgs);
  }
}

TEST(CommandLine, TheDdnsServerSetting) {
  const auto file = std::filesystem::temp_directory_path() / ("lorventa-settings-" + std::to_string(::getpid()));
  const struct {
    const char* text;
    std::string ddns;  // "host:port", empty: none
    bool bad;
  } cases[] = {
      {"# comment\n\nother=1\nddns=dd.example:9000\r\n", "dd.example:9000", false},
      {"ddns=dd.example\n", "dd.example:8245", false},
      {"other=1\n", "", false},
      {"ddns=dd.example:70000\n", "", true},
  };
  for (const auto& c : cases) {
    std::ofstream(file) << c.text;
    std::string error;
    const auto server = lv::ReadDdnsSetting(file, &error);
    EXPECT_EQ(server ? server->host + ":" + std::to_string(server->port) : "", c.ddns) << c.text;
    EXPECT_EQ(!error.empty(), c.bad) << c.text;
  }
  const struct {
    const char* text;
    std::optional<bool> on;
    bool bad;
  } reconnects[] = {{"reconnect=off\n", false, false}, {"reconnect=on\r\n", true, false},
                    {"ddns=x\n", std::nullopt, false}, {"reconnect=maybe\n", std::nullopt, true}};
  for (const auto& c : reconnects) {
    std::ofstream(file) << c.text;
    std::string error;
    EXPECT_EQ(lv::ReadReconnectSetting(file, &error), c.on) << c.text;
    EXPECT_EQ(!error.empty(), c.bad) << c.text;
  }
  for (const auto& [text, sessions] : std::vector<std::pair<const char*, std::optional<int>>>{
           {"wall-sessions=4\n", 4}, {"wall-sessions=17\n", std::nullopt}, {"wall-sessions=x\n", std::nullopt}}) {
    std::ofstream(file) << text;
    std::string error;
    EXPECT_EQ(lv::ReadWallSessionsSetting(file, &error), sessions) << text;
    EXPECT_EQ(error.empty(), sessions.has_value()) << text;
  }
  EXPECT_TRUE(lv::ParseCommandLine({"--no-reconnect"}).noReconnect);
  EXPECT_EQ(lv::ParseCommandLine({"--wall", "Shop"}).wall, "Shop");
  EXPECT_EQ(lv::ParseCommandLine({"--wall", "--no-reconnect"}).wall, "");
  EXPECT_FALSE(lv::ParseCommandLine({}).noReconnect);
  std::filesystem::remove(file);
  std::string error;
  EXPECT_FALSE(lv::ReadDdnsSetting(file, &error)) << "no file, no setting";
  EXPECT_TRUE(error.empty());
}

TEST(CommandLine, MotionSettingsAndTheClipsFolder) {
  const auto root = std::filesystem::temp_directory_path() / ("lorventa-motion-" + std::to_string(::getpid()));
  std::filesystem::create_directories(root / "cfg");
  const auto file = root / "settings";
  const struct {
    const char* videosEnv;  // nullptr: unset
    const char* userDirs;   // the user-dirs.dirs file, nullptr: none
    const char* text;
    std::string folder;  // expected clips folder, "~" for HOME
    double gib;
    bool watch, clips, notify;  // of site "Shop.1"
    std::string ch3;            // its channel 3 text
    bool bad;
  } cases[] = {
      {nullptr, nullptr, "other=1\n", "~/Videos/Lorventa", 10, false, true, false, "", false},
      {"/v", nullptr, "motion.Shop.1=on\nmotion-channel.3.Shop.1=on,sensitivity=70,ignore=0:0:100:8\n", "/v/Lorventa", 10,
       true, true, false, "on,sensitivity=70,ignore=0:0:100:8", false},
      {nullptr, "# x\nXDG_VIDEOS_DIR=\"$HOME/Filme\"\n", "motion-notify.Shop.1=on\nmotion.Shop.1=yes\n",
       "~/Filme/Lorventa", 10, true, true, true, "", false},
      {nullptr, nullptr, "clips-folder=~/cl\nclips-max-gib=0.5\nmotion-clips.Shop.1=off\n",
       "~/cl", 0.5, false, false, false, "", false},
      {nullptr, "XDG_VIDEOS_DIR=\"relative\"\n", "clips-folder=rel\nclips-max-gib=-1\nmotion.Shop.1=maybe\nmotion-channel.17.Shop.1=on\n",
       "~/Videos/Lorventa", 10, false, true, false, "", true},
  };
  const QByteArray home = qgetenv("HOME"), config = qgetenv("XDG_CONFIG_HOME"), videos = qgetenv("XDG_VIDEOS_DIR");
  qputenv("HOME", QByteArray::fromStdString(root.string()));
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((root / "cfg").string()));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    if (c.videosEnv) qputenv("XDG_VIDEOS_DIR", c.videosEnv);
    else qunsetenv("XDG_VIDEOS_DIR");
    std::filesystem::remove(root / "cfg" / "user-dirs.dirs");
    if (c.userDirs) std::ofstream(root / "cfg" / "user-dirs.dirs") << c.userDirs;
    std::ofstream(file) << c.text;
    std::string error;
    const lv::MotionSetup setup = lv::ReadMotionSetup(file, &error);
    const std::string folder = c.folder[0] == '~' ? root.string() + c.folder.substr(1) : c.folder;
    EXPECT_EQ(setup.clipsFolder, folder);
    EXPECT_EQ(setup.SiteClipsFolder("Shop.1"), std::filesystem::path(folder) / "Shop.1");
    EXPECT_EQ(setup.clipsMaxBytes, static_cast<std::uint64_t>(c.gib * (1 << 30)));
    EXPECT_EQ(setup.Watching("Shop.1"), c.watch);
    EXPECT_EQ(setup.KeepsClips("Shop.1"), c.watch && c.clips);
    EXPECT_EQ(setup.Notifies("Shop.1"), c.notify);
    EXPECT_EQ(setup.ChannelText("Shop.1", 2), c.ch3);
    EXPECT_FALSE(setup.Watching("Shop")) << "another site stays off";
    EXPECT_EQ(!error.empty(), c.bad) << error;
  }
  qputenv("HOME", home);
  qputenv("XDG_CONFIG_HOME", config);
  if (videos.isNull()) qunsetenv("XDG_VIDEOS_DIR");
  else qputenv("XDG_VIDEOS_DIR", videos);
  std::filesystem::remove_all(root);
}

}  // namespace
