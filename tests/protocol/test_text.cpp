#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "protocol/text.h"

using namespace lv;

TEST(ParseDecimal, Table) {
  struct Case {
    const char16_t* text;
    std::int32_t expected;
  } cases[] = {
      {u"8000", 8000},     {u"  8000", 8000},   {u"80 00", 8000}, {u"8000 ", 8000},  {u"-5", -5},
      {u"5-", 5},          {u" -5", 5},         {u"+80", 80},     {u"80a0", 0},      {u"", 0},
      {u"65536", 65536},   {u"3.5", 0},         {u"\r12\r", 12},  {u"--7", -7},      {u"0", 0},
      {u"4294967296", 0},  // wraps as 32-bit
      {u"2147483648", INT32_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDecimal(c.text), c.expected) << Utf16ToUtf8(c.text);
  EXPECT_EQ(ParseDecimal(static_cast<const char16_t*>(nullptr)), 0);
}

TEST(WideToAnsi, CutsAtNAndTerminates) {
  char buf[300];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(WideToAnsi(u"hello world", buf, 5), 1);
  EXPECT_EQ(std::string(buf, 6), std::string("hello\0", 6));
  // The first 256 bytes are cleared whatever n is.
  for (int i = 6; i < 256; ++i) ASSERT_EQ(buf[i], 0) << i;
  EXPECT_EQ(buf[256], 'x');
}

TEST(WideToAnsi, WholeTextWhenNIsLarger) {
  char buf[256];
  WideToAnsi(u"abc", buf, 10);
  EXPECT_STREQ(buf, "abc");
}

TEST(CodePage, RoundTripsAndReplacesWhatItCannotCarry) {
  // Latin-1 letters, the euro sign (0x80 in the code page) and a CJK letter.
  const std::u16string text = u"caf\u00e9 \u20ac \u4e2d";
  EXPECT_FALSE(FitsCodePage(text));
  EXPECT_TRUE(FitsCodePage(u"caf\u00e9 \u20ac"));
  const std::string bytes = ToAnsi(text);
  ASSERT_EQ(bytes.size(), text.size());
  EXPECT_EQ(static_cast<unsigned char>(bytes[3]), 0xE9);
  EXPECT_EQ(static_cast<unsigned char>(bytes[5]), 0x80);
  EXPECT_EQ(bytes[7], '?');
  EXPECT_EQ(AnsiToWide(bytes.c_str()), u"caf\u00e9 \u20ac ?");
}

TEST(CodePage, EveryByteReadIsWrittenBackUnchanged) {
  // Including the five bytes that carry no character (0x81, 0x8D, 0x8F, 0x90,
  // 0x9D): a stored value holding one must survive the next save.
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::u16string text = AnsiToWide(all.c_str());
  ASSERT_EQ(text.size(), all.size());
  EXPECT_TRUE(FitsCodePage(text));
  EXPECT_EQ(ToAnsi(text), all);
}

TEST(AnsiToWide, StopsAtZeroAndKeepsAtMost1023) {
  EXPECT_EQ(AnsiToWide("ab\0cd"), u"ab");
  const std::string big(5000, 'a');
  EXPECT_EQ(AnsiToWide(big.c_str()).size(), 1023u);
  EXPECT_EQ(AnsiToWide(big.data(), 3), u"aaa");
  EXPECT_EQ(AnsiToWide(nullptr), u"");
}

TEST(Utf8, RoundTripIncludingSurrogatePairs) {
  const std::u16string text = u"Caf\u00e9 \u4e2d \U0001F600";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf16ToUtf8(u"\u00e9"), "\xC3\xA9");
  EXPECT_EQ(Utf8ToUtf16("\xFF" "a"), u"\uFFFDa");  // invalid byte
  EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");       // cut sequence
}

// Every malformed sequence becomes U+FFFD (one per longest valid start, then
// decoding resumes at the byte that did not fit); the edges of what is valid
// still decode.
TEST(Utf8, MalformedSequencesBecomeReplacementCharacters) {
  const std::u16string r = u"\uFFFD";
  const std::pair<std::string, std::u16string> cases[] = {
      {"\xC0\x80", r + r},                   // overlong U+0000
      {"\xC0\xAE", r + r},                   // overlong '.'
      {"\xE0\x80\xAF", r + r + r},           // overlong '/'
      {"\xF0\x8F\xBF\xBF", r + r + r + r},   // overlong in four bytes
      {"\xED\xA0\x80", r + r + r},           // encoded surrogate
      {"\xF4\x90\x80\x80", r + r + r + r},   // above U+10FFFF
      {"\xF5\x80" "a", r + r + u"a"},        // lead above F4
      {"a\x80" "b", u"a" + r + u"b"},        // stray continuation
      {"\xE2\x82" "c", r + u"c"},            // cut sequence
      {"\xC3\xC3\xA9", r + u"\u00E9"},       // cut by a new lead
      {"\xC2\x80\xED\x9F\xBF\xEE\x80\x80", u"\u0080\uD7FF\uE000"},
      {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", u"\U00010000\U0010FFFF"},
  };
  for (const auto& [bytes, expected] : cases) EXPECT_EQ(Utf8ToUtf16(bytes), expected);
}
