// The site record, the load and save rules on the exact stored bytes, the
// site list and the refusal rules of the registration form.
#include <algorithm>

#include "sites/site_record.h"
#include "store_fixture.h"
#include "support/pump.h"

using namespace lv;
using namespace lvtest;

namespace {

std::string Zeros(std::size_t n) { return std::string(n, '\0'); }

}  // namespace

TEST(SiteRecord, StoredBytesAreTheCodePageTextThenZerosToTwiceItsLength) {
  struct Case {
    SiteFields fields;
    std::string bytes;
  } cases[] = {
      {{u"Office", u"192.168.0.10", 8000, u"admin", u""}, "Office+192.168.0.10+8000+admin++" + Zeros(32)},
      {{u"", u"", 0, u"", u""}, "++0+++" + Zeros(6)},
      {{u"n", u"h", -5, u"u", u"p"}, "n+h+-5+u+p+" + Zeros(11)},
      // One byte per character in the code page; what it cannot carry is '?'.
      {{u"Caf\u00E9 \u20AC", u"x", 1, u"\u4E2D", u"q"}, "Caf\xE9 \x80+x+1+?+q+" + Zeros(15)},
  };
  for (const auto& c : cases) {
    const std::u16string record = FormatSiteRecord(c.fields);
    const auto bytes = EncodeSiteRecord(record);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes) << Utf16ToUtf8(record);
    EXPECT_EQ(bytes.size(), 2 * record.size());
  }
  // A record too long for the loader is still stored whole, past 256 bytes.
  const auto longBytes = EncodeSiteRecord(FormatSiteRecord({std::u16string(200, u'n'), u"a", 1, u"u", u""}));
  EXPECT_EQ(longBytes.size(), 2u * 208u);
  EXPECT_EQ(longBytes[199], 'n');
}

TEST_F(StoreTest, LoadKeepsOnlyWellFormedStringValuesZeroToThirtyOne) {
  const std::string name250(250, 'n');
  WriteRaw({
      {"0", 1, Bytes("a+b+1+c++")},
      {"1", 1, Bytes("a+b+1+c+")},              // four plus signs
      {"2", 1, Bytes("a+b+1+c+++")},            // six
      {"3", 1, Bytes("a+b+1+c++e")},            // the trailing e is ignored
      {"4", 1, Bytes(std::string("++0+++") + Zeros(6))},
      {"5", 3, Bytes("bin+b+1+c++")},           // not a string
      {"6", 1, {}},                             // empty
      {"7", 1, Bytes(std::string("z+b+ 80 +c+p+\0x+y+", 18))},  // stops at the zero byte
      {"8", 1, Bytes(name250 + "+b+1+c++")},     // the fifth '+' lies past the 256 bytes read
      {"10", 1, Bytes("gap+b+2+c+d+")},         // 9 missing: the index keeps the gap
      {"00", 1, Bytes("x+b+1+c++")},            // not a value name the loader asks for
      {"31", 1, Bytes("last+b+1+c++")},
      {"32", 1, Bytes("over+b+1+c++")},
  });
  SiteList list;
  ASSERT_EQ(SiteStore(Folder()).LoadSites(list, 77), StoreResult::Ok);
  const std::vector<SiteRow> expected{
      {0, "a", "b", 1, "c", ""},  {3, "a", "b", 1, "c", ""},   {4, "", "", 0, "", ""},
      {7, "z", "b", 80, "c", "p"}, {10, "gap", "b", 2, "c", "d"}, {31, "last", "b", 1, "c", ""},
  };
  EXPECT_EQ(Describe(list), expected);
  EXPECT_EQ(list.Count(), 6);
  EXPECT_EQ(list.First()->m_hNotifyWnd.load(), 77u);
}

TEST_F(StoreTest, FortyStoredValuesLoadTheFirstThirtyTwo) {
  std::vector<std::tuple<std::string, int, std::vector<std::uint8_t>>> values;
  for (int i = 0; i < 40; ++i) values.emplace_back(std::to_string(i), 1, Bytes("s" + std::to_string(i) + "+h+1+u++"));
  WriteRaw(values);
  SiteList list;
  ASSERT_EQ(SiteStore(Folder()).LoadSites(list, 0), StoreResult::Ok);
  ASSERT_EQ(list.Count(), 32);
  EXPECT_EQ(list.First()->m_nSiteIndex, 0);
  EXPECT_EQ(list.Last()->m_nSiteIndex, 31);
  EXPECT_EQ(list.Last()->m_strSiteName, u"s31");
}

