#pragma once
// CDlg_SiteList: the program's main window. It lists the registered sites in
// a CHanListBox and carries four bitmap buttons along its bottom edge: add,
// modify, delete and connect. It owns the site list and its store, one
// registration form and one site view, both made once and run modally on
// demand. The caption's OK button ends it, and with it the program; Enter
// and Escape do not.
//
// The current site is always the highlighted line: Modify, Delete and
// Connect act on it and do nothing while no line is highlighted, and a site
// just added or changed stays highlighted. From the keyboard, Tab steps
// through the list and the four buttons; in the list Enter (or a double
// click on a line) connects and Delete deletes, as the buttons do.
//
// Store problems reach the user in a message box: a damaged store at start
// (moved aside by the store; the list starts empty), a store that could not
// be read (the list starts empty and nothing is saved over the unread sites),
// a save that failed, and a save merged with another instance's changes (the
// list then shows the merge).
#include <QIcon>
#include <QPoint>
#include <array>
#include <functional>
#include <vector>
#include <memory>
#include <optional>
#include <string>

#include "controls/han_list_box.h"
#include "platform/ui/dialog.h"
#include "sites/site_list.h"
#include "sites/site_network.h"
#include "sites/site_reg_dialog.h"
#include "sites/site_store.h"

namespace lv {

class CDlg_SiteView;

inline constexpr UINT LIST_BTN_ADD = 2001;
inline constexpr UINT LIST_BTN_MODIFY = 2002;
inline constexpr UINT LIST_BTN_DELETE = 2003;
inline constexpr UINT LIST_BTN_CONNECT = 2004;
inline constexpr UINT IDC_SITE_LIST = 2024;
inline constexpr UINT_PTR TIMER_FULLSCREEN = 1001;
// Posted to itself: connect to the start site (ConnectAtStart).
inline constexpr UINT kConnectAtStartMessage = WM_USER + 200;
// Posted to itself: show the site asked for by ShowSiteChannel.
inline constexpr UINT kShowSiteMessage = WM_USER + 201;
inline constexpr UINT kFullScreenDelayMs = 10;
inline constexpr int IDI_APP_ICON = 144;
inline constexpr int kListButtonHeight = 106;
inline constexpr UINT kSiteLineHeight = 80;

inline constexpr char16_t kNoNetworkLine[] = u"Can not use network.";
inline constexpr char16_t kNoSitesLine[] = u"There is no site info.";

// The application icon (group icon id), in every size drawn; a null icon
// for an id the program does not have.
QIcon LoadGroupIcon(int id);

// A site to show and connect to as soon as the list is up (the demo).
using StartSite = SiteFields;

class CDlg_SiteList : public CDialog {
 public:
  // network is not owned and outlives the dialog; store is where the sites
  // are kept (the user's own folder by default).
  explicit CDlg_SiteList(ISiteNetwork& network, SiteStore store = SiteStore());
  ~CDlg_SiteList() override;

  // --- read-outs (tests, screenshots) ---
  const SiteList& Sites() const { return m_sites; }
  CDvrSession* CurrentSite() const { return m_pCurrSite; }
  int NetworkAvailable() const { return m_bNetworkAvailable; }
  CHanListBox* ListBox() const { return m_pListBox.get(); }
  // Button b: 0 add, 1 modify, 2 delete, 3 connect.
  HWND Button(int b) const { return m_hBtn[static_cast<std::size_t>(b)]; }
  CDlg_SiteReg* RegDialog() const { return m_pRegDlg.get(); }
  CDlg_SiteView* SiteView() const { return m_pView.get(); }
  const SiteStore& Store() const { return m_store; }

  bool PreTranslateMessage(MSG* msg) override;

  // Once the list is up: the site of that name (added to the list and saved
  // when there is none) becomes current and the view connects to it.
  void ConnectAtStart(StartSite site) { m_startSite = std::move(site); }
  // Whether the site view reconnects by itself after a lost link (on).
  void SetAutoReconnect(bool on) { m_bAutoReconnect = on; }

  // Opens a wall (the shell sets it): W for the current site's wall, Shift+W
  // and a null site for the sites wall; also the line's right-click menu.
  std::function<void(const SiteFields* site, const std::vector<SiteFields>& sites)> m_onWall;
  // Right-click on a line: Connect, Wall, Modify, Delete for it (at: list coordinates).
  void ShowLineMenu(QPoint at);

  // Shows the named site's channel (0-based) in the site view: the view
  // already on that site switches to it and comes to the front; one on
  // another site ends first. False when no site has that name.
  bool ShowSiteChannel(const std::u16string& name, int channel);
  // Called once the site view is made (the shell gives it its hooks).
  std::function<void(CDlg_SiteView& view)> m_onViewMade;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnTimer(UINT_PTR id) override;
  void OnPaint() override;
  void PostNcDestroy() override;

 private:
  void LoadSitesFromStore();
  void CreateControls();
  void FillSiteList();
  void SaveSites();
  void OnAdd();
  void OnModify();
  void OnDelete();
  void OnConnect();
  void OnConnectAtStart();
  // site_list_wall.cpp: the wall's key and the line menu.
  bool OnWallKey(const MSG& msg);
  void OpenWall(bool allSites);
  void InstallLineMenu();
  // site_list_show.cpp: the site asked for by ShowSiteChannel.
  void OnShowSite();
  CDvrSession* SiteNamed(const std::u16string& name) const;
  // The site of the highlighted line, or nullptr when none is highlighted.
  CDvrSession* HighlightedSite() const;
  // Highlights site's line (the list shows every site).
  void HighlightSite(const CDvrSession* site);
  // Runs the view on the current site.
  void ConnectCurrent();
  // The command button b would send when tapped, posted to this window.
  void PostButtonCommand(int b);
  // Runs the registration form on the five texts; true on IDOK.
  bool RunRegDialog();
  void ShowStoreMessage(std::u16string text);

  ISiteNetwork& m_network;
  SiteStore m_store;
  QIcon m_hIcon;
  std::unique_ptr<CDlg_SiteReg> m_pRegDlg;
  std::unique_ptr<CDlg_SiteView> m_pView;
  CRect m_rcClient;
  std::unique_ptr<CHanListBox> m_pListBox;
  std::array<HWND, 4> m_hBtn{};
  CDvrSession* m_pCurrSite = nullptr;
  SiteList m_sites;
  int m_bNetworkAvailable = 0;
  // False when the stored sites could not be read: a save would replace them.
  bool m_bStoreWritable = true;
  std::optional<StartSite> m_startSite;
  std::optional<std::pair<std::u16string, int>> m_showSite;  // name, channel
  bool m_bAutoReconnect = true;
};

}  // namespace lv
