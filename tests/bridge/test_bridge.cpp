// The bridge end to end: the simulator as the DVR, the bridge on this
// thread's event loop, and HTTP clients on threads of their own.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <future>
#include <thread>

#include "bridge.h"
#include "dvrsim/picture.h"
#include "dvrsim/simulator.h"
#include "http_client.h"
#include "http_server.h"
#include "log.h"
#include "options.h"
#include "protocol/text.h"
#include "sites/site_list.h"
#include "sites/site_store.h"
#include "support/pump.h"

using namespace lvbridge;
using namespace lvbridgetest;
using namespace std::chrono_literals;

namespace {

constexpr const char* kStream = "/sites/demo%20site/channels/1/stream.mjpeg";
constexpr const char* kSnapshot = "/sites/demo%20site/channels/1/snapshot.jpg";

// Runs f on a thread of its own while this thread keeps the event loop going.
template <class F>
auto OffThread(F f) {
  auto result = std::async(std::launch::async, std::move(f));
  lvtest::PumpUntil([&] { return result.wait_for(0s) == std::future_status::ready; }, 60000);
  return result.get();
}

Timing Fast() {
  Timing t;
  t.backoffBaseMs = 50;
  t.backoffMaxMs = 400;
  t.stallMs = 1000;
  t.graceMs = 5000;
  t.snapshotWaitMs = 5000;
  return t;
}

dvrsim::Config Small() {
  dvrsim::Config c;
  c.width = 176;
  c.height = 120;
  return c;
}

std::size_t Logins(const dvrsim::Simulator& sim) {
  std::size_t n = 0;
  for (const auto& r : sim.Requests()) n += r.Describe().rfind("LOGIN", 0) == 0;
  return n;
}

// True when jpeg is, byte for byte, a picture the simulator made for channel
// 0 in the last few seconds (its pictures depend on the sequence number and
// the clock only, so they can be made again here).
bool SentBySimulator(const std::string& jpeg, const dvrsim::Config& cfg, std::uint32_t maxSequence) {
  dvrsim::PictureMaker maker(cfg.width, cfg.height, cfg.jpegQuality);
  const std::time_t now = std::time(nullptr);
  for (std::time_t t = now; t > now - 4; --t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    for (std::uint32_t seq = 1; seq <= maxSequence; ++seq) {
      dvrsim::PictureStamp stamp;
      stamp.sequence = seq;
      stamp.year = tm.tm_year + 1900;
      stamp.month = tm.tm_mon + 1;
      stamp.day = tm.tm_mday;
      stamp.hour = tm.tm_hour;
      stamp.minute = tm.tm_min;
      stamp.second = tm.tm_sec;
      const auto made = maker.Make(stamp);
      if (made.size() == jpeg.size() && std::equal(made.begin(), made.end(),
                                                   reinterpret_cast<const std::uint8_t*>(jpeg.data())))
        return true;
    }
  }
  return false;
}

// Reads the head and n parts of a stream; the parts' bodies, or a problem.
struct StreamRead {
  Response head;
  std::vector<std::string> pictures;
  std::string problem;
};

StreamRead ReadStream(int port, const std::string& target, int n, int rcvbuf = 0) {
  StreamRead r;
  HttpConnection c(port, rcvbuf);
  if (!c.Get(target) || !c.ReadHead(&r.head)) return r.problem = "no head", r;
  std::map<std::string, std::string> headers;
  std::string body;
  for (int i = 0; i < n; ++i) {
    if (!c.ReadPart(kBoundary, &headers, &body, &r.problem)) break;
    if (headers["content-type"] != "image/jpeg") return r.problem = "part type " + headers["content-type"], r;
    r.pictures.push_back(body);
  }
  return r;
}

// A socket bound to a free loopback port, listening or not.
int LoopbackSocket(bool listening, int* port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || (listening && listen(fd, 16) != 0) ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    ADD_FAILURE() << "no loopback socket";
  *port = ntohs(a.sin_port);
  return fd;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A browser gives a host six connections: the page's tiles refresh from
// snapshots, and only the channel a user opens streams.
void ExpectTilesAndOneStream(const std::string& page, std::size_t channels) {
  EXPECT_EQ(Count(page, "/snapshot.jpg\"><img"), channels) << page;
  EXPECT_LE(Count(page, "stream.mjpeg"), 1u) << page;
  EXPECT_EQ(Count(page, "src=\"/"), 0u) << page;
}

class BridgeTest : public ::testing::Test {
 protected:
  void Start(const dvrsim::Config& cfg, const Timing& timing = Fast(), ServerOptions server = {},
             std::vector<SiteConfig> more = {}) {
    m_cfg = cfg;
    m_sim = std::make_unique<dvrsim::Simulator>(cfg);
    ASSERT_TRUE(m_sim->Start());
    std::vector<SiteConfig> sites{{"demo site", "127.0.0.1", m_sim->Port(), "admin", "1234"}};
    for (auto& s : more) sites.push_back(s);
    m_bridge = std::make_unique<Bridge>(sites, timing);
    server.port = 0;
    m_server = std::make_unique<HttpServer>(*m_bridge, server);
    std::string error;
    ASSERT_TRUE(m_server->Start(&error)) << error;
    m_port = m_server->Port();
  }
  void TearDown() override {
    if (m_server) m_server->Stop();
    m_bridge.reset();
    m_sim.reset();
  }
  std::string Status() {
    return OffThread([this] { return Fetch(m_port, "/status").body; });
  }
  bool StatusShows(const std::string& text, int timeoutMs = 5000) {
    std::string last;
    const bool seen = lvtest::PumpUntil(
        [&] { return (last = m_bridge->StatusJson()).find(text) != std::string::npos; }, timeoutMs);
    if (!seen) ADD_FAILURE() << "status never showed " << text << "; last: " << last;
    return seen;
  }

  dvrsim::Config m_cfg;
  std::unique_ptr<dvrsim::Simulator> m_sim;
  std::unique_ptr<Bridge> m_bridge;
  std::unique_ptr<HttpServer> m_server;
  int m_port = 0;
};

TEST_F(BridgeTest, StreamSnapshotStatusAndPageCarryTheDvrPicturesUnchanged) {
  Start(Small());
  StreamRead s = OffThread([&] { return ReadStream(m_port, kStream, 5); });
  ASSERT_EQ(s.pictures.size(), 5u) << s.problem;
  EXPECT_EQ(s.head.status, 200);
  EXPECT_EQ(s.head.headers["content-type"], "multipart/x-mixed-replace;boundary=lorventaframe");
  EXPECT_NE(s.head.headers["cache-control"].find("no-cache"), std::string::npos);
  EXPECT_EQ(s.head.headers.count("transfer-encoding"), 0u);
  const auto sent = static_cast<std::uint32_t>(m_sim->FramesSent()) + 1;
  for (const std::string& p : s.pictures) EXPECT_TRUE(SentBySimulator(p, m_cfg, sent));

  Response snap = OffThread([&] { return Fetch(m_port, kSnapshot); });
  EXPECT_EQ(snap.status, 200);
  EXPECT_EQ(snap.headers["content-type"], "image/jpeg");
  EXPECT_TRUE(SentBySimulator(snap.body, m_cfg, static_cast<std::uint32_t>(m_sim->FramesSent()) + 1));

  const std::string status = Status();
  EXPECT_NE(status.find("{\"name\":\"demo site\",\"channel_count\":16,\"channels\":[{\"channel\":1,\"status\":"
                        "\"Streaming\",\"pictures_per_second\":"),
            std::string::npos)
      << status;
  EXPECT_EQ(status.find("1234"), std::string::npos);

  Response page = OffThread([&] { return Fetch(m_port, "/"); });
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.headers["content-type"], "text/html; charset=utf-8");
  EXPECT_NE(page.body.find("<h2>demo site</h2>"), std::string::npos);
  ExpectTilesAndOneStream(page.body, 16);
  EXPECT_NE(page.body.find("Streaming"), std::string::npos);
  EXPECT_EQ(Logins(*m_sim), 1u);
}

TEST_F(BridgeTest, ADvrClaimingFortyChannelsIsServedSixteen) {
  dvrsim::Config cfg = Small();
  cfg.channelCount = 40;
  cfg.cameraMask = 0xFFFFFFFF;
  Start(cfg);
  ASSERT_EQ(OffThread([&] { return Fetch(m_port, kSnapshot); }).status, 200);
  const Response page = OffThread([&] { return Fetch(m_port, "/"); });
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("/channels/16/"), std::string::npos);
  EXPECT_EQ(page.body.find("/channels/17/"), std::string::npos);
  ExpectTilesAndOneStream(page.body, 16);
  EXPECT_NE(Status().find("\"channel_count\":16"), std::string::npos);
  EXPECT_EQ(OffThread([&] { return Fetch(m_port, "/sites/demo%20site/channels/17/snapshot.jpg"); }).status, 404);
}

