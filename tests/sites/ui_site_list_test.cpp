// The site list with real widgets: the list lines, add, cancel, modify,
// delete with and without a selection, the store's problems, the keys that
// must not end it, and what screen readers get.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAccessible>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "controls/grp_btn.h"
#include "platform/ui/window_api.h"
#include "protocol/text.h"
#include "sites/site_list_dialog.h"
#include "support/pump.h"
#include "support_gui/test_window.h"
#include "ui_modal_script.h"

namespace {

using lv::CDlg_SiteList;
using lv::HWND;
using lvtest::ModalScript;

class FakeNetwork : public lv::ISiteNetwork {
 public:
  explicit FakeNetwork(int available) : m_available(available) {}
  int ConnectNetwork(HWND notifyWindow) override {
    notified = notifyWindow;
    ++connects;
    return m_available;
  }
  lv::LRESULT OnConnMgrStatus(lv::WPARAM, lv::LPARAM) override {
    ++statusNotes;
    return 0;
  }
  void Release() override { ++releases; }

  HWND notified = 0;
  int connects = 0;
  int statusNotes = 0;
  int releases = 0;

 private:
  int m_available;
};

using Row = std::tuple<int, std::string, std::string, int, std::string, std::string>;

std::vector<Row> Rows(const lv::SiteList& list) {
  std::vector<Row> rows;
  for (const lv::CDvrSession* s = list.First(); s; s = s->m_pNext)
    rows.emplace_back(s->m_nSiteIndex, lv::Utf16ToUtf8(s->m_strSiteName), lv::Utf16ToUtf8(s->m_strAddress), s->m_nPort,
                      lv::Utf16ToUtf8(s->m_strUserID), lv::Utf16ToUtf8(s->m_strPassword));
  return rows;
}

QWidget* W(HWND h) { return lv::WidgetFromHandle(h); }
// A tap: the command acts when the pen is lifted inside the button.
void Tap(HWND button) { QTest::mouseClick(W(button), Qt::LeftButton, {}, QPoint(30, 30)); }

class SiteListTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "lv-sitelist-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(root); }

  lv::SiteStore Store() const { return lv::SiteStore(root / "lorventa"); }
  // What a fresh start would load.
  std::vector<Row> Stored() const {
    lv::SiteList list;
    Store().LoadSites(list, 0);
    return Rows(list);
  }
  void Seed(const std::vector<Row>& rows) {
    lv::SiteList list;
    for (const auto& [index, name, address, port, user, password] : rows) {
      auto s = std::make_unique<lv::CDvrSession>();
      s->m_nSiteIndex = index;
      s->m_strSiteName = lv::Utf8ToUtf16(name);
      s->m_strAddress = lv::Utf8ToUtf16(address);
      s->m_nPort = port;
      s->m_strUserID = lv::Utf8ToUtf16(user);
      s->m_strPassword = lv::Utf8ToUtf16(password);
      list.AppendSite(std::move(s));
    }
    ASSERT_EQ(Store().SaveSites(list), lv::StoreResult::Ok);
  }

  static std::vector<std::string> Lines(CDlg_SiteList& dlg) {
    std::vector<std::string> lines;
    for (int i = 0; i < dlg.ListBox()->GetCount(); ++i) {
      std::u16string text;
      dlg.ListBox()->GetText(i, &text);
      lines.push_back(lv::Utf16ToUtf8(text));
      EXPECT_EQ(dlg.ListBox()->GetItemHeight(i), 80) << i;
    }
    return lines;
  }
  static void TapLine(CDlg_SiteList& dlg, int line) {
    QTest::mouseClick(dlg.ListBox()->GetWidget(), Qt::LeftButton, {}, QPoint(200, 80 * line + 40));
    lvtest::PumpFor(10);  // the selection is posted
  }
  // Ends the program's main window with its caption button.
  static void CloseByCaption(CDlg_SiteList& dlg) {
    QCloseEvent close;
    QCoreApplication::sendEvent(dlg.GetWidget(), &close);
  }

  std::filesystem::path root;
};

