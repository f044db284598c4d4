// Pictures and font, the DDNS server and the command line.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <set>

#include "dvrsim/command_line.h"
#include "dvrsim/ddns_server.h"
#include "dvrsim/font.h"
#include "dvrsim/picture.h"

namespace {

std::vector<uint8_t> Make(dvrsim::PictureMaker& maker, uint32_t seq, const dvrsim::PtzPosition* ptz) {
  dvrsim::PictureStamp s;
  s.channel = 1;
  s.sequence = seq;
  s.year = 2024;
  s.month = 5;
  s.day = 17;
  s.hour = 12;
  s.minute = 34;
  s.second = 56;
  s.ptz = ptz;
  const auto jpeg = maker.Make(s);
  return {jpeg.begin(), jpeg.end()};
}

}  // namespace

TEST(DvrSimPictures, DecodeToTheConfiguredSizeIncludingOddAndTinyOnes) {
  const std::pair<int, int> sizes[] = {{704, 480}, {176, 144}, {1280, 720}, {33, 17}};
  tjhandle tj = tjInitDecompress();
  for (const auto& [w, h] : sizes) {
    dvrsim::PictureMaker maker(w, h, 80);
    dvrsim::PtzPosition far{90, -45, 100, 0, 100, 0};
    const auto jpeg = Make(maker, 7, &far);
    ASSERT_FALSE(jpeg.empty()) << maker.Error();
    int dw = 0, dh = 0, sub = 0, cs = 0;
    ASSERT_EQ(tjDecompressHeader3(tj, jpeg.data(), jpeg.size(), &dw, &dh, &sub, &cs), 0);
    EXPECT_EQ(dw, w);
    EXPECT_EQ(dh, h);
    EXPECT_EQ(sub, TJSAMP_420);
  }
  tjDestroy(tj);
}

TEST(DvrSimPictures, ChangeWithSequenceAndPtzOnly) {
  dvrsim::PictureMaker maker(320, 240, 80);
  dvrsim::PtzPosition home, panned;
  panned.pan = 10;
  const auto base = Make(maker, 1, &home);
  EXPECT_EQ(Make(maker, 1, &home), base);
  EXPECT_NE(Make(maker, 2, &home), base);
  EXPECT_NE(Make(maker, 1, &panned), base);
  dvrsim::PtzPosition zoomed = home;
  zoomed.zoom = 20;
  EXPECT_NE(Make(maker, 1, &zoomed), base);
  // A still scene: the sequence number changes nothing, an object does.
  const dvrsim::SceneScript still{true, {5}, -1};
  const auto make = [&](uint32_t seq, double seconds) {
    const auto jpeg = maker.Make({.sequence = seq, .script = &still, .seconds = seconds});
    return std::vector<uint8_t>(jpeg.begin(), jpeg.end());
  };
  EXPECT_EQ(make(1, 1), make(2, 2));
  EXPECT_NE(make(1, 1), make(1, 6));
}

TEST(DvrSimPictures, PtzCodesStepTheRightAxes) {
  struct Case {
    int code, pan, tilt, zoom, focus, iris;  // expected sign of each change
  };
  const Case cases[] = {
      {1, -1, 0, 0, 0, 0}, {2, 1, 0, 0, 0, 0},  {3, 0, 1, 0, 0, 0},  {4, 0, -1, 0, 0, 0},  {5, -1, 1, 0, 0, 0},
      {6, 1, 1, 0, 0, 0},  {7, -1, -1, 0, 0, 0}, {8, 1, -1, 0, 0, 0}, {9, 0, 0, 1, 0, 0},   {10, 0, 0, -1, 0, 0},
      {11, 0, 0, 0, 1, 0}, {12, 0, 0, 0, -1, 0}, {13, 0, 0, 0, 0, 1}, {14, 0, 0, 0, 0, -1}, {0, 0, 0, 0, 0, 0},
      {15, 0, 0, 0, 0, 0},
  };
  auto sign = [](int d) { return (d > 0) - (d < 0); };
  for (const Case& k : cases) {
    dvrsim::PtzPosition p;
    p.zoom = 50;
    const dvrsim::PtzPosition before = p;
    dvrsim::StepPtz(&p, k.code);
    EXPECT_EQ(sign(p.pan - before.pan), k.pan) << k.code;
    EXPECT_EQ(sign(p.tilt - before.tilt), k.tilt) << k.code;
    EXPECT_EQ(sign(p.zoom - before.zoom), k.zoom) << k.code;
    EXPECT_EQ(sign(p.focus - before.focus), k.focus) << k.code;
    EXPECT_EQ(sign(p.iris - before.iris), k.iris) << k.code;
  }
  dvrsim::PtzPosition edge;
  edge.pan = 90;
  dvrsim::StepPtz(&edge, 2);
  EXPECT_EQ(edge.pan, 90);
}

