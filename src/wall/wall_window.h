#pragma once
// The wall: a window of tiles in the smallest square grid that holds them.
//
// A site's wall starts with one tile for the site's first channel; once that
// tile has logged in, the wall knows every channel the user may see (a
// camera, not locked) and adds a tile, each its own session, for every other
// one. The sites wall has one tile per site, each on its site's first channel,
// so a person sees at once which sites are down. At most maxSessionsPerDvr
// tiles talk to one DVR (address and port).
//
// Pictures reach the screen at most at the screen's pace: a timer of that
// period repaints the tiles whose decode thread left a new picture. While the
// window is hidden or minimised no tile decodes.
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "session/site_fields.h"
#include "wall/wall_tile.h"

namespace lv {

struct WallOptions {
  int maxSessionsPerDvr = 16;
  WallTiming timing;
  PictureWatchMaker watch;  // a watcher for each tile's pictures (motion)
};

class WallWindow : public QWidget {
 public:
  // A site's wall.
  WallWindow(const SiteFields& site, const WallOptions& options, QWidget* parent = nullptr);
  // The sites wall.
  WallWindow(const std::vector<SiteFields>& sites, const WallOptions& options, QWidget* parent = nullptr);
  ~WallWindow() override;
  WallWindow(const WallWindow&) = delete;
  WallWindow& operator=(const WallWindow&) = delete;

  // Double-click or Enter on a tile: show that site's channel in the site
  // view. The wall's other tiles keep running meanwhile.
  std::function<void(const SiteFields& site, int channel)> onOpenChannel;

  // Ends every tile's session (closing the window does too).
  void StopAll();

  int TileCount() const { return static_cast<int>(m_tiles.size()); }
  WallTile& Tile(int i) const { return *m_tiles[static_cast<std::size_t>(i)]; }
  int GridSide() const;
  bool Decoding() const { return m_decoding; }

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void changeEvent(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  void Init();
  WallTile& AddTile(const SiteFields& site, int channel);
  void AddChannels(WallTile& first, const CDvrSession& session);
  void Layout();
  void UpdateDecoding();
  void PaceTick();

  const WallOptions m_options;
  std::vector<std::unique_ptr<WallTile>> m_tiles;
  QTimer m_pace;
  QTimer m_tick;
  int m_tickEvery = 1;
  int m_paceCount = 0;
  bool m_decoding = false;
  QString m_emptyText;  // shown while there is no tile
};

}  // namespace lv