TEST_F(BridgeTest, ViewersShareOneLoginAndOneThatStopsReadingHoldsNobodyBack) {
  dvrsim::Config cfg;
  cfg.width = 1280;
  cfg.height = 720;
  cfg.jpegQuality = 95;
  Start(cfg);
  // The stalled viewer: reads the head, then nothing, with a tiny window.
  HttpConnection stalled(m_port, 4096);
  ASSERT_TRUE(stalled.Get(kStream));
  Response head;
  ASSERT_TRUE(OffThread([&] { return stalled.ReadHead(&head); }));
  ASSERT_TRUE(lvtest::PumpUntil([&] { return m_sim->FramesSent() > 0; }));

  const std::uint64_t before = m_sim->FramesSent();
  StreamRead s = OffThread([&] { return ReadStream(m_port, kStream, 75); });
  const std::uint64_t during = m_sim->FramesSent() - before;
  ASSERT_EQ(s.pictures.size(), 75u) << s.problem;
  // The reader got nearly every picture sent while it read (a viewer stuck
  // behind the stalled one would get next to none once its socket is full).
  EXPECT_GE(s.pictures.size() * 10, during * 7) << during << " pictures sent";
  EXPECT_EQ(Logins(*m_sim), 1u);
  EXPECT_EQ(m_sim->Connections(), 1u);

  // The stalled viewer still gets whole pictures once it reads again.
  std::map<std::string, std::string> headers;
  std::string body, problem;
  EXPECT_TRUE(OffThread([&] { return stalled.ReadPart(kBoundary, &headers, &body, &problem); })) << problem;
  EXPECT_EQ(body.substr(0, 2), "\xFF\xD8");
}

