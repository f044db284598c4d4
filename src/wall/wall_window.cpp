#include "wall/wall_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <string>

#include "protocol/text.h"
#include "wall/wall_layout.h"

namespace lv {
namespace {

std::string DvrKey(const SiteFields& site) { return Utf16ToUtf8(site.address) + ":" + std::to_string(site.port); }

}  // namespace

WallWindow::WallWindow(const SiteFields& site, const WallOptions& options, QWidget* parent)
    : QWidget(parent), m_options(options) {
  setWindowTitle(QString::fromStdU16String(site.name) + QStringLiteral(" - wall"));
  Init();
  m_emptyText = QStringLiteral("No sessions are allowed to this DVR");
  if (m_options.maxSessionsPerDvr < 1) return;
  WallTile& first = AddTile(site, -1);
  first.onFirstLogin = [this](WallTile& tile, const CDvrSession& session) { AddChannels(tile, session); };
  first.Start();
}

WallWindow::WallWindow(const std::vector<SiteFields>& sites, const WallOptions& options, QWidget* parent)
    : QWidget(parent), m_options(options) {
  setWindowTitle(QStringLiteral("Sites wall"));
  Init();
  m_emptyText = QStringLiteral("There is no site info.");
  std::vector<std::string> keys;
  for (const SiteFields& site : sites) keys.push_back(DvrKey(site));
  for (int i : WithinSessionLimit(keys, m_options.maxSessionsPerDvr)) {
    if (TileCount() == kMaxChannels) break;
    AddTile(sites[static_cast<std::size_t>(i)], -1).Start();
  }
}

WallWindow::~WallWindow() {
  m_pace.stop();
  m_tick.stop();
  m_tiles.clear();  // each tile ends its session and joins its decode thread
}

void WallWindow::Init() {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(160, 120);
  resize(1280, 960);
  // One repaint pass per screen refresh at most; the age and countdown
  // texts are looked at twice a second.
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double hz = screen && screen->refreshRate() >= 10 ? screen->refreshRate() : 60.0;
  const int period = std::max(1, static_cast<int>(std::lround(1000.0 / hz)));
  m_tickEvery = std::max(1, 500 / period);
  m_pace.setInterval(period);
  QObject::connect(&m_pace, &QTimer::timeout, this, [this] { PaceTick(); });
  m_pace.start();
}

WallTile& WallWindow::AddTile(const SiteFields& site, int channel) {
  auto tile = std::make_unique<WallTile>(site, channel, m_options.timing, this);
  tile->SetDecoding(m_decoding);
  if (m_options.watch) tile->onPicture = m_options.watch(site.name);
  tile->onOpen = [this](WallTile& t) {
    if (onOpenChannel && t.Channel() >= 0) onOpenChannel(t.Site(), t.Channel());
  };
  WallTile& added = *tile;
  m_tiles.push_back(std::move(tile));
  Layout();
  if (isVisible()) added.show();
  return added;
}

void WallWindow::AddChannels(WallTile& first, const CDvrSession& session) {
  const int own = session.FirstChannelToOpen();
  int sessions = 1;
  for (int channel = 0; channel < session.ChannelCount(); ++channel) {
    if (channel == own || !session.MayOpen(channel)) continue;
    if (sessions >= m_options.maxSessionsPerDvr) break;
    ++sessions;
    AddTile(first.Site(), channel).Start();
  }
}

int WallWindow::GridSide() const { return WallGridSide(TileCount()); }

void WallWindow::Layout() {
  const int side = GridSide();
  for (int i = 0; i < TileCount(); ++i) {
    const WallRect cell = WallCell(i, side, width(), height());
    // A hair of black between the tiles.
    Tile(i).setGeometry(cell.x + 1, cell.y + 1, std::max(1, cell.width - 2), std::max(1, cell.height - 2));
  }
}

void WallWindow::UpdateDecoding() {
  m_decoding = isVisible() && !isMinimized() && !(windowState() & Qt::WindowMinimized);
  for (auto& tile : m_tiles) tile->SetDecoding(m_decoding);
}

void WallWindow::PaceTick() {
  const bool tick = ++m_paceCount % m_tickEvery == 0;
  for (auto& tile : m_tiles) {
    if (tile->TakeFresh() && m_decoding) tile->update();
    if (tick) tile->Tick();
  }
}

void WallWindow::StopAll() {
  for (auto& tile : m_tiles) tile->Stop();
}

void WallWindow::resizeEvent(QResizeEvent* e) {
  Layout();
  QWidget::resizeEvent(e);
}

void WallWindow::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  UpdateDecoding();
  if (!m_tiles.empty() && !focusWidget()) m_tiles.front()->setFocus();
}

void WallWindow::hideEvent(QHideEvent* e) {
  QWidget::hideEvent(e);
  UpdateDecoding();
}

void WallWindow::changeEvent(QEvent* e) {
  if (e->type() == QEvent::WindowStateChange) UpdateDecoding();
  QWidget::changeEvent(e);
}

void WallWindow::closeEvent(QCloseEvent* e) {
  StopAll();
  QWidget::closeEvent(e);
}

void WallWindow::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) {
    close();
    return;
  }
  // Arrow keys move the focus through the grid.
  const int side = GridSide();
  int at = -1;
  for (int i = 0; i < TileCount(); ++i)
    if (Tile(i).hasFocus()) at = i;
  int to = -1;
  if (at >= 0) {
    switch (e->key()) {
      case Qt::Key_Left: to = at - 1; break;
      case Qt::Key_Right: to = at + 1; break;
      case Qt::Key_Up: to = at - side; break;
      case Qt::Key_Down: to = at + side; break;
      default: break;
    }
  }
  if (to >= 0 && to < TileCount()) {
    Tile(to).setFocus();
    return;
  }
  QWidget::keyPressEvent(e);
}

void WallWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (m_tiles.empty()) {
    p.setPen(Qt::white);
    p.drawText(rect(), Qt::AlignCenter, m_emptyText);
  }
}

}  // namespace lv
