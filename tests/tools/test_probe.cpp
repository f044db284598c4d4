// The probe against the simulator: each way a check can end has its status.
#include <gtest/gtest.h>
#include <arpa/inet.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "dvrsim/ddns_server.h"
#include "dvrsim/simulator.h"
#include "net/ddns.h"
#include "platform/core/resolver.h"
#include "probe.h"

using namespace lvprobe;

namespace {

std::string ReadAll(std::FILE* f) {
  std::rewind(f);
  std::string s;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  return s;
}

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Probe(const std::vector<std::string>& args) {
  std::string error;
  auto options = ParseArguments(args, &error);
  if (!options) return {kUsage, "", error};
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  Outcome o;
  o.status = RunProbe(*options, out, err);
  o.out = ReadAll(out);
  o.err = ReadAll(err);
  std::fclose(out);
  std::fclose(err);
  return o;
}

dvrsim::Config SmallPictures() {
  dvrsim::Config cfg;
  cfg.width = 176;
  cfg.height = 144;
  return cfg;
}

}  // namespace

TEST(Probe, SavesPicturesWithTheirDateAndTime) {
  dvrsim::Config cfg = SmallPictures();
  cfg.cameraMask = 0x3FFF0000;  // channels 0 and 1 have no camera
  dvrsim::Simulator sim(cfg);
  ASSERT_TRUE(sim.Start(0));
  const auto dir = std::filesystem::temp_directory_path() / ("lorventa-probe-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  const Outcome o = Probe({"127.0.0.1", std::to_string(sim.Port()), "admin", "1234", "--frames", "3", "--out",
                           dir.string(), "--timeout", "20"});
  ASSERT_EQ(o.status, kOk) << o.err;
  EXPECT_NE(o.out.find("channels      16"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("protocol      2.0.3.4 (2034)"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("opened channel 3"), std::string::npos) << o.out;
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    ++files;
    const std::string name = e.path().filename().string();
    EXPECT_EQ(name.rfind("ch03_", 0), 0u) << name;
    EXPECT_EQ(e.path().extension(), ".jpg");
    std::ifstream f(e.path(), std::ios::binary);
    unsigned char magic[2] = {};
    f.read(reinterpret_cast<char*>(magic), 2);
    EXPECT_EQ(magic[0], 0xFF);
    EXPECT_EQ(magic[1], 0xD8);
  }
  EXPECT_EQ(files, 3);
  std::filesystem::remove_all(dir);
  // The channel was closed again before leaving.
  bool closed = false;
  for (const auto& r : sim.Requests()) closed |= r.id == 0x0B010004;
  EXPECT_TRUE(closed);
}

