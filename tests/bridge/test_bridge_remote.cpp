// The bridge's outward side end to end: motion events as Server-Sent Events,
// PTZ moves over HTTP and MQTT (each followed by its stop in the simulator's
// log), and MQTT availability and discovery against a broker started here.
#include <gtest/gtest.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <mutex>

#include "bridge.h"
#include "dvrsim/simulator.h"
#include "http_client.h"
#include "http_server.h"
#include "motion_watch.h"
#include "mqtt_client.h"
#include "support/pump.h"

using namespace lvbridge;
using namespace lvbridgetest;
using namespace std::chrono_literals;

namespace {

template <class F>
auto OffThread(F f) {
  auto result = std::async(std::launch::async, std::move(f));
  lvtest::PumpUntil([&] { return result.wait_for(0s) == std::future_status::ready; }, 60000);
  return result.get();
}

// Blocks: call it off the event loop's thread.
Response PostWaiting(int port, const std::string& target, const std::string& body) {
  HttpConnection c(port);
  Response r;
  c.Send("POST " + target + " HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  if (c.ReadHead(&r, 20000)) r.body = c.ReadToClose(1000);
  return r;
}

Response Post(int port, const std::string& target, const std::string& body) {
  return OffThread([=] { return PostWaiting(port, target, body); });
}

class RemoteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dvrsim::Config cfg;
    cfg.width = 176;
    cfg.height = 120;
    cfg.ptzMask = 0xC0000000u;  // channels 1 and 2
    m_sim = std::make_unique<dvrsim::Simulator>(cfg);
    ASSERT_TRUE(m_sim->Start());
    Timing t;
    t.graceMs = 2000;
    m_bridge = std::make_unique<Bridge>(std::vector<SiteConfig>{{"demo site", "127.0.0.1", m_sim->Port(), "admin", "1234"}}, t);
    ServerOptions server;
    server.port = 0;
    m_server = std::make_unique<HttpServer>(*m_bridge, server);
    std::string error;
    ASSERT_TRUE(m_server->Start(&error)) << error;
    m_port = m_server->Port();
  }
  void TearDown() override {
    m_server->Stop();
    m_bridge.reset();
  }
  // The PTZ codes the simulator received for a 0-based channel, in order.
  std::vector<int> PtzCodes(int channel) const {
    std::vector<int> codes;
    for (const auto& r : m_sim->Requests())
      if (r.ptzCode >= 0 && r.channel == channel) codes.push_back(r.ptzCode);
    return codes;
  }
  bool CodesBecome(int channel, const std::vector<int>& want) {
    return lvtest::PumpUntil([&] { return PtzCodes(channel) == want; }, 15000);
  }
  std::unique_ptr<dvrsim::Simulator> m_sim;
  std::unique_ptr<Bridge> m_bridge;
  std::unique_ptr<HttpServer> m_server;
  int m_port = 0;
};

TEST_F(RemoteTest, EventStreamsCarryInjectedEventsFilteredByChannel) {
  HttpConnection all(m_port), second(m_port);
  Response head, head2;
  ASSERT_TRUE(all.Get("/events") && second.Get("/sites/demo%20site/channels/2/events"));
  ASSERT_TRUE(OffThread([&] { return all.ReadHead(&head) && second.ReadHead(&head2); }));
  EXPECT_EQ(head.headers["content-type"], "text/event-stream; charset=utf-8");
  EXPECT_EQ(head2.status, 200);
  for (const char* missing : {"/sites/nosuch/channels/1/events", "/sites/demo%20site/channels/17/events"})
    EXPECT_EQ(OffThread([&] { return Fetch(m_port, missing).status; }), 404) << missing;
  m_bridge->PublishMotion({"demo site", 0, true, 1700000000250000, "/clips/a\"b\n.mp4"});
  m_bridge->PublishMotion({"demo site", 1, false, 1700000001000000, ""});
  const std::string first = "event: motion\ndata: {\"site\":\"demo site\",\"channel\":1,\"state\":\"start\",\"time\":"
                            "\"2023-11-14T22:13:20.250Z\",\"clip\":\"/clips/a\\\"b\\u000a.mp4\"}\n\n";
  const std::string end = "event: motion\ndata: {\"site\":\"demo site\",\"channel\":2,\"state\":\"end\",\"time\":"
                          "\"2023-11-14T22:13:21.000Z\",\"clip\":\"\"}\n\n";
  const auto readUntil = [&](HttpConnection& c, const std::string& text) {
    return OffThread([&] {
      std::string got, piece;
      while (got.find(text) == std::string::npos && c.ReadExact(1, &piece, 5000)) got += piece;
      return got;
    });
  };
  const std::string fromAll = readUntil(all, end), fromSecond = readUntil(second, end);
  EXPECT_NE(fromAll.find(first), std::string::npos) << fromAll;
  EXPECT_LT(fromAll.find(first), fromAll.find(end));
  EXPECT_NE(fromSecond.find(end), std::string::npos) << fromSecond;
  EXPECT_EQ(fromSecond.find("\"channel\":1"), std::string::npos) << fromSecond;
}

