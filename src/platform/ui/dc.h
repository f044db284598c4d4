#pragma once
// Drawing surfaces: a device context draws either through the painter of a
// window being painted or, as a memory surface, into the bitmap selected into
// it. Brushes, pens and fonts are small values selected into the context.
#include <QImage>
#include <QPainter>
#include <optional>
#include <string_view>

#include "platform/ui/alpha_blend.h"
#include "platform/ui/font.h"
#include "platform/ui/win_messages.h"

namespace lv {

class CDC;

struct BITMAP {
  int bmWidth = 0;
  int bmHeight = 0;
  int bmBitsPixel = 0;
};

// A bitmap: pixels that can be loaded from the resources by id, created blank,
// selected into a memory surface and copied. Not copyable: a surface draws
// into the bitmap object selected into it.
class CBitmap {
 public:
  CBitmap() = default;
  ~CBitmap();
  CBitmap(const CBitmap&) = delete;
  CBitmap& operator=(const CBitmap&) = delete;

  // Loads bitmap resource id; false (and no picture) if it is missing.
  bool LoadBitmap(UINT id);
  // A width x height 32-bit bitmap, black.
  bool CreateCompatibleBitmap(const CDC* dc, int width, int height);
  // Takes a picture made elsewhere.
  bool Attach(QImage image);
  // Releases the pixels; refused (false) while selected into a surface.
  bool DeleteObject();
  bool IsNull() const { return m_image.isNull(); }
  int GetBitmap(BITMAP* info) const;
  CSize GetSize() const { return {m_image.width(), m_image.height()}; }
  const QImage& Image() const { return m_image; }

 private:
  friend class CDC;
  QImage m_image;
  CDC* m_selectedInto = nullptr;
};

struct CBrush {
  bool null = true;
  COLORREF color = 0;
  static CBrush Solid(COLORREF c) { return {false, c}; }
};

struct CPen {
  bool null = true;
  int width = 1;
  COLORREF color = 0;
  static CPen Solid(int w, COLORREF c) { return {false, w, c}; }
};

QColor ToQColor(COLORREF c);

class CDC {
 public:
  // A context with no surface: every drawing call does nothing.
  CDC() = default;
  // Draws through painter, which must outlive the context.
  explicit CDC(QPainter* painter) : m_painter(painter) {}
  ~CDC();
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  // Makes this a memory surface; it draws into the bitmap selected into it.
  bool CreateCompatibleDC(const CDC* reference);
  void DeleteDC();
  bool IsMemory() const { return m_memory; }
  bool IsNull() const { return !m_memory && !m_painter; }

  // Selections return what was selected before.
  CBitmap* SelectObject(CBitmap* bitmap);  // memory surfaces only
  CFont SelectObject(const CFont& font);
  CBrush SelectObject(const CBrush& brush);
  CPen SelectObject(const CPen& pen);

  COLORREF SetTextColor(COLORREF c);
  COLORREF SetBkColor(COLORREF c);
  int SetBkMode(int mode);
  COLORREF GetTextColor() const { return m_textColor; }
  COLORREF GetBkColor() const { return m_bkColor; }
  int GetBkMode() const { return m_bkMode; }
  int GetDeviceCaps(int index) const;

  void FillSolidRect(const CRect& rc, COLORREF c);
  void FillRect(const CRect& rc, const CBrush& brush);
  // Outline with the pen (inside the rectangle), interior with the brush.
  void Rectangle(const CRect& rc);
  // An ellipse inside rc, smoothed: outline with the pen, interior with the brush.
  void Ellipse(const CRect& rc);
  // Text in rc with DT_ flags; returns the height of the text drawn. Only
  // DT_SINGLELINE honours DT_VCENTER and DT_BOTTOM; otherwise lines break at
  // line feeds and start at the top. Text is drawn as given ('&' is literal).
  int DrawText(std::u16string_view text, const CRect& rc, UINT format);
  CSize GetTextExtent(std::u16string_view text) const;
  // A dotted rectangle that inverts what is under it.
  void DrawFocusRect(const CRect& rc);
  // Copies w x h pixels from (xSrc, ySrc) of a memory surface (SRCCOPY only).
  bool BitBlt(int x, int y, int w, int h, const CDC* src, int xSrc, int ySrc, DWORD rop);
  bool AlphaBlend(int x, int y, int w, int h, const CDC* src, int xSrc, int ySrc, int wSrc, int hSrc,
                  BLENDFUNCTION blend);
  // Draws a picture made elsewhere (a decoded or composed frame), stretched
  // to dst with smooth filtering.
  void DrawImage(const CRect& dst, const QImage& image);
  // Copies a picture at its own size with its top-left corner at (x, y).
  void CopyImage(int x, int y, const QImage& image);
  // The bitmap selected into a memory surface, or nullptr.
  const CBitmap* SelectedBitmap() const { return m_bitmap; }

 private:
  friend class CBitmap;
  QPainter* Painter();
  void EndMemoryPainter();
  void ReleaseBitmap();

  QPainter* m_painter = nullptr;
  bool m_memory = false;
  CBitmap* m_bitmap = nullptr;
  std::optional<QPainter> m_memoryPainter;
  CFont m_font;
  CBrush m_brush = CBrush::Solid(RGB(255, 255, 255));
  CPen m_pen = CPen::Solid(1, 0);
  COLORREF m_textColor = 0;
  COLORREF m_bkColor = RGB(255, 255, 255);
  int m_bkMode = OPAQUE;
};

}  // namespace lv
