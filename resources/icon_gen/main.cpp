// Draws the application icon (group icon 144) and writes it as
// OUTDIR/<size>.png for every size a desktop asks for: a surveillance camera
// in the skin's orange on a dark rounded tile, with a red recording light.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <array>
#include <cstdio>

namespace {

constexpr std::array<int, 7> kSizes = {16, 24, 32, 48, 64, 128, 256};

const QColor kOrange(255, 168, 0);
const QColor kOrangeDark(196, 118, 0);
const QColor kTileTop(58, 62, 72);
const QColor kTileBottom(18, 19, 24);
const QColor kRecordRed(235, 40, 40);

// Everything is drawn on a 256-unit square and scaled; small sizes leave
// out the details that would only blur.
QImage DrawIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 256.0, size / 256.0);
  const bool small = size <= 24;

  // The tile.
  const QRectF tile = small ? QRectF(4, 4, 248, 248) : QRectF(12, 12, 232, 232);
  QLinearGradient tileFill(0, tile.top(), 0, tile.bottom());
  tileFill.setColorAt(0, kTileTop);
  tileFill.setColorAt(1, kTileBottom);
  p.setPen(QPen(kOrange, small ? 14 : 6));
  p.setBrush(tileFill);
  p.drawRoundedRect(tile, small ? 40 : 44, small ? 40 : 44);

  // The wall mount: a plate and an arm up to the camera.
  if (!small) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(150, 155, 165));
    p.drawRoundedRect(QRectF(150, 188, 62, 20), 6, 6);
    QPainterPath arm;
    arm.moveTo(172, 190);
    arm.lineTo(160, 140);
    arm.lineTo(178, 136);
    arm.lineTo(192, 190);
    arm.closeSubpath();
    p.drawPath(arm);
  }

  // The camera body, tilted down towards the lens, with its sun shield.
  p.save();
  p.translate(128, 118);
  p.rotate(18);
  QLinearGradient bodyFill(0, -34, 0, 34);
  bodyFill.setColorAt(0, kOrange.lighter(115));
  bodyFill.setColorAt(1, kOrangeDark);
  p.setPen(Qt::NoPen);
  p.setBrush(bodyFill);
  const QRectF body = small ? QRectF(-92, -44, 178, 88) : QRectF(-84, -34, 160, 68);
  p.drawRoundedRect(body, 14, 14);
  if (!small) {
    p.setBrush(kOrange.lighter(125));
    p.drawRoundedRect(QRectF(-96, -50, 188, 18), 8, 8);
  }

  // The lens at the front end.
  const QPointF lens(body.left() + (small ? 6 : 4), 0);
  const double lensRadius = small ? 40 : 32;
  p.setBrush(QColor(30, 32, 38));
  p.drawEllipse(lens, lensRadius, lensRadius);
  QRadialGradient glass(lens, lensRadius * 0.7, lens + QPointF(-8, -8));
  glass.setColorAt(0, QColor(120, 190, 255));
  glass.setColorAt(0.5, QColor(30, 80, 160));
  glass.setColorAt(1, QColor(8, 16, 40));
  p.setBrush(glass);
  p.drawEllipse(lens, lensRadius * 0.7, lensRadius * 0.7);
  if (!small) {
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(lens + QPointF(-8, -9), 6, 6);
  }
  p.restore();

  // The recording light.
  p.setPen(small ? Qt::NoPen : QPen(QColor(255, 255, 255, 180), 3));
  p.setBrush(kRecordRed);
  if (small) p.drawEllipse(QPointF(196, 60), 34, 34);
  else p.drawEllipse(QPointF(190, 62), 18, 18);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!QDir().mkpath(out.path())) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  for (const int size : kSizes) {
    const QString file = out.filePath(QStringLiteral("%1.png").arg(size));
    if (!DrawIcon(size).save(file, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
