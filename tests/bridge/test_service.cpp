// The bridge as a service: its configuration file, and the real binary
// telling a service manager (a notify socket of the test's) that it is ready,
// alive and stopping.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "config_file.h"
#include "options.h"

namespace lvbridge {
namespace {

std::optional<Options> FromConfig(const std::string& text, std::vector<std::string> after, std::string* error) {
  const std::string path = ::testing::TempDir() + "/t.conf";
  std::ofstream(path) << text;
  after.insert(after.begin(), {"--config", path});
  const auto args = ExpandConfig(after, error);
  return args ? ParseArguments(*args, error) : std::nullopt;
}

TEST(BridgeConfig, LinesReadAsTheirOptionsAndTheCommandLineAfterOverrides) {
  setenv("LV_TEST_SECRETS", "/run/creds", 1);
  std::string error;
  const auto o = FromConfig(
      "# the shop\n\nlisten = 127.0.0.1:9001  # only here\nsite = Main gate\n"
      "dvr = \"Back door\" 127.0.0.1 9000 admin ${LV_TEST_SECRETS}/door.pw\ndvr = x h 1 u\ngrace = 3\n",
      {"--listen", "127.0.0.1:9002", "--site", "Shop"}, &error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->server.port, 9002);
  EXPECT_EQ(o->siteNames, (std::vector<std::string>{"Main gate", "Shop"}));
  ASSERT_EQ(o->dvrs.size(), 2u);
  EXPECT_EQ(o->dvrs[0].name, "Back door");
  EXPECT_EQ(o->dvrs[0].passwordFile, "/run/creds/door.pw");
  EXPECT_EQ(o->dvrs[1].passwordFile, "");
  EXPECT_EQ(o->timing.graceMs, 3000);

  for (const auto& [text, want] : std::vector<std::pair<std::string, std::string>>{
           {"listen = 127.0.0.1:1\nbogus = 1\n", "t.conf:2: unknown key 'bogus'"},
           {"listen 127.0.0.1:1\n", "t.conf:1: expected KEY = VALUE"},
           {"site =\n", "t.conf:1: expected KEY = VALUE"},
           {"\n\ndvr = a h 1\n", "t.conf:3: dvr takes NAME ADDRESS PORT USER"},
           {"dvr = \"a h 1 u\n", "t.conf:1: unclosed quote"},
           {"listen = nowhere\n", "t.conf:1: --listen takes ADDR:PORT"},
           {"token-file = ${LV_TEST_UNSET}/t\n", "t.conf:1: ${LV_TEST_UNSET} is not set"},
           {"config = other.conf\n", "t.conf:1: unknown key 'config'"},
           {"version = yes\n", "t.conf:1: 'version' belongs on the command line only"},
       }) {
    EXPECT_FALSE(FromConfig(text, {}, &error)) << text;
    EXPECT_NE(error.find(want), std::string::npos) << error;
  }
}

// The next datagram on fd, or "" when none came in 20 s.
std::string NextMessage(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 20000) != 1) return {};
  char buf[4096];
  const ssize_t n = recv(fd, buf, sizeof buf, 0);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

bool WaitFor(int fd, const std::string& what) {
  for (std::string m = NextMessage(fd); !m.empty(); m = NextMessage(fd))
    if (m.find(what) != std::string::npos) return true;
  return false;
}

TEST(BridgeService, TellsItsManagerReadyAliveAndStoppingThenEndsOnSigterm) {
  const std::string dir = ::testing::TempDir() + "/svc" + std::to_string(getpid());
  mkdir(dir.c_str(), 0700);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string socketPath = dir + "/notify";
  ASSERT_LT(socketPath.size(), sizeof addr.sun_path);
  std::strcpy(addr.sun_path, socketPath.c_str());
  unlink(socketPath.c_str());
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  std::ofstream(dir + "/b.conf") << "listen = 127.0.0.1:0\ndvr = away 127.0.0.1 9 admin\n";

  // The manager names the watched process by its id: the shell's, which exec keeps.
  std::string notify = "NOTIFY_SOCKET=" + socketPath, usec = "WATCHDOG_USEC=400000";
  std::string shell = "/bin/sh", c = "-c", script = "WATCHDOG_PID=$$ exec \"$0\" --config \"$1\"";
  std::string binary = LORVENTA_BRIDGE_BINARY, conf = dir + "/b.conf";
  char* env[] = {notify.data(), usec.data(), nullptr};
  char* argv[] = {shell.data(), c.data(), script.data(), binary.data(), conf.data(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv, env), 0);
  EXPECT_TRUE(WaitFor(fd, "READY=1"));
  EXPECT_TRUE(WaitFor(fd, "WATCHDOG=1"));
  EXPECT_TRUE(WaitFor(fd, "WATCHDOG=1"));  // the timer's, after the first at ready
  kill(pid, SIGTERM);
  EXPECT_TRUE(WaitFor(fd, "STOPPING=1"));
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  close(fd);
}

}  // namespace
}  // namespace lvbridge
