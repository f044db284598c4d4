#include <gtest/gtest.h>

#include <cstring>

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
// decoding resumes at the byte that did not fit); nothing malformed ever
// yields a character, least of all '\0', '.', '/' or a lone surrogate.
TEST(Utf8, MalformedSequencesBecomeReplacementCharacters) {
  struct Case {
    const char* what;
    std::string bytes;
    std::u16string expected;
  } cases[] = {
      {"overlong NUL", "\xC0\x80", u"\uFFFD\uFFFD"},
      {"overlong '.'", "\xC0\xAE", u"\uFFFD\uFFFD"},
      {"C1 lead", "\xC1\xBF" "a", u"\uFFFD\uFFFDa"},
      {"overlong '/' in three bytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"overlong in four bytes", "\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"encoded high surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"encoded low surrogate", "\xED\xBF\xBF", u"\uFFFD\uFFFD\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"lead F5", "\xF5\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"lead FE", "\xFE" "b", u"\uFFFDb"},
      {"stray continuation", "a\x80" "b", u"a\uFFFDb"},
      {"cut three-byte sequence", "\xE2\x82" "c", u"\uFFFDc"},
      {"cut at the end", "x\xF0\x9F\x98", u"x\uFFFD"},
      {"lead before a new lead", "\xC3\xC3\xA9", u"\uFFFD\u00E9"},
      // The edges of what is valid still decode.
      {"U+0080", "\xC2\x80", u"\u0080"},
      {"U+0800", "\xE0\xA0\x80", u"\u0800"},
      {"U+D7FF", "\xED\x9F\xBF", u"\uD7FF"},
      {"U+E000", "\xEE\x80\x80", u"\uE000"},
      {"U+10000", "\xF0\x90\x80\x80", u"\U00010000"},
      {"U+10FFFF", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.bytes), c.expected) << c.what;
}
