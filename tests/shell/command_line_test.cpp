// The program's command line and settings file, without running the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

}  // namespace