TEST_F(BridgeTest, DroppedLinkReconnectsAndTheOpenStreamResumes) {
  dvrsim::Config cfg = Small();
  cfg.faults.dropAfterFrames = 6;
  Start(cfg);
  StreamRead s = OffThread([&] { return ReadStream(m_port, kStream, 20); });
  ASSERT_EQ(s.pictures.size(), 20u) << s.problem;
  EXPECT_GE(m_sim->Connections(), 4u);
  const std::string status = m_bridge->StatusJson();
  EXPECT_EQ(status.find("\"reconnects\":0"), std::string::npos) << status;
  EXPECT_EQ(status.find("\"reconnects\":1}"), std::string::npos) << status;
}

TEST_F(BridgeTest, StalledPicturesReconnectAndTheOpenStreamResumes) {
  Timing t = Fast();
  t.stallMs = 300;
  Start(Small(), t);
  HttpConnection viewer(m_port);
  Response head;
  ASSERT_TRUE(viewer.Get(kStream));
  std::map<std::string, std::string> headers;
  std::string body, problem;
  const auto read = [&](int n) {
    return OffThread([&] {
      for (int i = 0; i < n; ++i)
        if (!viewer.ReadPart(kBoundary, &headers, &body, &problem)) return false;
      return true;
    });
  };
  ASSERT_TRUE(OffThread([&] { return viewer.ReadHead(&head); }));
  ASSERT_TRUE(read(2)) << problem;
  // A header whose body takes seconds of the stream to fill: no picture gets through.
  m_sim->SendRaw({0xAB, 0x02, 0x00, 0x01, 0, 0, 0, 1, 0x00, 0x0D, 0xBB, 0xA0});
  StatusShows("\"status\":\"No picture for 0.3 s; reconnecting in ");
  EXPECT_TRUE(read(3)) << problem;
  EXPECT_EQ(Logins(*m_sim), 2u);
}

TEST_F(BridgeTest, SessionStaysForTheGracePeriodThenCloses) {
  Timing t = Fast();
  t.graceMs = 1500;
  Start(Small(), t);
  ASSERT_EQ(OffThread([&] { return ReadStream(m_port, kStream, 2); }).pictures.size(), 2u);
  // Within the grace period a new viewer gets the session that is still open.
  EXPECT_EQ(OffThread([&] { return Fetch(m_port, kSnapshot); }).status, 200);
  EXPECT_EQ(Logins(*m_sim), 1u);
  EXPECT_TRUE(lvtest::PumpUntil([&] { return m_sim->OpenConnections() == 0; }, 10000));
  StatusShows("\"status\":\"Idle\"");
  // A viewer after the close logs in anew.
  EXPECT_EQ(OffThread([&] { return Fetch(m_port, kSnapshot); }).status, 200);
  EXPECT_EQ(Logins(*m_sim), 2u);
}