TEST_F(RemoteTest, PtzMovesAreCheckedAndAlwaysFollowedByAStop) {
  struct Case {
    const char* target;
    const char* body;
    int status;
  } cases[] = {
      {"/sites/demo%20site/channels/1/ptz", "{\"move\": \"left\", \"duration\": 0.2}", 200},
      {"/sites/demo%20site/channels/1/ptz", "move=zoom-in&duration=0.1", 200},
      {"/sites/demo%20site/channels/1/ptz", "move=sideways", 400},
      {"/sites/demo%20site/channels/1/ptz", "move=left&duration=2.5", 400},
      {"/sites/demo%20site/channels/1/ptz", "move=left&duration=0", 400},
      {"/sites/demo%20site/channels/3/ptz", "move=left", 409},
      {"/sites/nosuch/channels/1/ptz", "move=left", 404},
  };
  for (const Case& c : cases) EXPECT_EQ(Post(m_port, c.target, c.body).status, c.status) << c.body;
  EXPECT_EQ(PtzCodes(0), (std::vector<int>{1, 0, 9, 0}));
  EXPECT_TRUE(PtzCodes(2).empty());

  // A newer, different move: the old one is stopped first, answered as replaced.
  auto held = std::async(std::launch::async, [&] { return PostWaiting(m_port, "/sites/demo%20site/channels/1/ptz", "move=up&duration=2"); });
  ASSERT_TRUE(CodesBecome(0, {1, 0, 9, 0, 3}));
  const Response newer = Post(m_port, "/sites/demo%20site/channels/1/ptz", "right 0.1");
  EXPECT_EQ(newer.status, 200);
  EXPECT_NE(newer.body.find("\"result\":\"stopped\""), std::string::npos) << newer.body;
  EXPECT_NE(OffThread([&] { return held.get(); }).body.find("\"result\":\"replaced\""), std::string::npos);
  EXPECT_EQ(PtzCodes(0), (std::vector<int>{1, 0, 9, 0, 3, 0, 2, 0}));

  // A client that leaves mid-move stops the camera without waiting for the move's end.
  testing::internal::CaptureStderr();
  {
    HttpConnection leaving(m_port);
    ASSERT_TRUE(leaving.Send("POST /sites/demo%20site/channels/2/ptz HTTP/1.1\r\nHost: x\r\nContent-Length: 20\r\n\r\n"
                             "move=down&duration=2"));
    ASSERT_TRUE(CodesBecome(1, {4}));
  }
  EXPECT_TRUE(CodesBecome(1, {4, 0}));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("PTZ stop, its asker went away"), std::string::npos);
}

// A port that was free on loopback a moment ago: the system's pick for port 0.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0;
  close(fd);
  return ok ? ntohs(a.sin_port) : 0;
}

