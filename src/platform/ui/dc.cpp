#include "platform/ui/dc.h"

#include <QFontMetrics>
#include <QString>
#include <algorithm>
#include <utility>
#include <vector>

#include "platform/ui/dib.h"

namespace lv {

QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

// --- CBitmap ---

CBitmap::~CBitmap() {
  if (m_selectedInto) m_selectedInto->ReleaseBitmap();
}

bool CBitmap::LoadBitmap(UINT id) {
  if (m_selectedInto) return false;
  m_image = LoadBitmapResource(static_cast<int>(id));
  return !m_image.isNull();
}

bool CBitmap::CreateCompatibleBitmap(const CDC*, int width, int height) {
  if (m_selectedInto || width <= 0 || height <= 0) return false;
  m_image = QImage(width, height, QImage::Format_RGB32);
  if (m_image.isNull()) return false;
  m_image.fill(Qt::black);
  return true;
}

bool CBitmap::Attach(QImage image) {
  if (m_selectedInto) return false;
  m_image = std::move(image);
  return !m_image.isNull();
}

bool CBitmap::DeleteObject() {
  if (m_selectedInto) return false;
  const bool had = !m_image.isNull();
  m_image = QImage();
  return had;
}

int CBitmap::GetBitmap(BITMAP* info) const {
  if (!info || m_image.isNull()) return 0;
  info->bmWidth = m_image.width();
  info->bmHeight = m_image.height();
  info->bmBitsPixel = m_image.depth();
  return 1;
}

// --- CDC ---

CDC::~CDC() { DeleteDC(); }

bool CDC::CreateCompatibleDC(const CDC*) {
  DeleteDC();
  m_memory = true;
  return true;
}

void CDC::DeleteDC() {
  ReleaseBitmap();
  m_memory = false;
  m_painter = nullptr;
}

void CDC::EndMemoryPainter() {
  if (m_memoryPainter) {
    m_memoryPainter->end();
    m_memoryPainter.reset();
  }
}

void CDC::ReleaseBitmap() {
  EndMemoryPainter();
  if (m_bitmap) m_bitmap->m_selectedInto = nullptr;
  m_bitmap = nullptr;
}

QPainter* CDC::Painter() {
  if (m_painter) return m_painter;
  if (!m_memory || !m_bitmap || m_bitmap->m_image.isNull()) return nullptr;
  if (!m_memoryPainter) {
    // Paint on 32-bit pixels; 16-bit resources are widened once when first drawn on.
    if (m_bitmap->m_image.format() != QImage::Format_RGB32) m_bitmap->m_image.convertTo(QImage::Format_RGB32);
    m_memoryPainter.emplace(&m_bitmap->m_image);
  }
  return &*m_memoryPainter;
}

CBitmap* CDC::SelectObject(CBitmap* bitmap) {
  if (!m_memory) return nullptr;
  if (bitmap && bitmap->m_selectedInto && bitmap->m_selectedInto != this) return nullptr;
  CBitmap* previous = m_bitmap;
  ReleaseBitmap();
  m_bitmap = bitmap;
  if (m_bitmap) m_bitmap->m_selectedInto = this;
  return previous;
}

CFont CDC::SelectObject(const CFont& font) { return std::exchange(m_font, font); }
CBrush CDC::SelectObject(const CBrush& brush) { return std::exchange(m_brush, brush); }
CPen CDC::SelectObject(const CPen& pen) { return std::exchange(m_pen, pen); }
COLORREF CDC::SetTextColor(COLORREF c) { return std::exchange(m_textColor, c); }
COLORREF CDC::SetBkColor(COLORREF c) { return std::exchange(m_bkColor, c); }
int CDC::SetBkMode(int mode) { return std::exchange(m_bkMode, mode); }

int CDC::GetDeviceCaps(int index) const {
  return (index == LOGPIXELSX || index == LOGPIXELSY) ? ScreenDpiY() : 0;
}

void CDC::FillSolidRect(const CRect& rc, COLORREF c) {
  if (QPainter* p = Painter(); p && !rc.IsRectEmpty())
    p->fillRect(QRect(rc.left, rc.top, rc.Width(), rc.Height()), ToQColor(c));
}

void CDC::FillRect(const CRect& rc, const CBrush& brush) {
  if (!brush.null) FillSolidRect(rc, brush.color);
}

void CDC::Rectangle(const CRect& rc) {
  if (rc.IsRectEmpty()) return;
  FillRect(rc, m_brush);
  if (m_pen.null || m_pen.width <= 0) return;
  const int w = std::min({m_pen.width, rc.Width(), rc.Height()});
  FillSolidRect({rc.left, rc.top, rc.right, rc.top + w}, m_pen.color);
  FillSolidRect({rc.left, rc.bottom - w, rc.right, rc.bottom}, m_pen.color);
  FillSolidRect({rc.left, rc.top, rc.left + w, rc.bottom}, m_pen.color);
  FillSolidRect({rc.right - w, rc.top, rc.right, rc.bottom}, m_pen.color);
}

void CDC::Ellipse(const CRect& rc) {
  QPainter* p = Painter();
  if (!p || rc.IsRectEmpty()) return;
  p->save();
  p->setRenderHint(QPainter::Antialiasing);
  const bool pen = !m_pen.null && m_pen.width > 0;
  p->setPen(pen ? QPen(ToQColor(m_pen.color), m_pen.width) : QPen(Qt::NoPen));
  p->setBrush(m_brush.null ? QBrush(Qt::NoBrush) : QBrush(ToQColor(m_brush.color)));
  // The pen's width lies inside the rectangle, as for Rectangle.
  const qreal in = pen ? m_pen.width / 2.0 : 0.0;
  p->drawEllipse(QRectF(rc.left + in, rc.top + in, rc.Width() - 2 * in, rc.Height() - 2 * in));
  p->restore();
}

namespace {

QString ExpandTabs(const QString& line, bool expand) {
  if (!line.contains(u'\t')) return line;
  QString out;
  for (QChar c : line) {
    if (c != u'\t') {
      out += c;
    } else if (expand) {
      do out += u' '; while (out.size() % 8 != 0);
    } else {
      out += u' ';
    }
  }
  return out;
}

std::vector<QString> SplitLines(std::u16string_view text, UINT format) {
  QString all = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
  all.remove(u'\r');
  std::vector<QString> lines;
  if (format & DT_SINGLELINE) {
    all.replace(u'\n', u' ');
    lines.push_back(ExpandTabs(all, format & DT_EXPANDTABS));
  } else {
    for (const QString& l : all.split(u'\n')) lines.push_back(ExpandTabs(l, format & DT_EXPANDTABS));
  }
  return lines;
}

}  // namespace

int CDC::DrawText(std::u16string_view text, const CRect& rc, UINT format) {
  QPainter* p = Painter();
  if (!p) return 0;
  const QFont font = m_font.Font();
  const QFontMetrics fm(font);
  const std::vector<QString> lines = SplitLines(text, format);
  const int lineHeight = fm.height();
  const int total = lineHeight * static_cast<int>(lines.size());
  int y = rc.top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) y = rc.top + (rc.Height() - lineHeight) / 2;
    else if (format & DT_BOTTOM) y = rc.bottom - lineHeight;
  }
  p->save();
  p->setClipRect(QRect(rc.left, rc.top, rc.Width(), rc.Height()), Qt::IntersectClip);
  p->setFont(font);
  p->setPen(ToQColor(m_textColor));
  for (const QString& line : lines) {
    const int width = fm.horizontalAdvance(line);
    int x = rc.left;
    if (format & DT_CENTER) x = rc.left + (rc.Width() - width) / 2;
    else if (format & DT_RIGHT) x = rc.right - width;
    if (m_bkMode == OPAQUE) p->fillRect(QRect(x, y, width, lineHeight), ToQColor(m_bkColor));
    p->drawText(QPoint(x, y + fm.ascent()), line);
    y += lineHeight;
  }
  p->restore();
  return total;
}