TEST_F(BridgeTest, RefusedLoginRefusedConnectAndSilentDvrShowInStatus) {
  // A port where nothing listens, and one that accepts but never answers.
  int refusedPort = 0, silentPort = 0;
  close(LoopbackSocket(false, &refusedPort));
  const int silent = LoopbackSocket(true, &silentPort);
  dvrsim::Config cfg = Small();
  cfg.faults.refuseLogin = true;
  Timing t = Fast();
  t.stallMs = 300;
  t.snapshotWaitMs = 300;
  Start(cfg, t, {},
        {{"closed", "127.0.0.1", refusedPort, "admin", "1234"},
         {"silent", "127.0.0.1", silentPort, "admin", "1234"}});
  for (const auto& [site, status] : {std::pair{"demo%20site", 502}, {"closed", 504}, {"silent", 504}}) {
    const std::string target = std::string("/sites/") + site + "/channels/1/snapshot.jpg";
    EXPECT_EQ(OffThread([&] { return Fetch(m_port, target); }).status, status) << site;
  }
  StatusShows("\"status\":\"Login refused; reconnecting in 300.0 s\"");
  StatusShows("\"status\":\"Connection refused; reconnecting in ");
  StatusShows("\"status\":\"No answer to the login; reconnecting in ");
  StatusShows("\"notice\":\"The DVR refused the login (user or password); no new login for ");
  // A refused login is not tried again soon (it could lock the account), and
  // new viewers of the site are told why, whichever channel they ask for.
  const Response refused = OffThread([&] { return Fetch(m_port, "/sites/demo%20site/channels/2/stream.mjpeg"); });
  EXPECT_EQ(refused.status, 502);
  EXPECT_NE(refused.body.find("refused the login"), std::string::npos) << refused.body;
  EXPECT_EQ(Logins(*m_sim), 1u);
  EXPECT_EQ(m_bridge->StatusJson().find("1234"), std::string::npos);
  close(silent);

  // A viewer that leaves while no picture comes is noticed all the same.
  {
    HttpConnection viewer(m_port);
    ASSERT_TRUE(viewer.Send("GET /sites/closed/channels/1/stream.mjpeg HTTP/1.1\r\nHost: x\r\n\r\n"));
    Response head;
    ASSERT_TRUE(OffThread([&] { return viewer.ReadHead(&head); }));  // all read: it leaves with a FIN, no RST
    StatusShows("\"viewers\":1,");
  }
  StatusShows("\"name\":\"closed\",\"channel_count\":0,\"channels\":[{\"channel\":1,\"status\":\"Connection "
              "refused; reconnecting in ");
  EXPECT_TRUE(lvtest::PumpUntil([&] { return m_bridge->StatusJson().find("\"viewers\":1,") == std::string::npos; }));
}

TEST_F(BridgeTest, TokenPathsMethodsAndSizes) {
  ServerOptions server;
  server.token = "s3cret-token";
  Start(Small(), Fast(), server);
  struct Case {
    const char* target;
    const char* headers;
    int status;
  } cases[] = {
      {"/status", "", 401},
      {"/status?token=s3cret-tokeN", "", 401},
      {"/status", "Authorization: Bearer s3cret-toke\r\n", 401},
      {"/status", "Authorization: Basic s3cret-token\r\n", 401},
      {"/status?token=s3cret-token", "", 200},
      {"/status", "Authorization: Bearer s3cret-token\r\n", 200},
      {"/status", "Authorization: bearer s3cret-token\r\n", 200},
      {"/status", "Authorization: BEARER  s3cret-token\r\n", 200},
      {"/status", "Authorization: Bearers3cret-token\r\n", 401},
      {"/?token=s3cret-token", "", 200},
      {"/nothing?token=s3cret-token", "", 404},
      {"/sites/demo%20site/channels/17/stream.mjpeg?token=s3cret-token", "", 404},
      {"/sites/demo%20site/channels/0/stream.mjpeg?token=s3cret-token", "", 404},
      {"/sites/nosuch/channels/1/stream.mjpeg?token=s3cret-token", "", 404},
      {"/sites/demo%20site/channels/1/other.jpg?token=s3cret-token", "", 404},
      {"/sites/demo%20site/channels/1?token=s3cret-token", "", 404},
  };
  for (const Case& c : cases) {
    const Response r = OffThread([&] { return Fetch(m_port, c.target, c.headers); });
    EXPECT_EQ(r.status, c.status) << c.target << " " << c.headers;
    // Only the page repeats the token, in its own links, to a client that sent it.
    if (c.target[1] != '?') {
      EXPECT_EQ(r.body.find("s3cret"), std::string::npos) << c.target;
    }
  }
  const auto raw = [&](const std::string& request) {
    return OffThread([&] {
      HttpConnection c(m_port);
      Response r;
      c.Send(request);
      c.ReadHead(&r);
      return r.status;
    });
  };
  EXPECT_EQ(raw("POST /status?token=s3cret-token HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n"), 405);
  EXPECT_EQ(raw("GET /status?token=s3cret-token HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello"), 413);
  const int huge = raw("GET /status HTTP/1.1\r\nHost: x\r\nX-Pad: " + std::string(100000, 'a') + "\r\n\r\n");
  EXPECT_GE(huge, 400);
  EXPECT_EQ(m_sim->Connections(), 0u);  // nothing above reached a stream
}