TEST_F(SiteListTest, StartsEmptyAddsACancelledAddChangesNothingAndTheCaptionButtonEndsIt) {
  FakeNetwork network(1);
  CDlg_SiteList dlg(network, Store());
  ModalScript script;
  lvtest::DebugCapture debug;
  const auto result = script.Run(
      dlg,
      {[&] {
         EXPECT_EQ(dlg.GetWindowText(), u"Lorventa");
         EXPECT_FALSE(dlg.GetWidget()->windowIcon().isNull());
         EXPECT_EQ(network.notified, dlg.GetSafeHwnd());
         EXPECT_EQ(Lines(dlg), std::vector<std::string>{"There is no site info."});
         EXPECT_EQ(dlg.ListBox()->GetWidget()->geometry(), QRect(0, 0, 480, 590));
         for (int b = 0; b < 4; ++b) EXPECT_EQ(W(dlg.Button(b))->geometry(), QRect(120 * b, 590, 120, 106)) << b;
         EXPECT_EQ(lv::GetGrpBtnData(dlg.Button(3))->notify, 1);
         EXPECT_NE(dlg.RegDialog(), nullptr);
         EXPECT_NE(dlg.SiteView(), nullptr);
         EXPECT_EQ(dlg.CurrentSite(), nullptr);
       },
       [&] {
         script.Inside(*dlg.RegDialog(), {[&] {
                         lv::CDlg_SiteReg& reg = *dlg.RegDialog();
                         for (int i = 0; i < 5; ++i) EXPECT_EQ(reg.Edit(i)->GetWindowText(), u"") << i;
                         const std::array<std::u16string, 5> texts = {u"Office", u"127.0.0.1", u"8000", u"admin", u""};
                         for (int i = 0; i < 5; ++i) reg.Edit(i)->SetWindowText(texts[static_cast<std::size_t>(i)]);
                         Tap(reg.OkButton());
                       }});
         Tap(dlg.Button(0));  // runs the form and comes back when it ends
         EXPECT_EQ(Lines(dlg), std::vector<std::string>{"Office"});
         ASSERT_NE(dlg.CurrentSite(), nullptr) << "the new site is the current one";
         EXPECT_EQ(dlg.CurrentSite()->m_hNotifyWnd.load(), dlg.GetSafeHwnd());
         EXPECT_EQ(Stored(), (std::vector<Row>{{0, "Office", "127.0.0.1", 8000, "admin", ""}}));
         EXPECT_TRUE(debug.Contains(" [Office][127.0.0.1][8000][admin][]\r\n"));
       },
       [&] {
         debug.Clear();
         script.Inside(*dlg.RegDialog(), {[&] { Tap(dlg.RegDialog()->CancelButton()); }});
         Tap(dlg.Button(0));
         EXPECT_EQ(Lines(dlg), std::vector<std::string>{"Office"});
         EXPECT_EQ(Stored().size(), 1u);
         EXPECT_TRUE(lvtest::PumpUntil([&] { return debug.Contains("# SHFS_HIDESTARTICON\r\n"); }))
             << "the full-screen timer restarts after every form";
       },
       [&] {
         // Enter and Escape do not end the program's main window.
         dlg.ListBox()->SetFocus();
         QTest::keyClick(dlg.ListBox()->GetWidget(), Qt::Key_Return);
         QTest::keyClick(dlg.ListBox()->GetWidget(), Qt::Key_Escape);
       },
       [&] { CloseByCaption(dlg); }});
  EXPECT_EQ(result, lv::IDOK);
  EXPECT_TRUE(script.Completed()) << "neither Enter nor Escape ended it";
  EXPECT_EQ(dlg.Sites().Count(), 0) << "the final clean-up destroys the sites";
  EXPECT_EQ(dlg.RegDialog(), nullptr);
  EXPECT_EQ(dlg.SiteView(), nullptr);
  EXPECT_EQ(network.releases, 1);
  EXPECT_EQ(Stored().size(), 1u);
}

