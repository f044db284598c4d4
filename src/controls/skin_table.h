#pragma once
// The skin bitmaps: every picture the program shows apart from filled
// backgrounds, label texts and video. Code refers to them only by these ids;
// the table gives each id its size, pixel depth and role. Standard library
// only, so the build-time generator shares it.
#include <array>
#include <cstddef>

namespace lv {

enum class SkinRole {
  SiteListButton,  // 120 x 106, 16-bit
  Arrow,           // 120 x 60, 32-bit, loaded by nothing
  RegButton,       // 240 x 106, 16-bit
  ChannelButton,   // 120 x 60, 16-bit
  TitlePicture,    // 480 x 360, 16-bit: the video area's background
  PtzButton,       // 120 x 60, 16-bit
  PtzOverlay,      // 50 x 50, 32-bit: blended over the video while a PTZ button is held
  PtzBadge,        // 50 x 30, 32-bit
};

struct SkinBitmapInfo {
  int id;
  int width;
  int height;
  int bits;
  SkinRole role;
};

// Site list buttons b (0 add, 1 modify, 2 delete, 3 connect); disabled uses normal.
inline constexpr int IDB_LIST_BTN_FIRST = 130;
constexpr int ListButtonNormal(int b) { return 130 + 3 * b; }
constexpr int ListButtonPressed(int b) { return 131 + 3 * b; }
constexpr int ListButtonHover(int b) { return 132 + 3 * b; }

inline constexpr int IDB_ARROW_ON_WHITE = 147;
inline constexpr int IDB_ARROW_ON_BLACK = 148;

// Registration dialog buttons; disabled uses normal.
inline constexpr int IDB_REG_OK_NORMAL = 150;
inline constexpr int IDB_REG_OK_PRESSED = 151;
inline constexpr int IDB_REG_OK_HOVER = 152;
inline constexpr int IDB_REG_CANCEL_NORMAL = 153;
inline constexpr int IDB_REG_CANCEL_PRESSED = 154;
inline constexpr int IDB_REG_CANCEL_HOVER = 155;

// Channel button k (0..15); a channel the DVR lacks shows the absent face in all states.
inline constexpr int IDB_CH_BTN_FIRST = 160;
constexpr int ChannelButtonNormal(int k) { return 160 + 4 * k; }
constexpr int ChannelButtonHover(int k) { return 161 + 4 * k; }
constexpr int ChannelButtonPressed(int k) { return 162 + 4 * k; }
constexpr int ChannelButtonAbsent(int k) { return 163 + 4 * k; }

inline constexpr int IDB_TITLE = 224;

// PTZ button k (0..15); the normal face is also its hover and disabled face.
inline constexpr int IDB_PTZ_BTN_FIRST = 225;
constexpr int PtzButtonNormal(int k) { return 225 + 2 * k; }
constexpr int PtzButtonPressed(int k) { return 226 + 2 * k; }

inline constexpr int IDB_PTZ_OVERLAY_FIRST = 257;
constexpr int PtzOverlay(int k) { return 257 + k; }
inline constexpr int IDB_PTZ_BADGE = 273;

inline constexpr std::size_t kSkinBitmapCount = 134;

namespace detail {
constexpr std::array<SkinBitmapInfo, kSkinBitmapCount> MakeSkinTable() {
  std::array<SkinBitmapInfo, kSkinBitmapCount> t{};
  std::size_t n = 0;
  const auto add = [&](int first, int last, int w, int h, int bits, SkinRole role) {
    for (int id = first; id <= last; ++id) t[n++] = {id, w, h, bits, role};
  };
  add(130, 141, 120, 106, 16, SkinRole::SiteListButton);
  add(147, 148, 120, 60, 32, SkinRole::Arrow);
  add(150, 155, 240, 106, 16, SkinRole::RegButton);
  add(160, 223, 120, 60, 16, SkinRole::ChannelButton);
  add(224, 224, 480, 360, 16, SkinRole::TitlePicture);
  add(225, 256, 120, 60, 16, SkinRole::PtzButton);
  add(257, 272, 50, 50, 32, SkinRole::PtzOverlay);
  add(273, 273, 50, 30, 32, SkinRole::PtzBadge);
  return t;
}
}  // namespace detail

inline constexpr std::array<SkinBitmapInfo, kSkinBitmapCount> kSkinBitmaps = detail::MakeSkinTable();

constexpr const SkinBitmapInfo* FindSkinBitmap(int id) {
  for (const SkinBitmapInfo& info : kSkinBitmaps)
    if (info.id == id) return &info;
  return nullptr;
}

}  // namespace lv