TEST_F(BridgeTest, The65thClientGets503) {
  ServerOptions server;
  server.maxPerAddress = 0;  // every client here comes from 127.0.0.1
  Start(Small(), Fast(), server);
  // A burst: 72 connections, all open before any sends its request.
  std::vector<std::unique_ptr<HttpConnection>> viewers;
  for (int i = 0; i < 72; ++i) viewers.push_back(std::make_unique<HttpConnection>(m_port));
  ASSERT_TRUE(lvtest::PumpUntil([&] { return m_server->Guard().Pending() == 72; }));
  for (auto& v : viewers) ASSERT_TRUE(v->Get(kStream));
  std::map<int, int> answers;
  OffThread([&] {
    for (auto& v : viewers) {
      Response r;
      v->ReadHead(&r);
      ++answers[r.status];
    }
    return 0;
  });
  EXPECT_EQ(answers[200], 64);
  EXPECT_EQ(answers[503], 8);
  EXPECT_EQ(OffThread([&] { return Fetch(m_port, "/status"); }).status, 200);  // the status is not a stream
  EXPECT_TRUE(lvtest::PumpUntil([&] { return m_sim->FramesSent() > 0; }));
  EXPECT_EQ(Logins(*m_sim), 1u);
  viewers.clear();
  EXPECT_TRUE(lvtest::PumpUntil([&] { return m_server->Streams() == 0; }));
  EXPECT_EQ(OffThread([&] { return ReadStream(m_port, kStream, 1); }).head.status, 200);
}

TEST_F(BridgeTest, TricklingHeadersNeitherStayNorLockOthersOut) {
  ServerOptions server;
  server.maxStreams = 4;  // 20 slots for clients still sending their header
  server.maxPerAddress = 0;
  server.headerDeadlineMs = 3000;
  Start(Small(), Fast(), server);
  // Each sends a byte every 100 ms and never ends its header.
  std::vector<std::unique_ptr<HttpConnection>> slow;
  for (int i = 0; i < 45; ++i) slow.push_back(std::make_unique<HttpConnection>(m_port));
  std::atomic<bool> stop{false};
  std::atomic<int> open{45};
  std::thread trickle([&] {
    while (!stop.load()) {
      int alive = 0;
      for (auto& c : slow) alive += !c->PeerClosed() && c->Send("a");
      open = alive;
      std::this_thread::sleep_for(100ms);
    }
  });
  // Room is made for a client that sends its request at once ...
  EXPECT_TRUE(lvtest::PumpUntil([&] { return OffThread([&] { return Fetch(m_port, "/status").status; }) == 200; }));
  // ... by dropping the oldest tricklers, not all of them yet; the deadline then drops them all.
  EXPECT_GT(open.load(), 0);
  EXPECT_TRUE(lvtest::PumpUntil([&] { return open.load() == 0; }, 20000));
  stop = true;
  trickle.join();

  // One address holds at most maxPerAddress connections; others still get in.
  ServerOptions limited;
  limited.port = 0;
  limited.maxPerAddress = 3;
  HttpServer guarded(*m_bridge, limited);
  std::string error;
  ASSERT_TRUE(guarded.Start(&error)) << error;
  std::vector<std::unique_ptr<HttpConnection>> crowd;
  for (int i = 0; i < 4; ++i) crowd.push_back(std::make_unique<HttpConnection>(guarded.Port(), 0, "127.0.0.2"));
  EXPECT_TRUE(OffThread([&] { return crowd.back()->ReadToClose(5000).empty() && crowd.back()->PeerClosed(); }));
  EXPECT_FALSE(crowd.front()->PeerClosed());
  EXPECT_EQ(OffThread([&] { return Fetch(guarded.Port(), "/status").status; }), 200);
}