TEST_F(SiteListTest, ModifyKeepsPositionAndIndexAndDeleteActsOnlyOnASelection) {
  Seed({{0, "North", "10.0.0.1", 8000, "a", "pa"}, {1, "Middle", "10.0.0.2", 8001, "b", "pb"},
        {2, "South", "10.0.0.3", 8002, "c", "pc"}});
  FakeNetwork network(1);
  CDlg_SiteList dlg(network, Store());
  ModalScript script;
  lvtest::DebugCapture debug;
  script.Run(dlg,
             {[&] {
                EXPECT_EQ(Lines(dlg), (std::vector<std::string>{"North", "Middle", "South"}));
                Tap(dlg.Button(2));  // delete without a selection
                Tap(dlg.Button(1));  // modify without a selection
                EXPECT_EQ(Lines(dlg).size(), 3u);
                EXPECT_FALSE(debug.Contains(" Key Delete \r\n")) << "nothing was saved";
                TapLine(dlg, 1);
                ASSERT_NE(dlg.CurrentSite(), nullptr);
                EXPECT_EQ(dlg.CurrentSite()->m_nSiteIndex, 1);
              },
              [&] {
                script.Inside(*dlg.RegDialog(), {[&] {
                                lv::CDlg_SiteReg& reg = *dlg.RegDialog();
                                const std::array<std::u16string, 5> shown = {u"Middle", u"10.0.0.2", u"8001", u"b", u"pb"};
                                for (int i = 0; i < 5; ++i)
                                  EXPECT_EQ(reg.Edit(i)->GetWindowText(), shown[static_cast<std::size_t>(i)]) << i;
                                reg.Edit(0)->SetWindowText(u"Centre");
                                reg.Edit(2)->SetWindowText(u"9000");
                                Tap(reg.OkButton());
                              }});
                Tap(dlg.Button(1));
                EXPECT_EQ(Lines(dlg), (std::vector<std::string>{"North", "Centre", "South"}));
                EXPECT_EQ(dlg.CurrentSite()->m_nSiteIndex, 1);
                EXPECT_EQ(Stored()[1], (Row{1, "Centre", "10.0.0.2", 9000, "b", "pb"}));
              },
              [&] {
                // A press alone does nothing: the command acts on the release inside.
                QTest::mousePress(W(dlg.Button(2)), Qt::LeftButton, {}, QPoint(30, 30));
                QTest::mouseRelease(dlg.GetWidget(), Qt::LeftButton, {}, QPoint(470, 10));
                EXPECT_EQ(Lines(dlg).size(), 3u);
                Tap(dlg.Button(2));
                EXPECT_EQ(Lines(dlg), (std::vector<std::string>{"North", "South"}));
                EXPECT_EQ(dlg.CurrentSite(), nullptr);
                EXPECT_EQ(Rows(dlg.Sites()), (std::vector<Row>{{0, "North", "10.0.0.1", 8000, "a", "pa"},
                                                               {2, "South", "10.0.0.3", 8002, "c", "pc"}}))
                    << "indexes in memory keep their gap";
                EXPECT_EQ(Stored(), (std::vector<Row>{{0, "North", "10.0.0.1", 8000, "a", "pa"},
                                                      {1, "South", "10.0.0.3", 8002, "c", "pc"}}));
                debug.Clear();
                Tap(dlg.Button(2));  // a second delete: nothing is current
                EXPECT_EQ(Lines(dlg).size(), 2u);
                EXPECT_FALSE(debug.Contains(" Key Delete \r\n"));
              },
              [&] {
                // A site added now follows the last index (2), not the count.
                script.Inside(*dlg.RegDialog(), {[&] {
                                lv::CDlg_SiteReg& reg = *dlg.RegDialog();
                                const std::array<std::u16string, 5> texts = {u"East", u"h", u"1", u"u", u""};
                                for (int i = 0; i < 5; ++i) reg.Edit(i)->SetWindowText(texts[static_cast<std::size_t>(i)]);
                                Tap(reg.OkButton());
                              }});
                Tap(dlg.Button(0));
                EXPECT_EQ(dlg.CurrentSite()->m_nSiteIndex, 3);
                CloseByCaption(dlg);
              }});
  EXPECT_TRUE(script.Completed());
}

