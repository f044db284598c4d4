#pragma once
// Drawing pieces shared by the skin pictures: button backgrounds, captions
// and glyphs. Everything is drawn with antialiasing on 32-bit images.
#include <QColor>
#include <QPainter>
#include <QRectF>
#include <QString>

namespace skin {

inline const QColor kOrange(255, 168, 0);
inline const QColor kYellowGreen(165, 202, 51);
inline const QColor kWhite(255, 255, 255);

enum class Face {
  Carbon,      // dark carbon-fibre weave: normal
  BrightBlue,  // bright blue vertical gradient: hover
  DarkBlue,    // dark blue: pressed
  ChannelBlue, // the channel buttons' blue (normal)
};

// Fills rect with a button face and its bevel.
void PaintFace(QPainter& p, const QRect& rect, Face face);

// Bold sans-serif text centred in rect, pixel size px.
void Caption(QPainter& p, const QRectF& rect, const QString& text, int px, const QColor& color);

// An arrow centred at c, length len, pointing at angle degrees (0 right, 90 down).
void Arrow(QPainter& p, QPointF c, double len, double angle, const QColor& color);
// A plus or minus sign centred at c.
void Plus(QPainter& p, QPointF c, double size, double thickness, const QColor& color);
void Minus(QPainter& p, QPointF c, double size, double thickness, const QColor& color);
// A gear with teeth, centred at c.
void Gear(QPainter& p, QPointF c, double radius, const QColor& color);
// Outline of a text field (a box with a cursor) and of a window (with title bar).
void TextField(QPainter& p, const QRectF& r, const QColor& color);
void WindowOutline(QPainter& p, const QRectF& r, const QColor& color);
// A router with two antennas and radio waves.
void Router(QPainter& p, const QRectF& r, const QColor& body, const QColor& waves);

}  // namespace skin
