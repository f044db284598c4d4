#include "protocol/text.h"

#include <algorithm>
#include <cstring>

namespace lv {
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five bytes that carry no character.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Returns -1 when the character has no byte in the code page.
int ToByte(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (int i = 0; i < 32; ++i)
    if (kHighControls[i] == c && c != 0) return 0x80 + i;
  // The five bytes without a character read as the C1 control of the same
  // value; they go back to that byte, so every byte read is written back
  // unchanged (a stored record survives the next save).
  if (c >= 0x80 && c <= 0x9F && kHighControls[c - 0x80] == 0) return c;
  return -1;
}

}  // namespace

std::int32_t ParseDecimal(const char16_t* text) {
  if (text == nullptr) return 0;
  const char16_t* p = text;
  bool negative = false;
  if (*p == u'-') {
    negative = true;
    ++p;
  }
  std::uint32_t value = 0;  // unsigned: wraps as 32-bit without undefined behaviour
  for (; *p != 0; ++p) {
    const char16_t c = *p;
    if (c >= u'0' && c <= u'9') {
      value = value * 10u + static_cast<std::uint32_t>(c - u'0');
    } else if (c == u' ' || c == u'\r' || c == u'+' || c == u'-') {
      continue;
    } else {
      return 0;
    }
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

std::uint8_t CharToAnsi(char16_t c) {
  const int b = ToByte(c);
  return b < 0 ? std::uint8_t{'?'} : static_cast<std::uint8_t>(b);
}

char16_t AnsiToChar(std::uint8_t b) {
  if (b >= 0x80 && b <= 0x9F) {
    const char16_t c = kHighControls[b - 0x80];
    return c != 0 ? c : char16_t{b};  // undefined bytes map to the C1 control of the same value
  }
  return b;
}

bool FitsCodePage(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) { return ToByte(c) >= 0; });
}

int WideToAnsi(const char16_t* text, char* buffer, int n) {
  std::memset(buffer, 0, 256);
  if (n < 0) n = 0;
  int written = 0;
  if (text != nullptr) {
    // One byte per character, terminator included, while there is room.
    for (const char16_t* p = text; written < n; ++p) {
      buffer[written++] = static_cast<char>(CharToAnsi(*p));
      if (*p == 0) break;
    }
  }
  buffer[n] = 0;
  return 1;
}

std::u16string AnsiToWide(const char* bytes) {
  if (bytes == nullptr) return {};
  return AnsiToWide(bytes, std::min<std::size_t>(std::strlen(bytes), 1023));
}

std::u16string AnsiToWide(const char* bytes, std::size_t length) {
  std::u16string out;
  if (bytes == nullptr) return out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const auto b = static_cast<std::uint8_t>(bytes[i]);
    if (b == 0) break;
    out.push_back(AnsiToChar(b));
  }
  return out;
}

std::string ToAnsi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) out.push_back(static_cast<char>(CharToAnsi(c)));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  // Strict decoding: overlong forms, encoded surrogates, code points above
  // U+10FFFF, stray continuation bytes and cut sequences each become one
  // U+FFFD (for the longest valid start of a sequence), and decoding resumes
  // at the first byte that did not fit.
  std::u16string out;
  out.reserve(text.size());
  const auto byteAt = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  std::size_t i = 0;
  while (i < text.size()) {
    const std::uint8_t b = byteAt(i++);
    if (b < 0x80) {
      out.push_back(b);
      continue;
    }
    std::size_t need = 0;      // continuation bytes that follow the lead
    std::uint8_t lo = 0x80, hi = 0xBF;  // the allowed range of the first of them
    std::uint32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;  // shorter forms are overlong
      if (b == 0xED) hi = 0x9F;  // ED A0..BF would encode surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;  // overlong
      if (b == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
      out.push_back(0xFFFD);  // C0, C1, F5..FF or a stray continuation byte
      continue;
    }
    bool complete = true;
    for (std::size_t k = 0; k < need; ++k, lo = 0x80, hi = 0xBF) {
      if (i >= text.size() || byteAt(i) < lo || byteAt(i) > hi) {
        complete = false;
        break;
      }
      cp = (cp << 6) | (byteAt(i++) & 0x3F);
    }
    if (!complete) {
      out.push_back(0xFFFD);
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

}  // namespace lv