TEST_F(BridgeTest, ASlowViewerSkipsToTheNewestPictureAndSeesWhenItCame) {
  dvrsim::Config cfg;  // 704 x 480 at 25 a second: about 35 KB a picture
  Start(cfg);
  const double asked = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  HttpConnection viewer(m_port, 16 * 1024);
  viewer.Pace(100 * 1024);  // a third of a second a picture
  Response head;
  ASSERT_TRUE(viewer.Get(kStream));
  ASSERT_TRUE(OffThread([&] { return viewer.ReadHead(&head); }));
  std::vector<double> stamps;
  std::string problem;
  OffThread([&] {
    std::map<std::string, std::string> headers;
    std::string body;
    for (int i = 0; i < 8 && viewer.ReadPart(kBoundary, &headers, &body, &problem, 10000); ++i)
      stamps.push_back(std::atof(headers["x-timestamp"].c_str()));
    return 0;
  });
  ASSERT_EQ(stamps.size(), 8u) << problem;
  EXPECT_GE(stamps.front(), asked - 1);  // the time the DVR's picture came, in seconds since 1970
  // Each part is the newest picture when the last one has nearly left: many
  // DVR pictures apart, not the next one out of a backlog in the socket.
  // (Two may follow closely when the socket had run empty while the DVR was late.)
  int skips = 0;
  for (std::size_t i = 2; i < stamps.size(); ++i) skips += stamps[i] - stamps[i - 1] >= 3.0 / cfg.fps;
  EXPECT_GE(skips, 4) << "of " << stamps.size() - 2;
}

TEST_F(BridgeTest, AChannelWithoutCameraEndsItsStreamsAfterTheLogin) {
  dvrsim::Config cfg = Small();
  cfg.cameraMask = 0x80000000u;  // channel 1 only
  Start(cfg);
  HttpConnection viewer(m_port);
  ASSERT_TRUE(viewer.Get("/sites/demo%20site/channels/2/stream.mjpeg"));  // before any login
  std::map<std::string, std::string> headers;
  std::string body, problem;
  ASSERT_TRUE(OffThread([&] {
    Response head;
    return viewer.ReadHead(&head) && viewer.ReadPart(kBoundary, &headers, &body, &problem, 10000);
  })) << problem;
  EXPECT_EQ(headers["content-type"], "text/plain; charset=utf-8");
  EXPECT_EQ(body, "No camera on channel 2\r\n");
  EXPECT_EQ(OffThread([&] { return viewer.ReadToClose(); }), "--lorventaframe--\r\n");
  const Response again = OffThread([&] { return Fetch(m_port, "/sites/demo%20site/channels/2/stream.mjpeg"); });
  EXPECT_EQ(again.status, 404);
  EXPECT_EQ(again.body, "No camera on channel 2\n");
  EXPECT_EQ(Logins(*m_sim), 1u);
}

TEST_F(BridgeTest, HeadsOpenNothingAndSnapshotsSayHowOldTheyAre) {
  dvrsim::Config cfg = Small();
  cfg.faults.stallAfterFrames = 10;  // then the DVR stays silent
  Timing t = Fast();
  t.stallMs = 60000;
  t.staleMs = 300;
  Start(cfg, t);
  const auto head = [&](const std::string& target) {
    return OffThread([&] {
      HttpConnection c(m_port);
      Response r;
      c.Send("HEAD " + target + " HTTP/1.1\r\nHost: x\r\n\r\n");
      c.ReadHead(&r);
      return r;
    });
  };
  Response streamHead = head(kStream);
  EXPECT_EQ(streamHead.status, 200);
  EXPECT_EQ(streamHead.headers["content-type"], "multipart/x-mixed-replace;boundary=lorventaframe");
  EXPECT_EQ(head(kSnapshot).status, 503);
  EXPECT_NE(m_bridge->StatusJson().find("\"channels\":[]"), std::string::npos);  // nobody asked for a picture
  EXPECT_EQ(m_sim->Connections(), 0u);

  Response fresh = OffThread([&] { return Fetch(m_port, kSnapshot); });
  ASSERT_EQ(fresh.status, 200);
  EXPECT_EQ(fresh.headers["last-modified"].size(), 29u) << fresh.headers["last-modified"];
  EXPECT_NE(fresh.headers["x-timestamp"].find('.'), std::string::npos);
  Response stale;
  EXPECT_TRUE(lvtest::PumpUntil([&] { return (stale = OffThread([&] { return Fetch(m_port, kSnapshot); })).status == 503; }));
  EXPECT_NE(stale.body.find("s old (Streaming); ?stale=1 takes it"), std::string::npos) << stale.body;
  const std::string staleTarget = std::string(kSnapshot) + "?stale=1";
  EXPECT_EQ(OffThread([&] { return Fetch(m_port, staleTarget); }).status, 200);
}