CSize CDC::GetTextExtent(std::u16string_view text) const {
  const QFontMetrics fm(m_font.Font());
  const QString s = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
  return {fm.horizontalAdvance(s), fm.height()};
}

void CDC::DrawFocusRect(const CRect& rc) {
  QPainter* p = Painter();
  if (!p || rc.IsRectEmpty()) return;
  p->save();
  p->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  p->setPen(Qt::white);
  for (int x = rc.left; x < rc.right; x += 2) {
    p->drawPoint(x, rc.top);
    if (rc.bottom - 1 > rc.top) p->drawPoint(x, rc.bottom - 1);
  }
  for (int y = rc.top + 2; y < rc.bottom - 1; y += 2) {
    p->drawPoint(rc.left, y);
    if (rc.right - 1 > rc.left) p->drawPoint(rc.right - 1, y);
  }
  p->restore();
}

bool CDC::BitBlt(int x, int y, int w, int h, const CDC* src, int xSrc, int ySrc, DWORD rop) {
  if (rop != SRCCOPY || !src || !src->m_bitmap || w <= 0 || h <= 0) return false;
  QPainter* p = Painter();
  if (!p) return false;
  const QImage& image = src->m_bitmap->m_image;
  if (image.isNull()) return false;
  p->save();
  p->setCompositionMode(QPainter::CompositionMode_Source);
  p->drawImage(QRect(x, y, w, h), image, QRect(xSrc, ySrc, w, h));
  p->restore();
  return true;
}