// A broker on a free loopback port that wants a user and password, and a
// client that records what it receives. The broker cannot tell which port it
// got, so a free one is picked and tried again when another process took it.
class Broker {
 public:
  Broker() {
    const std::string dir = ::testing::TempDir() + "/broker" + std::to_string(getpid());
    std::system(("mkdir -p " + dir + " && mosquitto_passwd -c -b " + dir + "/pw test s3cret").c_str());
    std::string program = "mosquitto", option = "-c", conf = dir + "/conf";
    char* argv[] = {program.data(), option.data(), conf.data(), nullptr};
    for (int attempt = 0; attempt < 5 && pid < 0; ++attempt) {
      port = FreePort();
      std::ofstream(conf) << "log_dest none\nlistener " << port << " 127.0.0.1\nallow_anonymous false\npassword_file "
                          << dir << "/pw\nuser " << getpwuid(getuid())->pw_name << "\n";
      pid_t child = -1;
      if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv, environ) != 0) break;
      bool exited = false;
      const bool up = lvtest::PumpUntil([&] {
        exited = waitpid(child, nullptr, WNOHANG) == child;
        return exited || HttpConnection(port).Send("");
      }, 10000);
      // A connect may have reached whoever took the port; then the broker exits.
      if (!exited) exited = waitpid(child, nullptr, WNOHANG) == child;
      if (up && !exited) {
        pid = child;
      } else if (!exited) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
      }
    }
    if (pid < 0) ADD_FAILURE() << "the broker did not start";
    std::ofstream(dir + "/bridge-pw") << "s3cret\n";
    passwordFile = dir + "/bridge-pw";
  }
  ~Broker() {
    if (pid < 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  int port = 0;
  pid_t pid = -1;
  std::string passwordFile;
};

class Listener {
 public:
  explicit Listener(int port) {
    mosquitto_lib_init();
    m_client = mosquitto_new(nullptr, true, this);
    mosquitto_username_pw_set(m_client, "test", "s3cret");
    mosquitto_message_callback_set(m_client, [](mosquitto*, void* self, const mosquitto_message* m) {
      auto* me = static_cast<Listener*>(self);
      std::lock_guard lock(me->m_mutex);
      me->m_got[m->topic] = {std::string(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen)), m->retain};
    });
    mosquitto_connect_callback_set(m_client, [](mosquitto* c, void*, int) { mosquitto_subscribe(c, nullptr, "#", 1); });
    mosquitto_connect(m_client, "127.0.0.1", port, 30);
    mosquitto_loop_start(m_client);
  }
  ~Listener() {
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, false);
    mosquitto_destroy(m_client);
  }
  // The payload last received on topic ("" when none), and whether it was retained.
  std::pair<std::string, bool> Got(const std::string& topic) {
    std::lock_guard lock(m_mutex);
    return m_got.count(topic) ? m_got[topic] : std::pair<std::string, bool>{};
  }
  bool Sees(const std::string& topic, const std::string& payload) {
    return lvtest::PumpUntil([&] { return Got(topic).first == payload; }, 20000);
  }
  void Send(const std::string& topic, const std::string& payload) {
    mosquitto_publish(m_client, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, false);
  }

 private:
  mosquitto* m_client;
  std::mutex m_mutex;
  std::map<std::string, std::pair<std::string, bool>> m_got;
};

bool HaveBroker() { return std::system("command -v mosquitto >/dev/null 2>&1") == 0; }

TEST_F(RemoteTest, MqttAnnouncesChannelsReportsMotionAndTakesPtzCommands) {
  if (!HaveBroker()) GTEST_SKIP() << "the mosquitto broker is not installed (scripts/setup.sh installs it)";
  Broker broker;
  MqttOptions mqtt;
  mqtt.host = "127.0.0.1";
  mqtt.port = broker.port;
  mqtt.user = "test";
  mqtt.password = "s3cret";
  mqtt.id = "Test Bridge";
  MqttReporter reporter(*m_bridge, mqtt, "http://127.0.0.1:" + std::to_string(m_port));
  std::string error;
  ASSERT_TRUE(reporter.Start(&error)) << error;
  Listener first(broker.port);
  const std::string sensor = "homeassistant/binary_sensor/test_bridge_demo_site_1/config";
  const std::string lastOne = "homeassistant/camera/test_bridge_demo_site_16/config";
  ASSERT_TRUE(lvtest::PumpUntil([&] { return !first.Got(lastOne).first.empty(); }, 20000));
  Listener late(broker.port);  // gets what was retained
  EXPECT_TRUE(late.Sees("lorventa/test_bridge/availability", "online"));
  for (const std::string object : {"binary_sensor/test_bridge_demo_site_16", "camera/test_bridge_demo_site_1",
                                   "select/test_bridge_demo_site_2_ptz"})
    EXPECT_TRUE(lvtest::PumpUntil([&] { return late.Got("homeassistant/" + object + "/config").second; })) << object;
  EXPECT_TRUE(late.Got("homeassistant/select/test_bridge_demo_site_3_ptz/config").first.empty());
  const std::string config = late.Got(sensor).first;
  for (const char* part : {"\"device_class\":\"motion\"", "\"state_topic\":\"lorventa/test_bridge/demo_site/1/motion\"",
                           "\"availability_topic\":\"lorventa/test_bridge/availability\"", "\"device\":{"})
    EXPECT_NE(config.find(part), std::string::npos) << part << " in " << config;
  EXPECT_NE(late.Got("lorventa/test_bridge/demo_site/1/attributes").first.find(
                "/sites/demo%20site/channels/1/stream.mjpeg"), std::string::npos);

  // Motion: ON with the channel's newest picture, then OFF.
  ASSERT_EQ(OffThread([&] { return Fetch(m_port, "/sites/demo%20site/channels/1/snapshot.jpg").status; }), 200);
  m_bridge->PublishMotion({"demo site", 0, true, 1700000000000000, ""});
  EXPECT_TRUE(first.Sees("lorventa/test_bridge/demo_site/1/motion", "ON"));
  EXPECT_EQ(first.Got("lorventa/test_bridge/demo_site/1/snapshot").first.substr(0, 2), "\xFF\xD8");
  m_bridge->PublishMotion({"demo site", 0, false, 1700000001000000, ""});
  EXPECT_TRUE(first.Sees("lorventa/test_bridge/demo_site/1/motion", "OFF"));
  Listener later(broker.port);
  EXPECT_TRUE(later.Sees("lorventa/test_bridge/demo_site/1/motion", "OFF"));
  EXPECT_TRUE(later.Got("lorventa/test_bridge/demo_site/1/motion").second);

  // A PTZ command and the stop its duration brings.
  first.Send("lorventa/test_bridge/demo_site/2/ptz/set", "{\"move\":\"up-left\",\"duration\":0.2}");
  EXPECT_TRUE(CodesBecome(1, {5, 0}));

  reporter.Stop();
  EXPECT_TRUE(first.Sees("lorventa/test_bridge/availability", "offline"));
}

