#include "platform/ui/font.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace lv {
namespace {

constexpr std::size_t kMaxFaceLength = 31;

QString FamilyFor(const std::u16string& face) {
  if (!face.empty()) {
    const QString family = QString::fromStdU16String(face.substr(0, kMaxFaceLength));
    if (QFontDatabase::hasFamily(family)) return family;
  }
  return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

}  // namespace

int ScreenDpiY() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? static_cast<int>(std::lround(screen->logicalDotsPerInchY())) : 96;
}

int PointsToPixels(int points) {
  return static_cast<int>(std::lround(points * ScreenDpiY() / 72.0));
}

QFont FontFromLogFont(const LOGFONT& lf) {
  QFont font(FamilyFor(lf.lfFaceName));
  font.setStyleHint(QFont::SansSerif);
  if (lf.lfHeight < 0) {
    font.setPixelSize(-lf.lfHeight);
  } else if (lf.lfHeight > 0) {
    // A positive height is the whole cell (ascent + descent): scale the
    // character height so that the cell comes out at the asked height.
    font.setPixelSize(lf.lfHeight);
    const int cell = QFontMetrics(font).height();
    if (cell > 0) {
      const int em = static_cast<int>(std::lround(double(lf.lfHeight) * lf.lfHeight / cell));
      font.setPixelSize(std::max(1, em));
    }
  } else {
    font.setPixelSize(PointsToPixels(9));
  }
  const int weight = lf.lfWeight == 0 ? 400 : std::clamp(static_cast<int>(lf.lfWeight), 100, 900);
  font.setWeight(static_cast<QFont::Weight>(weight));
  font.setItalic(lf.lfItalic != 0);
  font.setUnderline(lf.lfUnderline != 0);
  font.setStrikeOut(lf.lfStrikeOut != 0);
  return font;
}

bool CFont::CreateFontIndirect(const LOGFONT& lf) {
  auto data = std::make_shared<Data>();
  data->logFont = lf;
  if (data->logFont.lfFaceName.size() > kMaxFaceLength) data->logFont.lfFaceName.resize(kMaxFaceLength);
  data->font = FontFromLogFont(data->logFont);
  m_data = std::move(data);
  return true;
}

bool CFont::GetLogFont(LOGFONT* lf) const {
  if (!m_data || !lf) return false;
  *lf = m_data->logFont;
  return true;
}

QFont CFont::Font() const { return m_data ? m_data->font : QGuiApplication::font(); }

CFont CFont::Condensed(int percent) const {
  CFont out;
  auto data = std::make_shared<Data>();
  if (m_data) data->logFont = m_data->logFont;
  data->font = Font();
  data->font.setStretch(std::clamp(percent, 1, 100));
  out.m_data = std::move(data);
  return out;
}

}  // namespace lv