TEST(DvrSimFont, EveryCharacterHasItsOwnGlyph) {
  const std::string chars = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ:-/.+#";
  std::set<dvrsim::GlyphRows> seen;
  for (char c : chars) {
    dvrsim::GlyphRows rows;
    ASSERT_TRUE(dvrsim::Glyph(c, &rows)) << c;
    EXPECT_NE(rows, dvrsim::GlyphRows{}) << c;
    EXPECT_TRUE(seen.insert(rows).second) << "glyph of " << c << " repeats another";
  }
  dvrsim::GlyphRows lower, upper;
  dvrsim::Glyph('q', &lower);
  dvrsim::Glyph('Q', &upper);
  EXPECT_EQ(lower, upper);
  EXPECT_FALSE(dvrsim::Glyph('@', &lower));
}

namespace {

// One exchange with the DDNS server; returns the first chunk received and
// the whole reply.
std::pair<std::string, std::string> Ask(uint16_t port, const std::string& request, int timeoutMs = 5000) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::pair<std::string, std::string> out;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    char buf[2048];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) {
      if (out.second.empty()) out.first.assign(buf, static_cast<size_t>(n));
      out.second.append(buf, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  return out;
}

using Map = std::map<std::string, std::string>;

std::string Request(const std::string& id) { return "GET /req_ip.asp?mac_addr=" + id + " HTTP/1.0\r\n\r\n"; }

}  // namespace

TEST(DvrSimDdns, AnswersWithTheMarkedAddress) {
  dvrsim::DdnsServer ddns(Map{{"00112233AABB", "127.0.0.1"}, {"shop", "192.0.2.7 "}});
  ASSERT_TRUE(ddns.Start()) << ddns.Error();
  const std::pair<const char*, const char*> cases[] = {
      {"00112233AABB", "127.0.0.1"}, {"shop", "192.0.2.7 "}, {"SHOP", nullptr}, {"", nullptr}};
  const std::string open = "<!--[[DDNS_REQIP", close = "]]-->";
  for (const auto& [id, address] : cases) {
    const std::string reply = Ask(ddns.Port(), Request(id)).second;
    EXPECT_EQ(reply.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << id;
    EXPECT_NE(reply.find("\r\n\r\n"), std::string::npos);
    const size_t at = reply.find(open);
    if (address == nullptr) {
      EXPECT_EQ(at, std::string::npos) << id;
      continue;
    }
    ASSERT_NE(at, std::string::npos) << id;
    EXPECT_GT(at, 0u);
    const size_t start = at + open.size();
    EXPECT_EQ(reply.substr(start, reply.find(close, start) - start), address);
  }
  const auto seen = ddns.RequestsSeen();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[1], Request("shop"));
}

