#pragma once
// Fonts by description: the face, height and weight a window asks for, turned
// into a Qt font. A face that is not installed (Tahoma, MS Shell Dlg) falls
// back to the system's sans-serif font.
#include <QFont>
#include <cstdint>
#include <memory>
#include <string>

namespace lv {

// A font description. All zero (and an empty face) means "the default font".
struct LOGFONT {
  std::int32_t lfHeight = 0;  // > 0: cell height in pixels; < 0: character height; 0: default
  std::int32_t lfWidth = 0;
  std::int32_t lfEscapement = 0;
  std::int32_t lfOrientation = 0;
  std::int32_t lfWeight = 0;  // 0 = normal, 400 normal, 700 bold
  std::uint8_t lfItalic = 0;
  std::uint8_t lfUnderline = 0;
  std::uint8_t lfStrikeOut = 0;
  std::uint8_t lfCharSet = 0;
  std::uint8_t lfOutPrecision = 0;
  std::uint8_t lfClipPrecision = 0;
  std::uint8_t lfQuality = 0;
  std::uint8_t lfPitchAndFamily = 0;
  std::u16string lfFaceName;  // at most 31 characters are used
  friend bool operator==(const LOGFONT&, const LOGFONT&) = default;
};

// The Qt font for a description, at the screen's resolution.
QFont FontFromLogFont(const LOGFONT& lf);

// Points to pixels at the screen's vertical resolution, rounded to nearest.
int PointsToPixels(int points);
// The screen's logical pixels per inch (vertical).
int ScreenDpiY();

// A font object. Copies share one font; the font lives while any copy (or a
// window it was given to) holds it.
class CFont {
 public:
  CFont() = default;

  bool CreateFontIndirect(const LOGFONT& lf);
  bool CreateFontIndirect(const LOGFONT* lf) { return lf && CreateFontIndirect(*lf); }
  void DeleteObject() { m_data.reset(); }
  bool IsNull() const { return !m_data; }
  // Copies the description the font was made from; false if there is no font.
  bool GetLogFont(LOGFONT* lf) const;
  // The Qt font; the application's default font if there is none.
  QFont Font() const;
  // The same font with its letters narrowed to percent of their width (a
  // text that would not fit its box); the description stays the same.
  CFont Condensed(int percent) const;

 private:
  struct Data {
    LOGFONT logFont;
    QFont font;
  };
  std::shared_ptr<const Data> m_data;
};

}  // namespace lv
