#include "skin_art.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QtMath>

namespace skin {
namespace {

void Bevel(QPainter& p, const QRect& r, const QColor& light, const QColor& dark) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(dark);
  p.drawRect(r.adjusted(0, 0, -1, -1));
  p.setPen(light);
  p.drawLine(r.left() + 1, r.top() + 1, r.right() - 1, r.top() + 1);
  p.drawLine(r.left() + 1, r.top() + 1, r.left() + 1, r.bottom() - 1);
  p.restore();
}

void Gradient(QPainter& p, const QRect& r, const QColor& top, const QColor& bottom) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  p.fillRect(r, g);
}

void Carbon(QPainter& p, const QRect& r) {
  p.fillRect(r, QColor(18, 18, 20));
  // A twill weave: cells of 6 pixels, alternating horizontal and vertical
  // gradients, shifted by one cell per pair of rows.
  constexpr int kCell = 6;
  for (int y = r.top(); y < r.bottom(); y += kCell) {
    for (int x = r.left(); x < r.right(); x += kCell) {
      const int cx = (x - r.left()) / kCell;
      const int cy = (y - r.top()) / kCell;
      const QRect cell(x, y, kCell, kCell);
      const bool horizontal = ((cx + cy / 2) % 2) == 0;
      QLinearGradient g(cell.topLeft(), horizontal ? cell.bottomLeft() : cell.topRight());
      g.setColorAt(0, QColor(50, 50, 54));
      g.setColorAt(0.5, QColor(34, 34, 38));
      g.setColorAt(1, QColor(16, 16, 18));
      p.fillRect(cell.intersected(r), g);
    }
  }
  // A soft sheen over the upper half.
  QLinearGradient sheen(r.topLeft(), r.bottomLeft());
  sheen.setColorAt(0, QColor(255, 255, 255, 38));
  sheen.setColorAt(0.5, QColor(255, 255, 255, 8));
  sheen.setColorAt(1, QColor(0, 0, 0, 40));
  p.fillRect(r, sheen);
}

}  // namespace

void PaintFace(QPainter& p, const QRect& r, Face face) {
  switch (face) {
    case Face::Carbon:
      Carbon(p, r);
      Bevel(p, r, QColor(90, 90, 96), QColor(0, 0, 0));
      break;
    case Face::BrightBlue:
      Gradient(p, r, QColor(110, 190, 255), QColor(24, 110, 220));
      Bevel(p, r, QColor(190, 228, 255), QColor(8, 40, 100));
      break;
    case Face::DarkBlue:
      Gradient(p, r, QColor(14, 44, 104), QColor(6, 22, 60));
      Bevel(p, r, QColor(4, 12, 34), QColor(40, 80, 150));
      break;
    case Face::ChannelBlue:
      Gradient(p, r, QColor(64, 148, 240), QColor(20, 84, 190));
      Bevel(p, r, QColor(150, 205, 255), QColor(8, 36, 96));
      break;
  }
}

void Caption(QPainter& p, const QRectF& rect, const QString& text, int px, const QColor& color) {
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(px);
  font.setWeight(QFont::Bold);
  p.save();
  p.setFont(font);
  // A dark shadow keeps light text readable on the bright faces.
  p.setPen(QColor(0, 0, 0, 150));
  p.drawText(rect.translated(1, 1), Qt::AlignCenter, text);
  p.setPen(color);
  p.drawText(rect, Qt::AlignCenter, text);
  p.restore();
}

void Arrow(QPainter& p, QPointF c, double len, double angle, const QColor& color) {
  const double h = len / 2;
  const double shaft = len * 0.16;
  const double head = len * 0.36;
  QPainterPath path;  // pointing right, centred on the origin
  path.moveTo(-h, -shaft);
  path.lineTo(h - head, -shaft);
  path.lineTo(h - head, -head);
  path.lineTo(h, 0);
  path.lineTo(h - head, head);
  path.lineTo(h - head, shaft);
  path.lineTo(-h, shaft);
  path.closeSubpath();
  p.save();
  p.translate(c);
  p.rotate(angle);
  p.setPen(QPen(QColor(0, 0, 0, 120), 1.5));
  p.setBrush(color);
  p.drawPath(path);
  p.restore();
}