void CDC::DrawImage(const CRect& dst, const QImage& image) {
  QPainter* p = Painter();
  if (!p || image.isNull() || dst.IsRectEmpty()) return;
  p->save();
  p->setRenderHint(QPainter::SmoothPixmapTransform);
  p->drawImage(QRect(dst.left, dst.top, dst.Width(), dst.Height()), image);
  p->restore();
}

void CDC::CopyImage(int x, int y, const QImage& image) {
  QPainter* p = Painter();
  if (!p || image.isNull()) return;
  p->save();
  p->setCompositionMode(QPainter::CompositionMode_Source);
  p->drawImage(QPoint(x, y), image);
  p->restore();
}

bool CDC::AlphaBlend(int x, int y, int w, int h, const CDC* src, int xSrc, int ySrc, int wSrc, int hSrc,
                     BLENDFUNCTION blend) {
  if (!src || !src->m_bitmap || src->m_bitmap->m_image.isNull()) return false;
  const QImage& image = src->m_bitmap->m_image;
  const QRect dstRect(x, y, w, h);
  const QRect srcRect(xSrc, ySrc, wSrc, hSrc);
  if (m_memory && m_bitmap && !m_bitmap->m_image.isNull()) {
    EndMemoryPainter();  // blend on the pixels directly
    return lv::AlphaBlend(m_bitmap->m_image, dstRect, image, srcRect, blend);
  }
  QPainter* p = Painter();
  if (!p || dstRect.isEmpty() || srcRect.isEmpty()) return false;
  // On a window only the pixels under the painter are known to Qt: an
  // addition (source alpha 0) maps to the Plus mode, anything else to a plain
  // blend with the constant alpha.
  const bool additive = (blend.AlphaFormat & AC_SRC_ALPHA) && !image.hasAlphaChannel();
  p->save();
  p->setCompositionMode(additive ? QPainter::CompositionMode_Plus : QPainter::CompositionMode_SourceOver);
  p->setOpacity(blend.SourceConstantAlpha / 255.0);
  p->drawImage(dstRect, image, srcRect);
  p->restore();
  return true;
}

}  // namespace lv