TEST_F(RemoteTest, ABridgeKilledOnTheSpotIsReportedOfflineByItsLastWill) {
  if (!HaveBroker()) GTEST_SKIP() << "the mosquitto broker is not installed (scripts/setup.sh installs it)";
  Broker broker;
  Listener listener(broker.port);
  std::vector<std::string> args = {LORVENTA_BRIDGE_BINARY, "--listen", "127.0.0.1:0", "--dvr", "demo", "127.0.0.1",
                                   std::to_string(m_sim->Port()), "admin", "--mqtt",
                                   "127.0.0.1:" + std::to_string(broker.port), "--mqtt-user", "test",
                                   "--mqtt-password-file", broker.passwordFile, "--mqtt-id", "killed"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t child = -1;
  ASSERT_EQ(posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ), 0);
  EXPECT_TRUE(listener.Sees("lorventa/killed/availability", "online"));
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(listener.Sees("lorventa/killed/availability", "offline"));
}

}  // namespace

namespace {

// A still scene that an object crosses from 2 s to 5 s, watched on channel 1
// only, with no viewer: the event starts and ends, reaches the event streams,
// and its clip is kept in the record folder.
TEST(BridgeMotion, AWatchedChannelReportsTheCrossingObjectAndKeepsItsClip) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(testing::TempDir()) / "bridge-motion-clips";
  fs::remove_all(folder);
  dvrsim::Config cfg;
  cfg.width = 352;
  cfg.height = 240;
  cfg.fps = 10;
  cfg.scene.still = true;
  cfg.scene.objectAt = {2.0};
  dvrsim::Simulator sim(cfg);
  ASSERT_TRUE(sim.Start());
  // Declared before the bridge, whose pump thread calls the listener until the bridge goes.
  std::mutex mutex;
  std::vector<lv::MotionEvent> events;
  auto bridge = std::make_unique<Bridge>(std::vector<SiteConfig>{{"yard", "127.0.0.1", sim.Port(), "admin", "1234"}},
                                         Timing{});
  bridge->Events().AddListener([&](const lv::MotionEvent& e) {
    std::lock_guard lock(mutex);
    events.push_back(e);
  });
  Options options;
  options.recordFolder = folder;
  std::string error;
  options.motion = {{"yard", 17, ""}};
  EXPECT_FALSE(StartMotionWatch(*bridge, options, &error));
  EXPECT_NE(error.find("not served"), std::string::npos) << error;
  // With all, a channel named on its own is watched with its own settings.
  options.motionAll = true;
  options.motion = {{"yard", 1, "bogus"}};
  EXPECT_FALSE(StartMotionWatch(*bridge, options, &error));
  options.motionAll = false;
  options.motion = {{"yard", 1, ""}};
  ASSERT_TRUE(StartMotionWatch(*bridge, options, &error)) << error;

  const auto count = [&] {
    std::lock_guard lock(mutex);
    return events.size();
  };
  ASSERT_TRUE(lvtest::PumpUntil([&] { return count() >= 2; }, 30000)) << count();
  std::string clip;
  {
    std::lock_guard lock(mutex);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].started);
    EXPECT_FALSE(events[1].started);
    EXPECT_EQ(events[0].channel, 0);
    EXPECT_EQ(events[0].clipPath, events[1].clipPath);
    clip = events[0].clipPath;
  }
  // Only the watched channel was opened, and by the watcher alone.
  for (const dvrsim::Request& r : sim.Requests()) {
    if (r.channel >= 0) {
      EXPECT_EQ(r.channel, 0);
    }
  }
  // The clip is closed when the bridge goes.
  bridge->Shutdown();
  bridge.reset();
  ASSERT_FALSE(clip.empty());
  EXPECT_EQ(fs::path(clip).parent_path(), folder);
  EXPECT_TRUE(fs::exists(clip)) << clip;
  EXPECT_FALSE(fs::exists(clip + ".part"));
}

}  // namespace
