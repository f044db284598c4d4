#include "sites/site_list.h"

namespace lv {

int SiteList::AppendSite(std::unique_ptr<CDvrSession> site) {
  if (!site) return 0;
  CDvrSession* node = site.release();  // the links own it from here on
  node->m_pNext = nullptr;
  node->m_pPrev = m_pLast;
  if (m_pLast != nullptr)
    m_pLast->m_pNext = node;
  else
    m_pFirst = node;
  m_pLast = node;
  ++m_nCount;
  return 1;
}

int SiteList::RemoveSite(int index) {
  CDvrSession* node = FindSite(index);
  if (node == nullptr) return 0;
  if (node->m_pNext != nullptr)
    node->m_pNext->m_pPrev = node->m_pPrev;
  else
    m_pLast = node->m_pPrev;
  if (node->m_pPrev != nullptr)
    node->m_pPrev->m_pNext = node->m_pNext;
  else
    m_pFirst = node->m_pNext;
  --m_nCount;
  std::unique_ptr<CDvrSession> owned{node};
  return 1;
}

CDvrSession* SiteList::FindSite(int index) const {
  for (CDvrSession* p = m_pFirst; p != nullptr; p = p->m_pNext)
    if (p->m_nSiteIndex == index) return p;
  return nullptr;
}

void SiteList::ClearSites() {
  CDvrSession* p = m_pFirst;
  m_pFirst = m_pLast = nullptr;
  m_nCount = 0;
  while (p != nullptr) {
    std::unique_ptr<CDvrSession> owned{p};
    p = p->m_pNext;
  }
}

int SiteList::NextSiteIndex() const { return m_pLast != nullptr ? m_pLast->m_nSiteIndex + 1 : 0; }

}  // namespace lv