TEST(DvrSimDdns, RawSplitAndSilentReplies) {
  dvrsim::DdnsServer ddns(Map{{"dvr", "10.0.0.5"}});
  ASSERT_TRUE(ddns.Start());
  ddns.SetRawReply("HTTP/1.0 200 OK\r\n\r\n<!--[[DDNS_REQIP]]-->");
  EXPECT_EQ(Ask(ddns.Port(), Request("dvr")).second, "HTTP/1.0 200 OK\r\n\r\n<!--[[DDNS_REQIP]]-->");

  ddns.SetRawReply(std::nullopt);
  const std::string full = dvrsim::DdnsServer::ReplyFor(Map{{"dvr", "10.0.0.5"}}, Request("dvr"));
  ddns.SetSplitReply(20, 500);
  const auto [first, whole] = Ask(ddns.Port(), Request("dvr"));
  EXPECT_EQ(whole, full);
  EXPECT_FALSE(first.empty());
  EXPECT_LE(first.size(), 20u);
  EXPECT_EQ(full.compare(0, first.size(), first), 0);

  ddns.SetSplitReply(std::nullopt);
  ddns.SetSilent(true);
  EXPECT_EQ(Ask(ddns.Port(), Request("dvr"), 200).second, "");
  ASSERT_TRUE(ddns.WaitForRequests(3, 2000));
  ddns.SetSilent(false);
  EXPECT_EQ(Ask(ddns.Port(), Request("dvr")).second, full);
}

TEST(DvrSimCommandLine, ParsesEveryFlag) {
  std::string error;
  const auto o = dvrsim::ParseCommandLine(
      {"--port", "9100", "--user", "op", "--password=pw", "--channels", "4", "--size", "320x240", "--fps", "10",
       "--ptz-mask", "0x80000000", "--camera-mask", "F0000000", "--lock-mask", "40000000", "--heartbeat", "500",
       "--os-version", "5.0.2.1", "--no-camera", "2,3", "--fault", "garbage=3", "--fault", "drip=50", "--fault",
       "refuse-login", "--ddns-port", "8245", "--ddns-map", "abc=127.0.0.1", "--verbose", "--scene", "still",
       "--object-at", "2,7.5", "--object-at=9", "--brightness-at", "12"},
      &error);
  ASSERT_TRUE(o) << error;
  const dvrsim::Config& c = o->config;
  EXPECT_EQ(o->port, 9100);
  ASSERT_EQ(c.accounts.size(), 1u);
  EXPECT_EQ(c.accounts[0].user, "op");
  EXPECT_EQ(c.accounts[0].password, "pw");
  EXPECT_EQ(c.channelCount, 4);
  EXPECT_EQ(c.width, 320);
  EXPECT_EQ(c.height, 240);
  EXPECT_EQ(c.fps, 10);
  EXPECT_EQ(c.ptzMask, 0x80000000u);
  EXPECT_EQ(c.cameraMask, 0xF0000000u);
  EXPECT_EQ(c.lockMask, 0x40000000u);
  EXPECT_EQ(c.heartbeatMs, 500);
  EXPECT_EQ(c.osVersion, (std::array<uint8_t, 4>{5, 0, 2, 1}));
  EXPECT_EQ(c.noCamera, (std::set<int>{2, 3}));
  EXPECT_EQ(c.faults.garbageEveryN, 3);
  EXPECT_TRUE(c.faults.drip);
  EXPECT_EQ(c.faults.dripPauseUs, 50);
  EXPECT_TRUE(c.faults.refuseLogin);
  EXPECT_EQ(o->ddnsPort, 8245);
  EXPECT_EQ(o->ddnsMap.at("abc"), "127.0.0.1");
  EXPECT_TRUE(c.verbose);
  EXPECT_TRUE(c.scene.still);
  EXPECT_EQ(c.scene.objectAt, (std::vector<double>{2, 7.5, 9}));
  EXPECT_EQ(c.scene.brightnessAt, 12);
}

TEST(DvrSimCommandLine, RejectsBadArguments) {
  const std::vector<std::vector<std::string>> bad = {
      {"--port"},           {"--port", "70000"},         {"--size", "320"},         {"--size", "8x8"},
      {"--fps", "0"},       {"--ptz-mask", "xyz"},       {"--os-version", "1.2.3"}, {"--fault", "nosuch"},
      {"--fault", "drop-after"}, {"--fault", "refuse-login=2"}, {"--ddns-map", "a=b"}, {"--no-camera", "1,x"},
      {"--verbose=1"},      {"--frobnicate"},          {"--scene", "blurry"},    {"--object-at", "1,"},
      {"--object-at", "-1"}, {"--brightness-at", "soon"},
  };
  for (const auto& args : bad) {
    std::string error;
    EXPECT_FALSE(dvrsim::ParseCommandLine(args, &error)) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}