void Plus(QPainter& p, QPointF c, double size, double t, const QColor& color) {
  p.save();
  p.setPen(QPen(QColor(0, 0, 0, 140), 1.5));
  p.setBrush(color);
  QPainterPath across, down;
  across.addRect(QRectF(c.x() - size / 2, c.y() - t / 2, size, t));
  down.addRect(QRectF(c.x() - t / 2, c.y() - size / 2, t, size));
  p.drawPath(across.united(down));
  p.restore();
}

void Minus(QPainter& p, QPointF c, double size, double t, const QColor& color) {
  p.save();
  p.setPen(QPen(QColor(0, 0, 0, 140), 1.5));
  p.setBrush(color);
  p.drawRect(QRectF(c.x() - size / 2, c.y() - t / 2, size, t));
  p.restore();
}

void Gear(QPainter& p, QPointF c, double radius, const QColor& color) {
  constexpr int kTeeth = 8;
  QPainterPath gear;
  const double inner = radius * 0.74;
  for (int i = 0; i < kTeeth * 4; ++i) {
    const double a = (i - 0.5) * M_PI * 2 / (kTeeth * 4);
    const double r = (i % 4 == 0 || i % 4 == 1) ? radius : inner;
    const QPointF pt(c.x() + r * qCos(a), c.y() + r * qSin(a));
    if (i == 0) gear.moveTo(pt);
    else gear.lineTo(pt);
  }
  gear.closeSubpath();
  QPainterPath hole;
  hole.addEllipse(c, radius * 0.3, radius * 0.3);
  p.save();
  p.setPen(QPen(QColor(0, 0, 0, 150), 1.5));
  p.setBrush(color);
  p.drawPath(gear.subtracted(hole));
  p.restore();
}

void TextField(QPainter& p, const QRectF& r, const QColor& color) {
  p.save();
  p.setPen(QPen(color, 2.5));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(r, 3, 3);
  p.setPen(QPen(color, 2));
  const double x = r.left() + 9;
  p.drawLine(QPointF(x, r.top() + 6), QPointF(x, r.bottom() - 6));
  p.setPen(QPen(QColor(color.red(), color.green(), color.blue(), 110), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(x + 8, r.center().y()), QPointF(r.left() + r.width() * 0.55, r.center().y()));
  p.restore();
}

void WindowOutline(QPainter& p, const QRectF& r, const QColor& color) {
  p.save();
  p.setPen(QPen(color, 2.5));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(r, 3, 3);
  p.fillRect(QRectF(r.left(), r.top(), r.width(), 8), color);
  p.setPen(QPen(QColor(40, 40, 40), 1.5));
  for (int i = 0; i < 3; ++i) {
    const double x = r.right() - 6 - i * 7;
    p.drawEllipse(QPointF(x, r.top() + 4), 1.6, 1.6);
  }
  p.restore();
}

void Router(QPainter& p, const QRectF& r, const QColor& body, const QColor& waves) {
  p.save();
  const QRectF box(r.left(), r.bottom() - r.height() * 0.38, r.width(), r.height() * 0.38);
  // Antennas.
  p.setPen(QPen(body, 3, Qt::SolidLine, Qt::RoundCap));
  const double a1 = box.left() + box.width() * 0.22;
  const double a2 = box.right() - box.width() * 0.22;
  const double tip = r.top() + r.height() * 0.22;
  p.drawLine(QPointF(a1, box.top()), QPointF(a1, tip));
  p.drawLine(QPointF(a2, box.top()), QPointF(a2, tip));
  // Body with status lights.
  p.setPen(QPen(QColor(0, 0, 0, 150), 1.5));
  p.setBrush(body);
  p.drawRoundedRect(box, 4, 4);
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 4; ++i) {
    p.setBrush(i == 0 ? waves : QColor(60, 200, 90));
    p.drawEllipse(QPointF(box.left() + 10 + i * 9, box.center().y()), 2.2, 2.2);
  }
  // Radio waves around the middle, above the box.
  p.setBrush(Qt::NoBrush);
  const QPointF centre((a1 + a2) / 2, tip + 4);
  for (int i = 1; i <= 3; ++i) {
    p.setPen(QPen(waves, 2.5, Qt::SolidLine, Qt::RoundCap));
    const double rad = 5.0 + i * 6.0;
    const QRectF arc(centre.x() - rad, centre.y() - rad, rad * 2, rad * 2);
    p.drawArc(arc, 40 * 16, 100 * 16);
  }
  p.restore();
}

}  // namespace skin
