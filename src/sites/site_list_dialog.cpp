#include "sites/site_list_dialog.h"

#include <tuple>
#include <utility>

#include <QFile>
#include <QWidget>

#include "controls/grp_btn.h"
#include "controls/skin_table.h"
#include "platform/core/debug_out.h"
#include "platform/ui/accessible.h"
#include "platform/ui/paint_dc.h"
#include "platform/ui/window_api.h"
#include "protocol/text.h"
#include "view/site_view.h"

namespace lv {
namespace {

// Buttons are visible children (0x50000000, made so by CreateGrpBtn).
constexpr DWORD kListStyle = WS_CHILD | WS_VISIBLE | WS_BORDER |  // 0x50800160
                             LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT;
constexpr std::array<UINT, 4> kButtonIds = {LIST_BTN_ADD, LIST_BTN_MODIFY, LIST_BTN_DELETE, LIST_BTN_CONNECT};
constexpr std::array<const char16_t*, 4> kButtonNames = {u"Add", u"Modify", u"Delete", u"Connect"};
constexpr std::array<int, 7> kIconSizes = {16, 24, 32, 48, 64, 128, 256};

// Placement of the window on the screen, as the other full-screen dialogs.
constexpr int kListX = 0;
constexpr int kListY = 52;
constexpr int kListWidth = 480;
constexpr int kListHeight = 696;

std::string Utf8(const std::u16string& s) { return Utf16ToUtf8(s); }

}  // namespace

QIcon LoadGroupIcon(int id) {
  QIcon icon;
  for (const int size : kIconSizes) {
    const QString file = QStringLiteral(":/icons/%1/%2.png").arg(id).arg(size);
    if (QFile::exists(file)) icon.addFile(file, QSize(size, size));
  }
  return icon;
}

CDlg_SiteList::CDlg_SiteList(ISiteNetwork& network, SiteStore store)
    : CDialog(IDD_SITE_LIST), m_network(network), m_store(std::move(store)), m_hIcon(LoadGroupIcon(IDI_APP_ICON)) {
  MapMessage(kConnectAtStartMessage, [this](WPARAM, LPARAM) {
    OnConnectAtStart();
    return LRESULT{0};
  });
  MapMessage(kShowSiteMessage, [this](WPARAM, LPARAM) {
    OnShowSite();
    return LRESULT{0};
  });
  MapMessage(WM_SITE_LIST_SELECT, [this](WPARAM, LPARAM lParam) {
    m_pCurrSite = m_sites.FindSite(static_cast<int>(lParam));
    return LRESULT{0};
  });
  MapMessage(kConnMgrStatusMessage, [this](WPARAM wParam, LPARAM lParam) {
    return m_network.OnConnMgrStatus(wParam, lParam);
  });
}

CDlg_SiteList::~CDlg_SiteList() = default;

bool CDlg_SiteList::OnInitDialog() {
  CDialog::OnInitDialog();
  if (QWidget* w = GetWidget()) w->setWindowIcon(m_hIcon);
  SetWindowText(u"Lorventa");
  m_bNetworkAvailable = m_network.ConnectNetwork(GetSafeHwnd());
  SetWindowPos(HWND_TOPMOST, kListX, kListY, kListWidth, kListHeight, SWP_SHOWWINDOW);
  GetClientRect(&m_rcClient);
  LoadSitesFromStore();
  CreateControls();
  FillSiteList();
  m_pRegDlg = std::make_unique<CDlg_SiteReg>();
  m_pView = std::make_unique<CDlg_SiteView>();
  m_pView->SetAutoReconnect(m_bAutoReconnect);
  if (m_onViewMade) m_onViewMade(*m_pView);
  SetTimer(TIMER_FULLSCREEN, kFullScreenDelayMs);
  if (m_startSite) PostMessage(kConnectAtStartMessage);  // once the list's own loop runs
  return true;
}

void CDlg_SiteList::OnConnectAtStart() {
  if (!m_startSite) return;
  const StartSite start = *std::exchange(m_startSite, std::nullopt);
  CDvrSession* site = nullptr;
  for (CDvrSession* s = m_sites.First(); s && !site; s = s->m_pNext)
    if (s->m_strSiteName == start.name) site = s;
  if (!site) {
    auto added = std::make_unique<CDvrSession>(GetSafeHwnd());
    added->SetSite(start);
    added->m_nSiteIndex = m_sites.NextSiteIndex();
    m_pCurrSite = added.get();
    m_sites.AppendSite(std::move(added));
    SaveSites();  // a merge rebuilds the list: the site is found again
    FillSiteList();
    site = m_pCurrSite;
    if (!site) return;
  }
  m_pCurrSite = site;
  HighlightSite(site);
  ConnectCurrent();
}

CDvrSession* CDlg_SiteList::HighlightedSite() const {
  const int line = m_pListBox ? m_pListBox->GetCurSel() : -1;
  return line < 0 ? nullptr : m_sites.FindSite(static_cast<int>(m_pListBox->GetItemData(line)));
}

void CDlg_SiteList::HighlightSite(const CDvrSession* site) {
  if (!m_pListBox || !site) return;
  int position = 0;
  for (const CDvrSession* s = m_sites.First(); s && s != site; s = s->m_pNext) ++position;
  m_pListBox->SetCurSel(position);
}

void CDlg_SiteList::PostButtonCommand(int b) {
  const std::size_t i = static_cast<std::size_t>(b);
  PostMessage(WM_COMMAND, MAKEWPARAM(kButtonIds[i], BN_CLICKED), static_cast<LPARAM>(m_hBtn[i]));
}

void CDlg_SiteList::LoadSitesFromStore() {
  const StoreResult result = m_store.LoadSites(m_sites, GetSafeHwnd());
  if (result == StoreResult::Ok) return;
  std::u16string text = m_store.Message();
  if (result == StoreResult::Busy || result == StoreResult::Failed) {
    // Saving now would replace the sites that could not be read.
    m_bStoreWritable = false;
    m_sites.ClearSites();
    text += u" Changes made now will not be saved.";
  }
  ShowStoreMessage(std::move(text));
}

void CDlg_SiteList::CreateControls() {
  const int top = m_rcClient.bottom - kListButtonHeight;
  for (int b = 0; b < 4; ++b) {
    const CRect rc(120 * b, top, 120 * b + 120, m_rcClient.bottom);
    const HWND button = CreateGrpBtn(GetSafeHwnd(), kButtonIds[static_cast<std::size_t>(b)], rc, ListButtonNormal(b),
                                     ListButtonHover(b), ListButtonPressed(b), ListButtonNormal(b));
    SetAccessibleName(button, kButtonNames[static_cast<std::size_t>(b)]);
    m_hBtn[static_cast<std::size_t>(b)] = button;
  }

  m_pListBox = std::make_unique<CHanListBox>();
  m_pListBox->Create(kListStyle, CRect(), this, IDC_SITE_LIST);
  LOGFONT lf;
  const CFont font = GetFont();
  if (!font.IsNull()) font.GetLogFont(&lf);
  m_pListBox->SetLogFont(lf);
  m_pListBox->ShowWindow(SW_SHOW);
  m_pListBox->MoveWindow(m_rcClient.left, m_rcClient.top, m_rcClient.Width(),
                         m_rcClient.Height() - kListButtonHeight);
  SetAccessibleName(m_pListBox->GetSafeHwnd(), u"Sites");
  InstallLineMenu();
  SetTabOrder({m_pListBox->GetSafeHwnd(), m_hBtn[0], m_hBtn[1], m_hBtn[2], m_hBtn[3]});
}

void CDlg_SiteList::FillSiteList() {
  if (!m_pListBox) return;
  m_pListBox->ResetContent();
  if (m_bNetworkAvailable == 0) {
    m_pListBox->AddItem(kNoNetworkLine, 0);
  } else if (m_sites.Count() > 0) {
    for (const CDvrSession* site = m_sites.First(); site; site = site->m_pNext)
      m_pListBox->AddItem(site->m_strSiteName, static_cast<std::uintptr_t>(site->m_nSiteIndex));
  } else {
    m_pListBox->AddItem(kNoSitesLine, 0);
  }
  for (int i = 0; i < m_pListBox->GetCount(); ++i) m_pListBox->SetItemHeight(i, kSiteLineHeight);
}

void CDlg_SiteList::SaveSites() {
  if (!m_bStoreWritable) return;
  const auto what = [](const CDvrSession& s) {
    const SiteFields f = s.Site();
    return std::tuple(f.name, f.address, f.port, f.user, f.password);
  };
  std::optional<decltype(what(*m_pCurrSite))> current;
  if (m_pCurrSite) current = what(*m_pCurrSite);
  const StoreResult result = m_store.SaveSites(m_sites, GetSafeHwnd());
  if (result == StoreResult::Merged) {
    // The list was rebuilt from the merge: the current site is the one that
    // holds what it held, if the other instance kept it.
    m_pCurrSite = nullptr;
    for (CDvrSession* s = m_sites.First(); s && current && !m_pCurrSite; s = s->m_pNext)
      if (what(*s) == *current) m_pCurrSite = s;
  }
  if (result != StoreResult::Ok) ShowStoreMessage(m_store.Message());
}

void CDlg_SiteList::ShowStoreMessage(std::u16string text) { MessageBox(GetSafeHwnd(), text, u"Lorventa"); }

bool CDlg_SiteList::OnCommand(WPARAM wParam, LPARAM lParam) {
  // A double click on a line is the Connect button.
  if (LOWORD(wParam) == IDC_SITE_LIST && HIWORD(wParam) == LBN_DBLCLK) PostButtonCommand(3);
  // The buttons act when the pen is lifted inside them (code 0); their
  // pen-down notification passes untouched.
  if (HIWORD(wParam) == BN_CLICKED) {
    const int w = static_cast<int>(wParam);
    const int l = static_cast<int>(lParam);
    switch (LOWORD(wParam)) {
      case LIST_BTN_ADD:
        DebugOut(" LIST_BTN_ADD [%d][%d]\r\n", w, l);
        OnAdd();
        break;
      case LIST_BTN_MODIFY:
        DebugOut(" LIST_BTN_MODIFY [%d][%d]\r\n", w, l);
        OnModify();
        break;
      case LIST_BTN_DELETE:
        DebugOut(" LIST_BTN_DELETE [%d][%d]\r\n", w, l);
        OnDelete();
        break;
      case LIST_BTN_CONNECT:
        DebugOut(" LIST_BTN_CONNECT [%d][%d]\r\n", w, l);
        OnConnect();
        break;
      default:
        break;
    }
  }
  return CDialog::OnCommand(wParam, lParam);
}

bool CDlg_SiteList::RunRegDialog() {
  m_pRegDlg->m_bFillFields = true;
  const bool ok = m_pRegDlg->DoModal() == IDOK;
  if (ok) {
    DebugOut(" [%s][%s][%s][%s][%s]\r\n", Utf8(m_pRegDlg->m_strSiteName).c_str(), Utf8(m_pRegDlg->m_strSiteIP).c_str(),
             Utf8(m_pRegDlg->m_strSitePort).c_str(), Utf8(m_pRegDlg->m_strUserID).c_str(),
             "****");  // the password never goes to the log, nor its length
  }
  return ok;
}

void CDlg_SiteList::OnAdd() {
  if (!m_pRegDlg) return;
  CDlg_SiteReg& reg = *m_pRegDlg;
  reg.SetFields({});
  reg.m_strSitePort.clear();
  if (RunRegDialog()) {
    auto site = std::make_unique<CDvrSession>(GetSafeHwnd());
    site->SetSite(reg.Fields());
    site->m_nSiteIndex = m_sites.NextSiteIndex();
    CDvrSession* added = site.get();
    m_sites.AppendSite(std::move(site));
    m_pCurrSite = added;
    SaveSites();
    FillSiteList();
    HighlightSite(added);
  }
  SetTimer(TIMER_FULLSCREEN, kFullScreenDelayMs);
}

void CDlg_SiteList::OnModify() {
  m_pCurrSite = HighlightedSite();
  if (!m_pRegDlg || !m_pCurrSite) return;
  CDlg_SiteReg& reg = *m_pRegDlg;
  CDvrSession& site = *m_pCurrSite;
  reg.SetFields(site.Site());
  if (RunRegDialog()) {
    site.SetSite(reg.Fields());
    SaveSites();
    FillSiteList();
    HighlightSite(&site);
  }
  SetTimer(TIMER_FULLSCREEN, kFullScreenDelayMs);
}

void CDlg_SiteList::OnDelete() {
  m_pCurrSite = HighlightedSite();
  if (!m_pCurrSite) return;
  m_sites.RemoveSite(m_pCurrSite->m_nSiteIndex);
  m_pCurrSite = nullptr;  // no confirmation question, as on the handheld
  SaveSites();
  FillSiteList();
}

void CDlg_SiteList::OnConnect() {
  m_pCurrSite = HighlightedSite();
  ConnectCurrent();
}

void CDlg_SiteList::ConnectCurrent() {
  if (!m_pView || !m_pCurrSite) return;
  m_pView->m_pCurr_DVR = m_pCurrSite;
  m_pView->DoModal();
  SetTimer(TIMER_FULLSCREEN, kFullScreenDelayMs);
}

void CDlg_SiteList::OnTimer(UINT_PTR id) {
  if (id == TIMER_FULLSCREEN) {
    // The handheld hides its start icon and input-panel button here; a
    // desktop has neither.
    DebugOut("# SHFS_HIDESTARTICON\r\n");
    KillTimer(TIMER_FULLSCREEN);
  }
  CDialog::OnTimer(id);
}

void CDlg_SiteList::OnPaint() {
  CPaintDC dc(this);
  dc.FillSolidRect(m_rcClient, RGB(0, 0, 0));
}

bool CDlg_SiteList::PreTranslateMessage(MSG* msg) {
  if (msg && msg->message == WM_KEYDOWN) {
    const int key = static_cast<int>(msg->wParam);
    const bool repeat = (static_cast<std::uintptr_t>(msg->lParam) >> 30) & 1;
    // In the list, Enter and Delete are the Connect and Delete buttons.
    if (m_pListBox && msg->hwnd == m_pListBox->GetSafeHwnd() && (key == VK_RETURN || key == VK_DELETE)) {
      if (!repeat) PostButtonCommand(key == VK_RETURN ? 3 : 2);
      return true;
    }
    // Enter and Escape would end the program's main window; a focused button
    // takes Enter as its press.
    if ((key == VK_RETURN || key == VK_ESCAPE) && !ControlWantsKey(msg)) return true;
  }
  if (msg && OnWallKey(*msg)) return true;
  return CDialog::PreTranslateMessage(msg);
}

void CDlg_SiteList::PostNcDestroy() {
  m_pCurrSite = nullptr;
  m_sites.ClearSites();
  m_pListBox.reset();
  m_pRegDlg.reset();
  m_pView.reset();
  m_network.Release();
  m_hBtn = {};
  CDialog::PostNcDestroy();
}

}  // namespace lv
