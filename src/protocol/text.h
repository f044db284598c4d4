#pragma once
// Text conversions shared by the wire, the DDNS exchange and the site store.
// The program keeps its texts as UTF-16; the multibyte code page is
// Windows-1252 (one byte per character; a character it cannot carry becomes '?').
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lv {

// Decimal text to a signed 32-bit integer. A leading '-' negates; blanks,
// carriage returns, '+' and '-' are skipped wherever they stand; any other
// non-digit makes the result 0. No text (nullptr) and the empty text give 0.
// No overflow check: the arithmetic wraps as 32-bit.
std::int32_t ParseDecimal(const char16_t* text);
inline std::int32_t ParseDecimal(const std::u16string& text) { return ParseDecimal(text.c_str()); }

// Clears the first 256 bytes of buffer, converts text (up to and including its
// terminator) writing at most n bytes, then writes a zero at buffer[n].
// buffer must hold at least max(256, n + 1) bytes. Always returns 1.
int WideToAnsi(const char16_t* text, char* buffer, int n);

// Zero-terminated multibyte bytes to UTF-16, at most 1023 characters kept.
std::u16string AnsiToWide(const char* bytes);
// The same for a byte run that need not be terminated: at most length bytes,
// stopping at a zero byte.
std::u16string AnsiToWide(const char* bytes, std::size_t length);

// True if every character has a byte of its own in the code page.
bool FitsCodePage(std::u16string_view text);
// One character to its code-page byte; '?' if it has none.
std::uint8_t CharToAnsi(char16_t c);
char16_t AnsiToChar(std::uint8_t b);

// UTF-16 <-> UTF-8, for debug lines and the UI. Unpaired surrogates and every
// malformed UTF-8 sequence (overlong, encoded surrogate, beyond U+10FFFF,
// stray or missing continuation bytes) become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
// The code-page bytes of text as a std::string.
std::string ToAnsi(std::u16string_view text);

}  // namespace lv
