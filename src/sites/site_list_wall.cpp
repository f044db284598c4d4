// The site list's ways to a wall: the W key and the right-click menu of a line.
#include <QMenu>
#include <QWidget>

#include "platform/ui/window_api.h"
#include "sites/site_list_dialog.h"

namespace lv {

bool CDlg_SiteList::OnWallKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.wParam != static_cast<WPARAM>('W') || !m_onWall) return false;
  if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
  OpenWall(GetKeyState(VK_SHIFT) < 0);
  return true;
}

void CDlg_SiteList::OpenWall(bool allSites) {
  if (!m_onWall) return;
  std::vector<SiteFields> sites;
  for (const CDvrSession* s = m_sites.First(); s; s = s->m_pNext) sites.push_back(s->Site());
  if (allSites) return m_onWall(nullptr, sites);
  if (!m_pCurrSite) return;
  const SiteFields site = m_pCurrSite->Site();
  m_onWall(&site, sites);
}

void CDlg_SiteList::InstallLineMenu() {
  QWidget* list = m_pListBox ? m_pListBox->GetWidget() : nullptr;
  if (!list) return;
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(list, &QWidget::customContextMenuRequested, list, [this](const QPoint& at) { ShowLineMenu(at); });
}

void CDlg_SiteList::ShowLineMenu(QPoint at) {
  if (!m_pListBox) return;
  int line = -1;
  for (int i = m_pListBox->GetTopIndex(); i >= 0 && i < m_pListBox->GetCount(); ++i) {
    CRect rc;
    if (m_pListBox->GetItemRect(i, &rc) >= 0 && rc.PtInRect(CPoint(at.x(), at.y()))) line = i;
  }
  if (line < 0) return;
  const int id = static_cast<int>(m_pListBox->GetItemData(line));
  m_pListBox->SetCurSel(line);
  m_pCurrSite = m_sites.FindSite(id);
  if (!m_pCurrSite) return;
  QMenu menu(m_pListBox->GetWidget());
  QAction* connect = menu.addAction(QStringLiteral("Connect"));
  QAction* wall = menu.addAction(QStringLiteral("Wall"));
  wall->setEnabled(static_cast<bool>(m_onWall));
  QAction* modify = menu.addAction(QStringLiteral("Modify"));
  QAction* remove = menu.addAction(QStringLiteral("Delete"));
  const QAction* chosen = menu.exec(m_pListBox->GetWidget()->mapToGlobal(at));
  // The menu's own loop may have delivered a selection made before it
  // opened: what is chosen acts on the line the menu was opened on.
  m_pCurrSite = m_sites.FindSite(id);
  if (!m_pCurrSite) return;
  if (m_pListBox->GetCurSel() != line) m_pListBox->SetCurSel(line);
  if (chosen == connect) OnConnect();
  else if (chosen == wall) OpenWall(false);
  else if (chosen == modify) OnModify();
  else if (chosen == remove) OnDelete();
}

}  // namespace lv
