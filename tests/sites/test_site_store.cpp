// The load and save rules on the exact stored bytes, the site list and the
// refusal rules of the registration form.
#include "sites/site_record.h"
#include "store_test_support.h"
#include "support/pump.h"

using namespace lv;
using namespace lvtest;

namespace {
std::string Zeros(std::size_t n) { return std::string(n, '\0'); }
}  // namespace

TEST_F(StoreTest, LoadKeepsOnlyWellFormedStringValuesZeroToThirtyOne) {
  std::vector<RawValue> values{
      {"0", 1, "a+b+1+c++"},
      {"1", 1, "a+b+1+c+"},    // four plus signs
      {"2", 1, "a+b+1+c+++"},  // six
      {"3", 1, "a+b+1+c++e"},  // the trailing e is ignored
      {"4", 1, "++0+++" + Zeros(6)},
      {"5", 3, "bin+b+1+c++"},  // not a string
      {"6", 1, ""},
      {"7", 1, std::string("z+b+ 80 +c+p+\0x+y+", 18)},   // up to the first zero byte
      {"8", 1, std::string(250, 'n') + "+b+1+c++"},       // the fifth '+' lies past the 256 bytes read
      {"10", 1, "gap+b+2+c+d+"},                          // 9 is missing: the index keeps the gap
      {"00", 1, "x+b+1+c++"},                             // not a name the loader asks for
  };
  for (int i = 11; i < 40; ++i) values.emplace_back(std::to_string(i), 1, "s" + std::to_string(i) + "+h+1+u++");
  WriteRaw(values);
  SiteList list;
  ASSERT_EQ(SiteStore(Folder()).LoadSites(list, 77), StoreResult::Ok);
  std::vector<SiteRow> expected{{0, "a", "b", 1, "c", ""},   {3, "a", "b", 1, "c", ""},
                                {4, "", "", 0, "", ""},      {7, "z", "b", 80, "c", "p"},
                                {10, "gap", "b", 2, "c", "d"}};
  for (int i = 11; i < 32; ++i) expected.emplace_back(i, "s" + std::to_string(i), "h", 1, "u", "");
  EXPECT_EQ(Describe(list), expected);
  EXPECT_EQ(list.Count(), 26);
  EXPECT_EQ(list.First()->m_hNotifyWnd.load(), 77u);
}

TEST_F(StoreTest, SaveRenumbersInListOrderAndWritesTheExactBytes) {
  SiteList list;
  EXPECT_EQ(list.NextSiteIndex(), 0);
  Add(list, 0, "Office", "192.168.0.10", 8000, "admin");
  Add(list, 1, "Caf\u00E9 \u20AC \u4E2D", "h", -5);  // one byte a character; '?' where the code page has none
  Add(list, 2, "middle");
  Add(list, 3, "plus", "h", 9, "u", "pa+ss");         // saved, but skipped at the next load
  Add(list, 4, std::string(200, 'n'));                // over the limits, yet stored and loaded whole
  Add(list, 5, "five");
  ASSERT_EQ(list.RemoveSite(2), 1);
  EXPECT_EQ(list.NextSiteIndex(), 6);

  DebugCapture debug;
  SiteStore store(Folder());
  ASSERT_EQ(store.SaveSites(list), StoreResult::Ok);
  EXPECT_EQ(debug.Lines(), std::vector<std::string>{" Key Delete \r\n"});
  const std::map<std::string, RawValue> expected{
      {"0", {"0", 1, "Office+192.168.0.10+8000+admin++" + Zeros(32)}},
      {"1", {"1", 1, "Caf\xE9 \x80 ?+h+-5+u++" + Zeros(17)}},
      {"2", {"2", 1, "plus+h+9+u+pa+ss+" + Zeros(17)}},
      {"3", {"3", 1, std::string(200, 'n') + "+a+1+u++" + Zeros(208)}},
      {"4", {"4", 1, "five+a+1+u++" + Zeros(12)}},
  };
  EXPECT_EQ(ReadRaw(), expected);

  // Memory keeps its indexes until the next start; the reload numbers them afresh.
  std::vector<int> indexes;
  for (const CDvrSession* s = list.First(); s != nullptr; s = s->m_pNext) indexes.push_back(s->m_nSiteIndex);
  EXPECT_EQ(indexes, (std::vector<int>{0, 1, 3, 4, 5}));
  SiteList reloaded;
  ASSERT_EQ(store.LoadSites(reloaded, 0), StoreResult::Ok);
  EXPECT_EQ(Describe(reloaded), (std::vector<SiteRow>{{0, "Office", "192.168.0.10", 8000, "admin", ""},
                                                      {1, "Caf\u00E9 \u20AC ?", "h", -5, "u", ""},
                                                      {3, std::string(200, 'n'), "a", 1, "u", ""},
                                                      {4, "five", "a", 1, "u", ""}}));

  // A shorter list replaces a longer one whole: no old value survives.
  reloaded.ClearSites();
  EXPECT_EQ(reloaded.Count(), 0);
  ASSERT_EQ(store.SaveSites(reloaded), StoreResult::Ok);
  EXPECT_TRUE(ReadRaw().empty());
}

TEST(SiteList, LinksStayWholeThroughRemovals) {
  SiteList list;
  EXPECT_EQ(list.AppendSite(nullptr), 0);
  EXPECT_EQ(list.RemoveSite(0), 0);
  for (int i = 0; i < 3; ++i) Add(list, i, std::to_string(i));
  EXPECT_EQ(list.RemoveSite(9), 0);
  EXPECT_EQ(list.RemoveSite(0), 1);  // the first
  EXPECT_EQ(list.First()->m_pPrev, nullptr);
  EXPECT_EQ(list.RemoveSite(2), 1);  // the last
  EXPECT_EQ(list.Last(), list.First());
  EXPECT_EQ(list.Last()->m_pNext, nullptr);
  EXPECT_EQ(list.FindSite(1), list.First());
  EXPECT_EQ(list.RemoveSite(1), 1);  // the only one
  EXPECT_TRUE(list.First() == nullptr && list.Last() == nullptr && list.Count() == 0);
}

TEST(CheckSiteFields, NamesTheFieldTheStoreCannotKeep) {
  const std::u16string f99(99, u'x'), h60(60, u'h');
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
      {u"a", u"h", u"1", std::u16string(100, u'u'), u"", {3, SiteFieldFault::FieldTooLong}},
      {f99, u"h", u"1", u"u", u"", {}},
      // 99 + 1 + 1 + 1 + 21 characters and five plus signs make 128: the longest text field is marked.
      {f99, u"h", u"1", u"u", std::u16string(21, u'p'), {0, SiteFieldFault::RecordTooLong}},
      {u"n", h60, u"1", u"u", std::u16string(61, u'p'), {4, SiteFieldFault::RecordTooLong}},
      {u"n", h60, u"1", u"u", std::u16string(59, u'p'), {}},  // 127
      // The port counts as the number it is stored as: "-12" is three characters.
      {u"n", h60, u"-12", u"u", std::u16string(58, u'p'), {1, SiteFieldFault::RecordTooLong}},
  };
  for (const auto& c : cases) {
    const SiteFieldProblem got = CheckSiteFields(c.name, c.address, c.port, c.user, c.password);
    EXPECT_EQ(got, c.expected) << Utf16ToUtf8(c.name) << " / " << Utf16ToUtf8(c.password) << ": field " << got.field;
  }
}