TEST_F(StoreTest, SaveRenumbersInListOrderAndWritesTheExactBytes) {
  SiteList list;
  EXPECT_EQ(list.NextSiteIndex(), 0);
  list.AppendSite(MakeSite(0, "Office", "192.168.0.10", 8000, "admin", ""));
  list.AppendSite(MakeSite(1, "one"));
  list.AppendSite(MakeSite(2, "middle"));
  list.AppendSite(MakeSite(3, "three", "h", 9, "u", "pa+ss"));  // saved, not loaded back
  list.AppendSite(MakeSite(4, "four"));
  ASSERT_EQ(list.RemoveSite(2), 1);
  EXPECT_EQ(list.NextSiteIndex(), 5);

  DebugCapture debug;
  SiteStore store(Folder());
  ASSERT_EQ(store.SaveSites(list), StoreResult::Ok);
  EXPECT_TRUE(debug.Contains(" Key Delete \r\n"));
  EXPECT_TRUE(store.Message().empty());

  auto raw = ReadRaw();
  std::sort(raw.begin(), raw.end(), [](const auto& x, const auto& y) { return x.name < y.name; });
  ASSERT_EQ(raw.size(), 4u);
  const std::string office = "Office+192.168.0.10+8000+admin++" + Zeros(32);
  EXPECT_EQ(raw[0].name, "0");
  EXPECT_EQ(raw[0].type, 1);
  EXPECT_EQ(raw[0].size, 64);
  EXPECT_EQ(std::string(raw[0].data.begin(), raw[0].data.end()), office);
  EXPECT_EQ(raw[2].name, "2");
  EXPECT_EQ(std::string(raw[2].data.begin(), raw[2].data.end()), "three+h+9+u+pa+ss+" + Zeros(18));
  EXPECT_EQ(raw[3].name, "3");

  // Memory keeps its indexes until the next start; the reload numbers them afresh.
  std::vector<int> indexes;
  for (const CDvrSession* s = list.First(); s != nullptr; s = s->m_pNext) indexes.push_back(s->m_nSiteIndex);
  EXPECT_EQ(indexes, (std::vector<int>{0, 1, 3, 4}));
  SiteList reloaded;
  ASSERT_EQ(store.LoadSites(reloaded, 0), StoreResult::Ok);
  const std::vector<SiteRow> expected{
      {0, "Office", "192.168.0.10", 8000, "admin", ""}, {1, "one", "a", 1, "u", ""}, {3, "four", "a", 1, "u", ""}};
  EXPECT_EQ(Describe(reloaded), expected);

  // A shorter list replaces the longer one: no old value survives.
  reloaded.ClearSites();
  ASSERT_EQ(store.SaveSites(reloaded), StoreResult::Ok);
  EXPECT_TRUE(ReadRaw().empty());
}

TEST(SiteList, LinksStayWholeThroughRemovals) {
  SiteList list;
  EXPECT_EQ(list.AppendSite(nullptr), 0);
  EXPECT_EQ(list.RemoveSite(0), 0);
  for (int i = 0; i < 3; ++i) list.AppendSite(MakeSite(i, std::to_string(i)));
  EXPECT_EQ(list.RemoveSite(9), 0);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.RemoveSite(0), 1);  // first
  EXPECT_EQ(list.First()->m_nSiteIndex, 1);
  EXPECT_EQ(list.First()->m_pPrev, nullptr);
  EXPECT_EQ(list.RemoveSite(2), 1);  // last
  EXPECT_EQ(list.Last(), list.First());
  EXPECT_EQ(list.Last()->m_pNext, nullptr);
  EXPECT_EQ(list.FindSite(1), list.First());
  EXPECT_EQ(list.RemoveSite(1), 1);  // the only one
  EXPECT_EQ(list.First(), nullptr);
  EXPECT_EQ(list.Last(), nullptr);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.NextSiteIndex(), 0);
}

TEST(CheckSiteFields, NamesTheFieldTheStoreCannotKeep) {
  const std::u16string f99(99, u'x'), f100(100, u'x');
  struct Case {
    std::u16string name, address, port, user, password;
    SiteFieldProblem expected;
  } cases[] = {
      {u"Office", u"192.168.0.10", u"8000", u"admin", u"", {}},
      {u"a+b", u"h", u"1", u"u", u"", {0, SiteFieldFault::PlusSign}},
      {u"a", u"h", u"1", u"u", u"p+", {4, SiteFieldFault::PlusSign}},
      {u"a", u"h", u"+80", u"u", u"", {}},  // the port is stored as its number
      {u"a", u"h\u4E2D", u"1", u"u", u"", {1, SiteFieldFault::NotInCodePage}},
      {u"Caf\u00E9 \u20AC", u"h", u"1", u"u", u"", {}},
      {u"a", u"h", u"1", f100, u"", {3, SiteFieldFault::FieldTooLong}},
      {f99, u"h", u"1", u"u", u"", {}},
      // 99 + 1 + 1 + 1 + 21 characters and five plus signs make 128: the longest text field is marked.
      {f99, u"h", u"1", u"u", std::u16string(21, u'p'), {0, SiteFieldFault::RecordTooLong}},
      {u"n", std::u16string(60, u'h'), u"1", u"u", std::u16string(61, u'p'), {4, SiteFieldFault::RecordTooLong}},
      {u"n", std::u16string(60, u'h'), u"1", u"u", std::u16string(59, u'p'), {}},  // 127
      // The port counts as the number it is stored as: "-12" is three characters.
      {u"n", std::u16string(60, u'h'), u"-12", u"u", std::u16string(58, u'p'), {1, SiteFieldFault::RecordTooLong}},
  };
  for (const auto& c : cases) {
    const SiteFieldProblem got = CheckSiteFields(c.name, c.address, c.port, c.user, c.password);
    EXPECT_EQ(got, c.expected) << Utf16ToUtf8(c.name) << " / " << Utf16ToUtf8(c.password) << ": field " << got.field;
  }
}
