#include "shell/wall_launcher.h"

#include <algorithm>

#include "session/dvr_session.h"
#include "view/site_view.h"

namespace lv {

WallLauncher::WallLauncher(WallOptions options) : m_options(std::move(options)) {}

WallLauncher::~WallLauncher() = default;

WallWindow& WallLauncher::Open(const SiteFields* site, const std::vector<SiteFields>& sites) {
  // Walls the user closed have ended their sessions already; they go now.
  std::erase_if(m_walls, [](const std::unique_ptr<WallWindow>& w) { return !w->isVisible(); });
  WallOptions options = m_options;
  options.watch = watch;
  m_walls.push_back(site ? std::make_unique<WallWindow>(*site, options)
                         : std::make_unique<WallWindow>(sites, options));
  WallWindow& wall = *m_walls.back();
  wall.onOpenChannel = [this](const SiteFields& s, int channel) { OpenView(s, channel); };
  wall.show();
  return wall;
}

void WallLauncher::OpenView(const SiteFields& site, int channel) {
  if (m_view && m_view->GetSafeHwnd()) return;  // one view at a time
  if (!m_view) {
    m_view = std::make_unique<CDlg_SiteView>();
    if (onViewMade) onViewMade(*m_view);
  }
  m_viewSite = std::make_unique<CDvrSession>();
  m_viewSite->SetSite(site);
  m_view->m_pCurr_DVR = m_viewSite.get();
  m_view->SetStartChannel(channel);
  m_view->DoModal();
}

std::vector<WallTile*> WallLauncher::Tiles() const {
  std::vector<WallTile*> tiles;
  for (const auto& wall : m_walls)
    if (wall->isVisible())
      for (int i = 0; i < wall->TileCount(); ++i) tiles.push_back(&wall->Tile(i));
  return tiles;
}

}  // namespace lv
