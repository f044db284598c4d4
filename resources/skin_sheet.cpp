// lorventa-skin-sheet OUT.png: one picture with every skin bitmap (as the
// program loads it) and its id, size and depth, grouped by role, for review.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <vector>

#include "controls/skin.h"

namespace {

constexpr int kSheetWidth = 1040;
constexpr int kPad = 8;
constexpr int kLabel = 16;

const char* RoleName(lv::SkinRole role) {
  switch (role) {
    case lv::SkinRole::SiteListButton: return "Site list buttons (normal, pressed, hover)";
    case lv::SkinRole::Arrow: return "Arrows (not used by the program)";
    case lv::SkinRole::RegButton: return "Registration buttons (normal, pressed, hover)";
    case lv::SkinRole::ChannelButton: return "Channel buttons (normal, hover, pressed, absent)";
    case lv::SkinRole::TitlePicture: return "Title picture";
    case lv::SkinRole::PtzButton: return "PTZ buttons (normal, pressed)";
    case lv::SkinRole::PtzOverlay: return "PTZ overlays";
    case lv::SkinRole::PtzBadge: return "PTZ badge";
  }
  return "";
}

struct Placed {
  QPoint at;
  const lv::SkinBitmapInfo* info;
  QImage image;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
    return 2;
  }
  // Lay the bitmaps out in rows; each role starts a new row under a heading.
  std::vector<Placed> placed;
  std::vector<std::pair<int, const char*>> headings;
  int x = kPad, y = kPad, rowHeight = 0;
  const lv::SkinBitmapInfo* previous = nullptr;
  int missing = 0;
  for (const lv::SkinBitmapInfo& info : lv::kSkinBitmaps) {
    const int cellWidth = std::max(info.width, 96) + kPad;
    const int cellHeight = info.height + kLabel + kPad;
    const bool newRole = !previous || previous->role != info.role;
    if (newRole || x + cellWidth > kSheetWidth) {
      y += rowHeight;
      x = kPad;
      rowHeight = 0;
    }
    if (newRole) {
      headings.emplace_back(y, RoleName(info.role));
      y += 22;
    }
    QImage image = lv::LoadSkinBitmap(info.id);
    missing += image.isNull();
    placed.push_back({QPoint(x, y), &info, std::move(image)});
    x += cellWidth;
    rowHeight = std::max(rowHeight, cellHeight);
    previous = &info;
  }
  y += rowHeight + kPad;

  QImage sheet(kSheetWidth, y, QImage::Format_RGB32);
  sheet.fill(QColor(96, 96, 104));
  QPainter p(&sheet);
  QFont font(QStringLiteral("Sans Serif"));
  font.setPixelSize(11);
  for (const auto& [hy, text] : headings) {
    QFont bold = font;
    bold.setPixelSize(14);
    bold.setWeight(QFont::Bold);
    p.setFont(bold);
    p.setPen(Qt::white);
    p.drawText(QPoint(kPad, hy + 16), QString::fromLatin1(text));
  }
  p.setFont(font);
  for (const Placed& item : placed) {
    const lv::SkinBitmapInfo& info = *item.info;
    const QRect frame(item.at + QPoint(0, kLabel), QSize(info.width, info.height));
    if (item.image.isNull()) {
      p.fillRect(frame, Qt::red);
      p.setPen(Qt::white);
      p.drawText(frame, Qt::AlignCenter, QStringLiteral("missing"));
    } else {
      p.drawImage(frame.topLeft(), item.image);
    }
    p.setPen(QColor(230, 230, 230));
    p.drawText(QPoint(item.at.x(), item.at.y() + 12),
               QStringLiteral("%1  %2x%3 %4b").arg(info.id).arg(item.image.width()).arg(item.image.height())
                   .arg(item.image.depth()));
  }
  p.end();
  if (!sheet.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  if (missing) std::fprintf(stderr, "%d bitmaps missing\n", missing);
  return missing ? 1 : 0;
}
