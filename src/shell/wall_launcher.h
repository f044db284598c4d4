#pragma once
// Opens walls, beside the site list or alone from the command line, and the
// site view a tile asks for (double-click or Enter): the view runs modally on
// a session of its own while every wall keeps its tiles running.
#include <functional>
#include <memory>
#include <vector>

#include "session/site_fields.h"
#include "wall/wall_window.h"

namespace lv {

class CDlg_SiteView;
class CDvrSession;

class WallLauncher {
 public:
  explicit WallLauncher(WallOptions options = {});
  ~WallLauncher();
  WallLauncher(const WallLauncher&) = delete;
  WallLauncher& operator=(const WallLauncher&) = delete;

  // Shows a site's wall, or the sites wall of `sites` when site is null.
  WallWindow& Open(const SiteFields* site, const std::vector<SiteFields>& sites);
  // Runs the site view on the site's channel until the user closes it.
  void OpenView(const SiteFields& site, int channel);
  // The view a tile opened (null before the first).
  CDlg_SiteView* View() const { return m_view.get(); }
  // The tiles of the walls on screen.
  std::vector<WallTile*> Tiles() const;
  // Called once the view is made (the shell gives it its hooks).
  std::function<void(CDlg_SiteView& view)> onViewMade;
  // Gives each tile of the walls opened from now on its picture watcher.
  PictureWatchMaker watch;

 private:
  const WallOptions m_options;
  std::vector<std::unique_ptr<WallWindow>> m_walls;
  std::unique_ptr<CDlg_SiteView> m_view;
  std::unique_ptr<CDvrSession> m_viewSite;
};

}  // namespace lv