TEST(BridgeText, LoopbackAddressesAndLogLines) {
  for (const auto& [address, loopback] : std::vector<std::pair<std::string, bool>>{
           {"127.0.0.1", true}, {"127.9.8.7", true}, {"::1", true}, {"::ffff:127.0.0.1", true},
           {"0.0.0.0", false}, {"::", false}, {"::2", false}, {"10.1.2.3", false}, {"localhost", false}})
    EXPECT_EQ(IsLoopback(address), loopback) << address;
  const auto when = std::chrono::system_clock::from_time_t(1700000000) + 42ms;
  EXPECT_EQ(LogLine("site down", true, when), "<6>lorventa-bridge: site down\n");
  EXPECT_EQ(LogLine("site down", true, when, Priority::Warning), "<4>lorventa-bridge: site down\n");
  EXPECT_EQ(LogLine("site down", false, when, Priority::Error).find('<'), std::string::npos);
  const std::string stamped = LogLine("site down", false, when);
  std::tm tm{};  // local time, "YYYY-MM-DD HH:MM:SS" and the milliseconds
  const char* rest = strptime(stamped.c_str(), "%Y-%m-%d %H:%M:%S", &tm);
  EXPECT_EQ(rest ? std::string(rest) : stamped, ".042 lorventa-bridge: site down\n");
  EXPECT_FALSE(StderrIsJournal(nullptr));
  EXPECT_FALSE(StderrIsJournal(""));
  struct stat st{};
  ASSERT_EQ(fstat(2, &st), 0);
  const std::string mine = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  EXPECT_TRUE(StderrIsJournal(mine.c_str()));
  EXPECT_FALSE(StderrIsJournal((std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino + 1)).c_str()));
  EXPECT_EQ(HttpDate(std::chrono::system_clock::from_time_t(1700000000)), "Tue, 14 Nov 2023 22:13:20 GMT");
  EXPECT_EQ(TimestampText(when), "1700000000.042000");
}

