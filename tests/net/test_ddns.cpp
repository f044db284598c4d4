#include <gtest/gtest.h>

#include <map>
#include <string>

#include "dvrsim/ddns_server.h"
#include "net/ddns.h"
#include "protocol/text.h"
#include "support/pump.h"

using namespace lv;

TEST(DdnsReply, Parsing) {
  struct Case {
    const char16_t* reply;
    std::optional<std::u16string> address;
  } cases[] = {
      {u"HTTP/1.0 200 OK\r\n\r\n<html><!--[[DDNS_REQIP192.0.2.7]]--></html>", u"192.0.2.7"},
      {u"x<!--[[DDNS_REQIP]]-->", std::nullopt},                 // empty address
      {u"<!--[[DDNS_REQIP192.0.2.7]]-->", std::nullopt},         // marker at index 0
      {u"x<!--[[DDNS_REQIP192.0.2.7", std::nullopt},             // no closing marker
      {u"no markers at all", std::nullopt},
      {u"a<!--[[DDNS_REQIP10.0.0.1]]--><!--[[DDNS_REQIP10.0.0.2]]-->", u"10.0.0.1"},  // first one wins
      {u"a<!--[[DDNS_REQIP 10.0.0.1 ]]-->", u" 10.0.0.1 "},      // kept as it is, blanks too
      {u"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDdnsReply(c.reply), c.address) << Utf16ToUtf8(c.reply);
}

namespace {

class DdnsExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Start(0));
    SetDdnsServer("127.0.0.1", server.Port());
  }
  void TearDown() override {
    server.Stop();
    SetDdnsServer(kDdnsHost, kDdnsPort);
  }
  dvrsim::DdnsServer server{std::map<std::string, std::string>{{"00AABBCCDDEE", "127.0.0.9"}}};
  lvtest::DebugCapture debug;
};

}  // namespace

TEST_F(DdnsExchange, ResolvesAndSendsTheRequestAsIs) {
  EXPECT_EQ(ResolveDdns(u"00AABBCCDDEE"), std::optional<std::u16string>(u"127.0.0.9"));
  ASSERT_EQ(server.RequestsSeen().size(), 1u);
  EXPECT_EQ(server.RequestsSeen()[0], "GET /req_ip.asp?mac_addr=00AABBCCDDEE HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(debug.Contains(" DDNS Send Len [50]\r\n"));
  EXPECT_TRUE(debug.Contains(" Recv String [127.0.0.9][9]\r\n"));
}

TEST_F(DdnsExchange, UnknownIdentifierFails) { EXPECT_EQ(ResolveDdns(u"FFFF"), std::nullopt); }

TEST_F(DdnsExchange, ReplyOfExactly1024BytesIsReadToItsEnd) {
  const std::string tail = "<!--[[DDNS_REQIP10.1.2.3]]-->";
  std::string reply(1024 - tail.size(), 'x');
  reply += tail;
  ASSERT_EQ(reply.size(), 1024u);
  server.SetRawReply(reply);
  EXPECT_EQ(ResolveDdns(u"any"), std::optional<std::u16string>(u"10.1.2.3"));
}

TEST_F(DdnsExchange, MarkerInASecondSegmentIsNotSeen) {
  server.SetRawReply(std::string("HTTP/1.0 200 OK\r\n\r\n<html><!--[[DDNS_REQIP10.1.2.3]]--></html>"));
  server.SetSplitReply(10, 400);
  EXPECT_EQ(ResolveDdns(u"any"), std::nullopt);
}

TEST_F(DdnsExchange, SilentServerFailsAfterTheRetries) {
  server.SetSilent(true);
  EXPECT_EQ(ResolveDdns(u"00AABBCCDDEE"), std::nullopt);
  EXPECT_FALSE(debug.Contains(" RecvDDNS : "));
}

TEST_F(DdnsExchange, OverlongIdentifierIsRefusedBeforeSending) {
  EXPECT_EQ(ResolveDdns(std::u16string(218, u'a')), std::nullopt);
  EXPECT_TRUE(server.RequestsSeen().empty());
}
