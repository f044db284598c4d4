// Text conversions on arbitrary input: decimal parsing, the code page both
// ways, UTF-8 both ways. Round trips are checked where they must hold; the
// buffers are sized exactly so any overrun is caught.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "protocol/text.h"

using namespace lv;

namespace {

std::u16string TextFrom(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  return text;
}

void Decimal(const std::u16string& text) {
  // Digits count, blanks, CRs and signs are skipped, a leading minus negates,
  // anything else makes it 0.
  std::uint32_t digits = 0;
  bool number = true;
  for (char16_t c : text.substr(0, text.find(u'\0'))) {
    if (c >= u'0' && c <= u'9') digits = digits * 10u + (c - u'0');
    else if (c != u' ' && c != u'\r' && c != u'+' && c != u'-') number = false;
  }
  const bool negative = !text.empty() && text[0] == u'-';
  const auto want = static_cast<std::int32_t>(number ? (negative ? 0u - digits : digits) : 0u);
  std::vector<char16_t> exact(text.begin(), text.end());
  exact.push_back(0);
  FUZZ_CHECK(ParseDecimal(exact.data()) == want);
}

void WideToAnsiBounds(const std::u16string& text, int n) {
  std::vector<char16_t> exact(text.begin(), text.end());
  exact.push_back(0);
  std::vector<char> buffer(static_cast<std::size_t>(std::max(256, n + 1)), '\x55');
  FUZZ_CHECK(WideToAnsi(exact.data(), buffer.data(), n) == 1);
  FUZZ_CHECK(buffer[static_cast<std::size_t>(n)] == 0);
  const std::size_t end = std::min<std::size_t>(text.find(u'\0') == std::u16string::npos ? text.size() : text.find(u'\0'),
                                                static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < end; ++i) FUZZ_CHECK(static_cast<std::uint8_t>(buffer[i]) == CharToAnsi(text[i]));
  for (std::size_t i = end; i < 256; ++i) FUZZ_CHECK(buffer[i] == 0);
}

void CodePage(const std::uint8_t* data, std::size_t size) {
  // Bytes -> text -> bytes gives back every byte up to the first zero.
  const std::u16string text = AnsiToWide(reinterpret_cast<const char*>(data), size);
  const std::size_t zero = std::find(data, data + size, 0) - data;
  FUZZ_CHECK(text.size() == zero);
  FUZZ_CHECK(FitsCodePage(text));
  FUZZ_CHECK(ToAnsi(text) == std::string(reinterpret_cast<const char*>(data), zero));

  // The terminated form keeps at most 1023 characters.
  std::vector<char> terminated(data, data + size);
  terminated.push_back(0);
  const std::u16string capped = AnsiToWide(terminated.data());
  FUZZ_CHECK(capped == text.substr(0, 1023));
}

void Utf8(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string wide = Utf8ToUtf16(bytes);
  // What comes out is well formed and survives a second trip unchanged.
  const std::string narrow = Utf16ToUtf8(wide);
  FUZZ_CHECK(Utf8ToUtf16(narrow) == wide);
  if (wide.find(u'\xFFFD') == std::u16string::npos) FUZZ_CHECK(narrow == bytes);
  FUZZ_CHECK(wide.size() <= size);

  // UTF-16 of any kind: only unpaired surrogates change.
  const std::u16string any = TextFrom(data, size);
  const std::u16string back = Utf8ToUtf16(Utf16ToUtf8(any));
  FUZZ_CHECK(back.size() == any.size());
  for (std::size_t i = 0; i < any.size(); ++i) {
    const char16_t c = any[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
    const bool paired = (high && i + 1 < any.size() && any[i + 1] >= 0xDC00 && any[i + 1] <= 0xDFFF) ||
                        (low && i > 0 && any[i - 1] >= 0xD800 && any[i - 1] <= 0xDBFF && back[i - 1] == any[i - 1]);
    FUZZ_CHECK(back[i] == ((high || low) && !paired ? u'\xFFFD' : c));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t mode = data[0];
  const std::uint8_t arg = data[1];
  data += 2;
  size -= 2;
  switch (mode % 5) {
    case 0: Decimal(TextFrom(data, size)); break;
    case 1: WideToAnsiBounds(TextFrom(data, size), arg * 3 - 100 < 0 ? 0 : arg * 3 - 100); break;
    case 2: CodePage(data, size); break;
    case 3: Utf8(data, size); break;
    default: {
      // A text fits the code page exactly when it comes back unchanged.
      std::u16string text = TextFrom(data, size);
      std::replace(text.begin(), text.end(), u'\0', u' ');
      FUZZ_CHECK(FitsCodePage(text) == (AnsiToWide(ToAnsi(text).data(), text.size()) == text));
      break;
    }
  }
  return 0;
}
