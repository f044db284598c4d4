#include "skin_faces.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <array>

#include "skin_art.h"

namespace skin {
namespace {

// Button state faces in the id order of the site list and registration
// buttons: normal, pressed, hover.
Face StateFace(int offset) {
  switch (offset) {
    case 1: return Face::DarkBlue;
    case 2: return Face::BrightBlue;
    default: return Face::Carbon;
  }
}

void SiteListButton(QPainter& p, const QRect& r, int id) {
  const int b = (id - lv::IDB_LIST_BTN_FIRST) / 3;
  PaintFace(p, r, StateFace((id - lv::IDB_LIST_BTN_FIRST) % 3));
  const QRectF icon(28, 14, 64, 52);
  static const std::array<const char*, 4> kCaptions = {"ADD", "MODIFY", "DELETE", "CONNECT"};
  switch (b) {
    case 0:
      TextField(p, QRectF(20, 22, 70, 30), kWhite);
      Plus(p, QPointF(88, 52), 26, 8, QColor(255, 220, 0));
      break;
    case 1:
      WindowOutline(p, QRectF(20, 14, 66, 46), kWhite);
      Gear(p, QPointF(86, 52), 16, QColor(60, 200, 70));
      break;
    case 2:
      TextField(p, QRectF(20, 22, 70, 30), kWhite);
      Minus(p, QPointF(88, 52), 26, 8, QColor(235, 45, 45));
      break;
    default:
      Router(p, icon, QColor(225, 228, 235), skin::kYellowGreen);
      break;
  }
  Caption(p, QRectF(0, 72, r.width(), 28), QString::fromLatin1(kCaptions[b]), 17,
          b == 3 ? skin::kYellowGreen : kWhite);
}

void RegButton(QPainter& p, const QRect& r, int id) {
  const int offset = (id - lv::IDB_REG_OK_NORMAL) % 3;
  PaintFace(p, r, StateFace(offset));
  Caption(p, r, id < lv::IDB_REG_CANCEL_NORMAL ? QStringLiteral("OK") : QStringLiteral("CANCEL"), 34, kWhite);
}

void ChannelButton(QPainter& p, const QRect& r, int id) {
  const int k = (id - lv::IDB_CH_BTN_FIRST) / 4;
  const QString number = QString::number(k + 1);
  switch ((id - lv::IDB_CH_BTN_FIRST) % 4) {
    case 0:  // normal
      PaintFace(p, r, Face::ChannelBlue);
      Caption(p, r, number, 30, kWhite);
      break;
    case 1:  // hover
      PaintFace(p, r, Face::BrightBlue);
      Caption(p, r, number, 30, kWhite);
      break;
    case 2:  // pressed
      PaintFace(p, r, Face::DarkBlue);
      Caption(p, r, number, 30, QColor(200, 200, 204));
      break;
    default:  // absent
      PaintFace(p, r, Face::Carbon);
      Caption(p, r, number, 30, QColor(78, 78, 82));
      break;
  }
}

// The glyph of PTZ button k (0..15), in the button's and the overlay's size.
void PtzGlyph(QPainter& p, const QRectF& r, int k, bool small) {
  const QPointF c = r.center();
  const double len = small ? r.height() * 0.7 : r.height() * 0.62;
  // Arrow directions by button index; NaN marks a button without an arrow.
  static const std::array<double, 16> kAngle = {-135, -90, -45, qQNaN(), 180, qQNaN(), 0,  qQNaN(),
                                                135,  90,  45,  qQNaN(), qQNaN(), qQNaN(), qQNaN(), qQNaN()};
  if (!qIsNaN(kAngle[k])) {
    Arrow(p, c, len, kAngle[k], kOrange);
    return;
  }
  const bool plus = k == 7 || k == 12 || k == 14;
  QString word;
  switch (k) {
    case 3: word = small ? QString() : QStringLiteral("EXIT"); break;
    case 7:
    case 11: word = small ? QStringLiteral("I") : QStringLiteral("IRIS"); break;
    case 12:
    case 13: word = small ? QStringLiteral("F") : QStringLiteral("FOCUS"); break;
    case 14:
    case 15: word = small ? QStringLiteral("Z") : QStringLiteral("ZOOM"); break;
    default: break;  // the blank button
  }
  if (k == 3) {
    if (small) {  // a cross for the exit overlay
      p.save();
      p.setPen(QPen(kOrange, 5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(c + QPointF(-10, -10), c + QPointF(10, 10));
      p.drawLine(c + QPointF(10, -10), c + QPointF(-10, 10));
      p.restore();
    } else {
      Caption(p, r, word, 24, kOrange);
    }
    return;
  }
  if (word.isEmpty()) return;
  const double sign = small ? 14 : 18;
  const QRectF text = small ? QRectF(r.left() + 4, r.top(), r.width() * 0.5, r.height())
                            : QRectF(r.left() + 6, r.top(), r.width() * 0.66, r.height());
  Caption(p, text, word, small ? 24 : 19, kOrange);
  const QPointF signAt(small ? r.right() - 14 : r.right() - 20, c.y());
  if (plus) Plus(p, signAt, sign, small ? 4 : 5, kOrange);
  else Minus(p, signAt, sign, small ? 4 : 5, kOrange);
}

void PtzButton(QPainter& p, const QRect& r, int id) {
  const int k = (id - lv::IDB_PTZ_BTN_FIRST) / 2;
  const bool pressed = (id - lv::IDB_PTZ_BTN_FIRST) % 2 == 1;
  PaintFace(p, r, pressed ? Face::BrightBlue : Face::Carbon);
  PtzGlyph(p, r, k, false);
}

void PtzOverlay(QPainter& p, const QRect& r, int id) {
  p.fillRect(r, Qt::black);
  p.setPen(QPen(kOrange, 3));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(r).adjusted(1.5, 1.5, -1.5, -1.5));
  PtzGlyph(p, QRectF(r).adjusted(5, 5, -5, -5), id - lv::IDB_PTZ_OVERLAY_FIRST, true);
}

void Badge(QPainter& p, const QRect& r) {
  p.fillRect(r, Qt::black);
  Caption(p, r, QStringLiteral("PTZ"), 20, kOrange);
}

void RedArrow(QPainter& p, const QRect& r, bool onWhite) {
  p.fillRect(r, onWhite ? Qt::white : Qt::black);
  Arrow(p, QRectF(r).center(), r.width() * 0.6, 0, QColor(220, 30, 30));
}

void Title(QPainter& p, const QRect& r) {
  QLinearGradient bg(r.topLeft(), r.bottomRight());
  bg.setColorAt(0, QColor(12, 8, 20));
  bg.setColorAt(1, QColor(24, 10, 30));
  p.fillRect(r, bg);
  // Light streaks sweeping up from the lower left, red turning to purple:
  // each a wide faint glow under a narrower one and a bright core.
  struct Layer {
    double width;
    int alpha;
  };
  static constexpr Layer kLayers[] = {{30, 22}, {12, 60}, {4, 190}, {1.5, 255}};
  for (int i = 0; i < 7; ++i) {
    QPainterPath streak;
    const double y0 = 290 + i * 15;
    streak.moveTo(-20, y0);
    streak.cubicTo(150, y0 - 50 - i * 8, 300, 170 + i * 16, 500, 50 + i * 24);
    const double scale = 1.0 - i * 0.08;
    for (const Layer& layer : kLayers) {
      QLinearGradient g(0, 0, r.width(), 0);
      const bool core = layer.width < 2;
      g.setColorAt(0, core ? QColor(255, 150, 160, layer.alpha) : QColor(240, 40, 60, layer.alpha));
      g.setColorAt(0.55, core ? QColor(245, 140, 220, layer.alpha) : QColor(205, 40, 150, layer.alpha));
      g.setColorAt(1, core ? QColor(200, 170, 255, layer.alpha) : QColor(130, 60, 235, layer.alpha));
      p.setPen(QPen(QBrush(g), layer.width * scale, Qt::SolidLine, Qt::RoundCap));
      p.drawPath(streak);
    }
  }
  QFont font(QStringLiteral("Sans Serif"));
  font.setPixelSize(66);
  font.setWeight(QFont::Bold);
  font.setLetterSpacing(QFont::AbsoluteSpacing, 2);
  p.setFont(font);
  const QRectF text(0, 110, r.width(), 100);
  p.setPen(QColor(0, 0, 0, 190));
  p.drawText(text.translated(3, 3), Qt::AlignCenter, QStringLiteral("Lorventa"));
  QLinearGradient grey(text.topLeft(), text.bottomLeft());
  grey.setColorAt(0.3, QColor(215, 215, 220));
  grey.setColorAt(0.8, QColor(135, 135, 145));
  p.setPen(QPen(QBrush(grey), 1));
  p.drawText(text, Qt::AlignCenter, QStringLiteral("Lorventa"));
}

}  // namespace

QImage DrawSkinBitmap(const lv::SkinBitmapInfo& info) {
  QImage image(info.width, info.height, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const QRect r = image.rect();
  switch (info.role) {
    case lv::SkinRole::SiteListButton: SiteListButton(p, r, info.id); break;
    case lv::SkinRole::Arrow: RedArrow(p, r, info.id == lv::IDB_ARROW_ON_WHITE); break;
    case lv::SkinRole::RegButton: RegButton(p, r, info.id); break;
    case lv::SkinRole::ChannelButton: ChannelButton(p, r, info.id); break;
    case lv::SkinRole::TitlePicture: Title(p, r); break;
    case lv::SkinRole::PtzButton: PtzButton(p, r, info.id); break;
    case lv::SkinRole::PtzOverlay: PtzOverlay(p, r, info.id); break;
    case lv::SkinRole::PtzBadge: Badge(p, r); break;
  }
  return image;
}

}  // namespace skin
