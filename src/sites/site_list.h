#pragma once
// The in-memory site list: first site, last site and count. Each site is a
// CDvrSession, at once the stored record, a node of this list and, while it
// is viewed, the live session. The list owns its sites: removing one or
// clearing the list destroys the session objects.
#include <memory>

#include "session/dvr_session.h"

namespace lv {

class SiteList {
 public:
  SiteList() = default;
  ~SiteList() { ClearSites(); }
  SiteList(const SiteList&) = delete;
  SiteList& operator=(const SiteList&) = delete;

  // Links site after the last one; 1, or 0 (nothing done) without a site.
  int AppendSite(std::unique_ptr<CDvrSession> site);
  // Unlinks and destroys the first site with this index; 1, or 0 if the list
  // is empty or no site has that index.
  int RemoveSite(int index);
  // The first site with this index, or nullptr.
  CDvrSession* FindSite(int index) const;
  // Destroys every site; the list is then empty.
  void ClearSites();
  // The index a new site gets: the last site's index + 1, or 0 when empty.
  int NextSiteIndex() const;

  CDvrSession* First() const { return m_pFirst; }
  CDvrSession* Last() const { return m_pLast; }
  int Count() const { return m_nCount; }

 private:
  CDvrSession* m_pFirst = nullptr;
  CDvrSession* m_pLast = nullptr;
  int m_nCount = 0;
};

}  // namespace lv