TEST_F(BridgeTest, AnOutsideClientReadsTheStream) {
  if (std::system("command -v ffprobe >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffprobe is not installed";
  Start(Small());
  const std::string out = OffThread([&] {
    const std::string command = "ffprobe -v error -f mpjpeg -show_entries stream=codec_name,width,height -of csv=p=0 "
                                "-read_intervals %+#3 'http://127.0.0.1:" +
                                std::to_string(m_port) + kStream + "' 2>&1";
    std::string text;
    if (FILE* p = popen(command.c_str(), "r")) {
      char buf[256];
      while (std::fgets(buf, sizeof buf, p)) text += buf;
      pclose(p);
    }
    return text;
  });
  EXPECT_NE(out.find("mjpeg,176,120"), std::string::npos) << out;
}

TEST(BridgeOptions, SitesPasswordsAndTokensComeFromFilesNeverTheCommandLine) {
  const std::string dir = ::testing::TempDir();
  std::ofstream(dir + "/pw") << "pass word\nsecond line\n";
  std::ofstream(dir + "/token") << "tok\r\n";
  std::ofstream(dir + "/empty") << "\n";
  struct Case {
    std::vector<std::string> args;
    bool parses, resolves;
    const char* error;
  } cases[] = {
      {{"--dvr", "a", "127.0.0.1", "9000", "u", "--password-file", dir + "/pw"}, true, true, ""},
      {{"--listen", "0.0.0.0:8480", "--dvr", "a", "h", "1", "u"}, true, false, "needs --token-file"},
      {{"--listen", "[::1]:8480", "--grace", "1", "--dvr", "a", "h", "1", "u"}, true, true, ""},
      {{"--listen", "[::]:8480", "--dvr", "a", "h", "1", "u"}, true, false, "needs --token-file"},
      {{"--listen", "0.0.0.0:8480", "--token-file", dir + "/token", "--dvr", "a", "h", "1", "u"}, true, true, ""},
      {{"--dvr", "a", "h", "1", "u", "--password-file", dir + "/empty"}, true, false, "empty line"},
      {{"--dvr", "a", "h", "1", "u", "--dvr", "a", "h", "2", "u"}, true, false, "two sites are named 'a'"},
      {{"--dvr", "a", "h", "0", "u"}, false, false, "PORT must be"},
      {{"--password-file", "x"}, false, false, "right after a --dvr"},
      {{"--dvr", "a", "h", "1"}, false, false, "needs 4 values"},
      {{"--site", "nosuch", "--store", dir}, true, false, "no site named 'nosuch'"},
      {{"--listen", "127.0.0.1"}, false, false, "ADDR:PORT"},
      {{"--mqtt", "broker:0"}, false, false, "port from 1 to 65535"},
      {{"--mqtt-user", "u"}, false, false, "belong with --mqtt"},
      {{"--motion", "a:17"}, false, false, "N from 1 to 16"},
      {{"--motion-settings", "on,sensitivity=0"}, false, false, "--motion-settings: "},
      {{"--record-max-gib", "1,5"}, false, false, "number of GiB"},
      {{"--record-max-gib", "1.5"}, false, false, "belongs with --record"},
      {{"--dvr", "a", "h", "1", "u", "--motion", "b:1"}, true, false, "no served site 'b'"},
      {{"--dvr", "a:b", "h", "1", "u", "--motion-settings", "on,hold=500", "--motion", "a:b:2", "--motion-settings",
        "on,sensitivity=70", "--motion", "all", "--mqtt", "[::1]:1884", "--record",
        "/r", "--record-max-gib", "0.25"}, true, true, ""},
  };
  // A store with two sites: --site picks by name, none named takes them all.
  lv::SiteList list;
  for (const char* name : {"Shop", "Main gate"}) {
    auto site = std::make_unique<lv::CDvrSession>();
    site->m_nSiteIndex = list.NextSiteIndex();
    site->m_strSiteName = lv::Utf8ToUtf16(name);
    site->m_strAddress = u"127.0.0.1";
    site->m_nPort = 9000;
    site->m_strUserID = u"admin";
    site->m_strPassword = u"pw";
    list.AppendSite(std::move(site));
  }
  ASSERT_EQ(lv::SiteStore(dir + "/store").SaveSites(list), lv::StoreResult::Ok);
  for (const auto& [args, names] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--store", dir + "/store", "--site", "Main gate"}, "Main gate/"},
           {{"--store", dir + "/store"}, "Shop/Main gate/"},
           {{"--store", dir + "/store", "--dvr", "x", "h", "1", "u", "--site", "Shop"}, "Shop/x/"}}) {
    std::string error, got;
    auto o = ParseArguments(args, &error);
    std::vector<SiteConfig> sites;
    ASSERT_TRUE(o && ResolveSites(&*o, &sites, &error)) << error;
    for (const SiteConfig& site : sites) got += site.name + "/";
    EXPECT_EQ(got, names);
    EXPECT_EQ(sites[0].password, "pw");
  }

  for (const Case& c : cases) {
    std::string error;
    auto o = ParseArguments(c.args, &error);
    ASSERT_EQ(o.has_value(), c.parses) << c.args[0] << ": " << error;
    std::vector<SiteConfig> sites;
    if (o) {
      EXPECT_EQ(ResolveSites(&*o, &sites, &error), c.resolves) << c.args[0];
    }
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    if (c.resolves && c.args.size() == 7) {
      EXPECT_EQ(sites.at(0).password, "pass word");
    }
    if (c.resolves && c.args.size() == 15) {
      EXPECT_EQ(o->motion.at(0).site + "/" + std::to_string(o->motion.at(0).channel), "a:b/2");
      EXPECT_TRUE(o->motionAll);
      EXPECT_EQ(o->motion.at(0).settings, "on,sensitivity=70");
      EXPECT_EQ(o->motionSettings, "on,hold=500");
      EXPECT_EQ(o->mqtt.host + " " + std::to_string(o->mqtt.port), "::1 1884");
      EXPECT_EQ(o->recordMaxGib, 0.25);
    }
    if (c.resolves && c.args[2] == "--token-file") {
      EXPECT_EQ(o->server.token, "tok");
    }
  }
}

}  // namespace
