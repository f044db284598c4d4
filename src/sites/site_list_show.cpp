// Showing a site's channel when asked from outside the list (a clicked
// motion notification): the view's run on that site, or a new run.
#include "sites/site_list_dialog.h"
#include <QWidget>

#include "view/site_view.h"

namespace lv {

CDvrSession* CDlg_SiteList::SiteNamed(const std::u16string& name) const {
  for (CDvrSession* s = m_sites.First(); s; s = s->m_pNext)
    if (s->m_strSiteName == name) return s;
  return nullptr;
}

bool CDlg_SiteList::ShowSiteChannel(const std::u16string& name, int channel) {
  CDvrSession* site = SiteNamed(name);
  if (!site || !m_pView || !GetSafeHwnd()) return false;
  if (m_pView->GetSafeHwnd()) {
    if (m_pView->m_pCurr_DVR.load() == site) {
      m_pView->ShowChannel(channel);
      return true;
    }
    // Another site is on view: its run ends, then this site's starts from
    // the list's own loop (the posted message waits for the view's to end).
    m_pView->SendMessage(WM_CLOSE);
  }
  m_showSite.emplace(name, channel);
  PostMessage(kShowSiteMessage);
  return true;
}

void CDlg_SiteList::OnShowSite() {
  if (!m_showSite) return;
  if (m_pView && m_pView->GetSafeHwnd()) {
    PostMessage(kShowSiteMessage);  // the view is still ending
    return;
  }
  const auto [name, channel] = *std::exchange(m_showSite, std::nullopt);
  CDvrSession* site = SiteNamed(name);  // the list may have changed meanwhile
  if (!site || !m_pView) return;
  m_pCurrSite = site;
  HighlightSite(site);
  m_pView->SetStartChannel(channel);
  if (QWidget* widget = GetWidget()) widget->window()->raise();
  ConnectCurrent();
}

}  // namespace lv