TEST(Probe, EveryFailureHasItsOwnStatus) {
  struct Case {
    const char* what;
    void (*configure)(dvrsim::Config&);
    std::vector<std::string> extra;  // after ADDRESS PORT USER PASSWORD
    std::string password;
    int status;
    const char* errorText;
  } cases[] = {
      {"rejected account", [](dvrsim::Config&) {}, {}, "wrong", kAccountRejected, "rejected"},
      {"no permission", [](dvrsim::Config& c) { c.noPermission = {4}; }, {"--channel", "5"}, "1234", kNoPermission,
       "no permission for channel 5"},
      {"no camera", [](dvrsim::Config& c) { c.noCamera = {0}; }, {}, "1234", kNoCamera, "no camera on channel 1"},
      {"all locked", [](dvrsim::Config& c) { c.lockMask = 0xFFFF0000; }, {}, "1234", kNoCamera, "no channel"},
      {"dropped at login", [](dvrsim::Config& c) { c.faults.dropOnLogin = true; }, {}, "1234", kDropped,
       "dropped during login"},
      {"dropped while streaming", [](dvrsim::Config& c) { c.faults.dropAfterFrames = 2; }, {"--frames", "50"}, "1234",
       kDropped, "dropped after"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dvrsim::Config cfg = SmallPictures();
    c.configure(cfg);
    dvrsim::Simulator sim(cfg);
    ASSERT_TRUE(sim.Start(0));
    std::vector<std::string> args{"127.0.0.1", std::to_string(sim.Port()), "admin", c.password, "--out",
                                  std::filesystem::temp_directory_path().string()};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const Outcome o = Probe(args);
    EXPECT_EQ(o.status, c.status) << o.err;
    EXPECT_NE(o.err.find(c.errorText), std::string::npos) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << "one line: " << o.err;
  }
}

TEST(Probe, AddressFailures) {
  // Connection refused: nothing listens on the port any more.
  std::uint16_t port;
  {
    dvrsim::Simulator sim(SmallPictures());
    ASSERT_TRUE(sim.Start(0));
    port = sim.Port();
  }
  Outcome o = Probe({"127.0.0.1", std::to_string(port), "admin"});
  EXPECT_EQ(o.status, kConnectFailed);
  EXPECT_NE(o.err.find("connection refused"), std::string::npos) << o.err;

  // Name lookup failed.
  lv::SetResolverHook([](const std::string&) { return std::optional<std::uint32_t>{}; });
  o = Probe({"dvr.nowhere.test", "9000", "admin"});
  EXPECT_EQ(o.status, kLookupFailed);
  lv::SetResolverHook({});

  // DDNS: unknown identifier, then a known one through the server.
  dvrsim::Simulator sim(SmallPictures());
  ASSERT_TRUE(sim.Start(0));
  dvrsim::DdnsServer ddns(std::map<std::string, std::string>{{"CAM01", "127.0.0.1"}});
  ASSERT_TRUE(ddns.Start(0));
  const std::string server = "127.0.0.1:" + std::to_string(ddns.Port());
  o = Probe({"CAM02", std::to_string(sim.Port()), "admin", "1234", "--ddns", server});
  EXPECT_EQ(o.status, kDdnsFailed);
  o = Probe({"CAM01", std::to_string(sim.Port()), "admin", "1234", "--ddns", server, "--frames", "0"});
  EXPECT_EQ(o.status, kOk) << o.err;
  lv::SetDdnsServer(lv::kDdnsHost, lv::kDdnsPort);
}

TEST(Probe, CommandLine) {
  struct Case {
    std::vector<std::string> args;
    bool ok;
  } cases[] = {
      {{"1.2.3.4", "80", "u"}, true},
      {{"1.2.3.4", "80", "u", "p", "--channel", "16", "--frames", "0", "--timeout", "1"}, true},
      {{"1.2.3.4", "80"}, false},
      {{"1.2.3.4", "0", "u"}, false},
      {{"1.2.3.4", "65536", "u"}, false},
      {{"1.2.3.4", "80x", "u"}, false},
      {{"1.2.3.4", "80", "u", "--channel", "17"}, false},
      {{"1.2.3.4", "80", "u", "--channel"}, false},
      {{"1.2.3.4", "80", "u", "--ddns", ":99"}, false},
      {{"1.2.3.4", "80", "u", "--ddns", "h:0"}, false},
      {{"1.2.3.4", "80", "u", "--bogus"}, false},
      {{"1.2.3.4", "80", "u", "p", "extra"}, false},
      {{"1.2.3.4", "80", "u", "p", "--password-file", "f"}, false},
      {{"1.2.3.4", "80", "u", "--password-file"}, false},
  };
  for (const auto& c : cases) {
    std::string error;
    const auto o = ParseArguments(c.args, &error);
    EXPECT_EQ(o.has_value(), c.ok) << c.args.size() << " " << error;
    if (!c.ok) {
      EXPECT_FALSE(error.empty());
    }
  }
  std::string error;
  const auto o = ParseArguments({"cam", "8000", "admin", "secret", "--channel", "2", "--ddns", "dd.test:81"}, &error);
  ASSERT_TRUE(o);
  EXPECT_EQ(o->channel, 1);
  EXPECT_EQ(o->password, "secret");
  EXPECT_EQ(*o->ddnsHost, "dd.test");
  EXPECT_EQ(*o->ddnsPort, 81);
}

TEST(Probe, PasswordFromAFileOrStandardInput) {
  const auto path = std::filesystem::temp_directory_path() / ("lorventa-probe-pw-" + std::to_string(::getpid()));
  std::ofstream(path) << "from file\r\nsecond line\n";
  std::FILE* in = std::tmpfile();
  std::fputs("from stdin\n", in);
  std::rewind(in);
  for (const auto& [file, expected] : {std::pair{path.string(), "from file"}, std::pair{std::string("-"), "from stdin"},
                                       std::pair{path.string() + ".absent", ""}}) {
    std::string error;
    auto o = ParseArguments({"1.2.3.4", "80", "u", "--password-file", file}, &error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(ReadPasswordFile(&*o, in, &error), *expected != '\0') << file;
    EXPECT_EQ(o->password, expected) << file;
  }
  std::fclose(in);
  std::filesystem::remove(path);
}
