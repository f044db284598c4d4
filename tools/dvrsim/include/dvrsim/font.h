// A 5 x 7 bitmap font for the simulator's picture captions: digits, capital
// letters (small letters are drawn as capitals) and the signs : - / . + # and
// blank.
#pragma once

#include <array>
#include <cstdint>

namespace dvrsim {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;

// One row per entry, bit 4 is the leftmost column.
using GlyphRows = std::array<uint8_t, kGlyphHeight>;

// The glyph of c; false for a character the font does not carry (rows are
// then cleared and the caption shows a blank).
bool Glyph(char c, GlyphRows* rows);

}  // namespace dvrsim