TEST_F(SiteListTest, WithoutNetworkOneLineStandsForEverySiteAndSelectsSiteZero) {
  Seed({{0, "First", "h", 1, "u", ""}, {1, "Second", "h", 2, "u", ""}});
  FakeNetwork network(0);
  CDlg_SiteList dlg(network, Store());
  ModalScript script;
  script.Run(dlg, {[&] {
                     EXPECT_EQ(dlg.NetworkAvailable(), 0);
                     EXPECT_EQ(Lines(dlg), std::vector<std::string>{"Can not use network."});
                     EXPECT_EQ(dlg.Sites().Count(), 2);
                     TapLine(dlg, 0);
                     ASSERT_NE(dlg.CurrentSite(), nullptr);
                     EXPECT_EQ(lv::Utf16ToUtf8(dlg.CurrentSite()->m_strSiteName), "First");
                     // The connection manager's notifications are passed on.
                     dlg.PostMessage(lv::kConnMgrStatusMessage, 0, 0);
                     lvtest::PumpFor(10);
                     EXPECT_EQ(network.statusNotes, 1);
                     CloseByCaption(dlg);
                   }});
  EXPECT_TRUE(script.Completed());
}

TEST_F(SiteListTest, ADamagedStoreIsShownAndTheListStartsEmptyAndStillSaves) {
  std::filesystem::create_directories(root / "lorventa");
  std::ofstream(root / "lorventa" / lv::SiteStore::kFileName) << std::string(4096, 'x');
  FakeNetwork network(1);
  CDlg_SiteList dlg(network, Store());
  ModalScript script;
  std::u16string shown;
  script.AnswerMessageBox(&shown);
  script.Run(dlg, {[&] {
                     EXPECT_NE(lv::Utf16ToUtf8(shown).find("damaged"), std::string::npos) << lv::Utf16ToUtf8(shown);
                     EXPECT_EQ(Lines(dlg), std::vector<std::string>{"There is no site info."});
                     script.Inside(*dlg.RegDialog(), {[&] {
                                     lv::CDlg_SiteReg& reg = *dlg.RegDialog();
                                     const std::array<std::u16string, 5> texts = {u"New", u"h", u"1", u"u", u""};
                                     for (int i = 0; i < 5; ++i)
                                       reg.Edit(i)->SetWindowText(texts[static_cast<std::size_t>(i)]);
                                     Tap(reg.OkButton());
                                   }});
                     Tap(dlg.Button(0));
                     EXPECT_EQ(Stored(), (std::vector<Row>{{0, "New", "h", 1, "u", ""}}));
                     CloseByCaption(dlg);
                   }});
  EXPECT_TRUE(script.Completed());
}

TEST_F(SiteListTest, ScreenReadersReadTheCaptionTheLinesAndTheNamedButtons) {
  Seed({{0, "Office", "h", 1, "u", ""}, {1, "Depot", "h", 2, "u", ""}});
  FakeNetwork network(1);
  CDlg_SiteList dlg(network, Store());
  ModalScript script;
  script.Run(dlg, {[&] {
                     EXPECT_EQ(QAccessible::queryAccessibleInterface(dlg.GetWidget())->text(QAccessible::Name),
                               QStringLiteral("Lorventa"));
                     QAccessibleInterface* list = QAccessible::queryAccessibleInterface(dlg.ListBox()->GetWidget());
                     EXPECT_EQ(list->role(), QAccessible::List);
                     ASSERT_EQ(list->childCount(), 2);
                     EXPECT_EQ(list->child(1)->text(QAccessible::Name), QStringLiteral("Depot"));
                     const std::array<const char*, 4> names = {"Add", "Modify", "Delete", "Connect"};
                     for (int b = 0; b < 4; ++b) {
                       QAccessibleInterface* button = QAccessible::queryAccessibleInterface(W(dlg.Button(b)));
                       EXPECT_EQ(button->role(), QAccessible::Button);
                       EXPECT_EQ(button->text(QAccessible::Name), QString::fromLatin1(names[static_cast<std::size_t>(b)]));
                     }
                     TapLine(dlg, 1);
                     EXPECT_TRUE(list->child(1)->state().selected);
                     // Pressing Delete from a screen reader deletes the selected site.
                     QAccessibleInterface* del = QAccessible::queryAccessibleInterface(W(dlg.Button(2)));
                     del->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
                     ASSERT_EQ(list->childCount(), 1);
                     EXPECT_EQ(list->child(0)->text(QAccessible::Name), QStringLiteral("Office"));
                     lv::EnableWindow(dlg.Button(1), false);
                     EXPECT_TRUE(QAccessible::queryAccessibleInterface(W(dlg.Button(1)))->state().disabled);
                     CloseByCaption(dlg);
                   }});
  EXPECT_TRUE(script.Completed());
}

}  // namespace
