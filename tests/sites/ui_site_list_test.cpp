// The site list with real widgets: the list lines, add, cancel, modify,
// delete with and without a selection, the store's problems, the keys that
// must not end it, and what screen readers get.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAccessible>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "controls/focus_mark.h"
#include "controls/grp_btn.h"
#include "platform/ui/window_api.h"
#include "protocol/text.h"
#include "sites/site_list_dialog.h"
#include "view/site_view.h"
#include "support/pump.h"
#include "support_gui/test_window.h"
#include "ui_modal_script.h"

namespace {

using lv::CDlg_SiteList;
using lv::HWND;
using Row = std::tuple<int, std::string, std::string, int, std::string, std::string>;
using Lines = std::vector<std::string>;

class FakeNetwork : public lv::ISiteNetwork {
 public:
  explicit FakeNetwork(int available) : m_available(available) {}
  int ConnectNetwork(HWND notifyWindow) override {
    notified = notifyWindow;
    return m_available;
  }
  lv::LRESULT OnConnMgrStatus(lv::WPARAM, lv::LPARAM) override { return ++statusNotes, 0; }
  void Release() override { ++releases; }
  HWND notified = 0;
  int statusNotes = 0;
  int releases = 0;

 private:
  int m_available;
};

std::vector<Row> Rows(const lv::SiteList& list) {
  std::vector<Row> rows;
  for (const lv::CDvrSession* s = list.First(); s; s = s->m_pNext)
    rows.emplace_back(s->m_nSiteIndex, lv::Utf16ToUtf8(s->m_strSiteName), lv::Utf16ToUtf8(s->m_strAddress), s->m_nPort,
                      lv::Utf16ToUtf8(s->m_strUserID), lv::Utf16ToUtf8(s->m_strPassword));
  return rows;
}

QWidget* W(HWND h) { return lv::WidgetFromHandle(h); }
QAccessibleInterface* A(QWidget* w) { return QAccessible::queryAccessibleInterface(w); }
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
  std::vector<Row> Stored() const {  // what a fresh start would load
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
  // The list's lines as a screen reader reads them; every line is 80 pixels high.
  static Lines Shown(CDlg_SiteList& dlg) {
    Lines lines;
    QAccessibleInterface* list = A(dlg.ListBox()->GetWidget());
    for (int i = 0; i < list->childCount(); ++i) {
      lines.push_back(list->child(i)->text(QAccessible::Name).toStdString());
      EXPECT_EQ(dlg.ListBox()->GetItemHeight(i), 80) << i;
    }
    return lines;
  }
  static void TapLine(CDlg_SiteList& dlg, int line) {
    QTest::mouseClick(dlg.ListBox()->GetWidget(), Qt::LeftButton, {}, QPoint(200, 80 * line + 40));
    // The list posts its selection when it draws the selected line.
    lvtest::PumpUntil([&] { return dlg.CurrentSite() != nullptr; }, 3000);
  }
  // Adds or changes a site through the registration form: texts, then OK.
  void Register(CDlg_SiteList& dlg, int button, const std::array<std::u16string, 5>& texts,
                const std::array<std::u16string, 5>& expectShown = {}) {
    script.Inside(*dlg.RegDialog(), {[&dlg, texts, expectShown] {
                    lv::CDlg_SiteReg& reg = *dlg.RegDialog();
                    for (int i = 0; i < 5; ++i) {
                      EXPECT_EQ(reg.Edit(i)->GetWindowText(), expectShown[static_cast<std::size_t>(i)]) << i;
                      reg.Edit(i)->SetWindowText(texts[static_cast<std::size_t>(i)]);
                    }
                    Tap(reg.OkButton());
                  }});
    Tap(dlg.Button(button));  // runs the form and comes back when it ends
  }
  static void CloseByCaption(CDlg_SiteList& dlg) {
    QCloseEvent close;
    QCoreApplication::sendEvent(dlg.GetWidget(), &close);
  }

  std::filesystem::path root;
  lvtest::ModalScript script;
};

TEST_F(SiteListTest, StartsEmptyAddsACancelledAddChangesNothingAndOnlyTheCaptionButtonEndsIt) {
  FakeNetwork network(1);
  CDlg_SiteList dlg(network, Store());
  lvtest::DebugCapture debug;
  const auto result = script.Run(
      dlg, {[&] {
              EXPECT_EQ(A(dlg.GetWidget())->text(QAccessible::Name), QStringLiteral("Lorventa"));
              EXPECT_FALSE(dlg.GetWidget()->windowIcon().isNull());
              EXPECT_EQ(network.notified, dlg.GetSafeHwnd());
              EXPECT_EQ(Shown(dlg), Lines{"There is no site info."});
              EXPECT_EQ(dlg.ListBox()->GetWidget()->geometry(), QRect(0, 0, 480, 590));
              const std::array<const char*, 4> names = {"Add", "Modify", "Delete", "Connect"};
              for (int b = 0; b < 4; ++b) {
                EXPECT_EQ(W(dlg.Button(b))->geometry(), QRect(120 * b, 590, 120, 106)) << b;
                EXPECT_EQ(A(W(dlg.Button(b)))->text(QAccessible::Name), QString::fromLatin1(names[std::size_t(b)]));
              }
              Register(dlg, 0, {u"Office", u"127.0.0.1", u"8000", u"admin", u"s3cret"});
              EXPECT_EQ(Shown(dlg), Lines{"Office"});
              ASSERT_NE(dlg.CurrentSite(), nullptr) << "the new site is the current one";
              EXPECT_EQ(dlg.CurrentSite()->m_hNotifyWnd.load(), dlg.GetSafeHwnd());
              EXPECT_EQ(Stored(), (std::vector<Row>{{0, "Office", "127.0.0.1", 8000, "admin", "s3cret"}}));
              EXPECT_TRUE(debug.Contains(" [Office][127.0.0.1][8000][admin][****]\r\n"));
              for (const std::string& line : debug.Lines())
                EXPECT_EQ(line.find("s3cret"), std::string::npos) << "the password stays out of the log: " << line;
            },
            [&] {
              debug.Clear();
              script.Inside(*dlg.RegDialog(), {[&] { Tap(dlg.RegDialog()->CancelButton()); }});
              Tap(dlg.Button(0));
              EXPECT_EQ(Shown(dlg), Lines{"Office"});
              EXPECT_EQ(Stored().size(), 1u);
              EXPECT_TRUE(lvtest::PumpUntil([&] { return debug.Contains("# SHFS_HIDESTARTICON\r\n"); }))
                  << "the full-screen timer restarts after every form";
              dlg.ListBox()->SetFocus();
              dlg.ListBox()->SetCurSel(-1);  // no line: Enter connects to nothing
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
  lvtest::DebugCapture debug;
  script.Run(dlg, {[&] {
                     EXPECT_EQ(Shown(dlg), (Lines{"North", "Middle", "South"}));
                     Tap(dlg.Button(2));  // delete and modify without a selection
                     Tap(dlg.Button(1));
                     EXPECT_EQ(Shown(dlg).size(), 3u);
                     EXPECT_FALSE(debug.Contains(" Key Delete \r\n")) << "nothing was saved";
                     TapLine(dlg, 1);
                     ASSERT_NE(dlg.CurrentSite(), nullptr);
                     EXPECT_EQ(dlg.CurrentSite()->m_nSiteIndex, 1);
                     EXPECT_TRUE(A(dlg.ListBox()->GetWidget())->child(1)->state().selected);
                   },
                   [&] {
                     Register(dlg, 1, {u"Centre", u"10.0.0.2", u"9000", u"b", u"pb"},
                              {u"Middle", u"10.0.0.2", u"8001", u"b", u"pb"});
                     EXPECT_EQ(Shown(dlg), (Lines{"North", "Centre", "South"}));
                     EXPECT_EQ(dlg.CurrentSite()->m_nSiteIndex, 1);
                     EXPECT_EQ(Stored()[1], (Row{1, "Centre", "10.0.0.2", 9000, "b", "pb"}));
                   },
                   [&] {
                     // A press alone does nothing: the command acts on the release inside.
                     QTest::mousePress(W(dlg.Button(2)), Qt::LeftButton, {}, QPoint(30, 30));
                     QTest::mouseRelease(dlg.GetWidget(), Qt::LeftButton, {}, QPoint(470, 10));
                     EXPECT_EQ(Shown(dlg).size(), 3u);
                     // A screen reader's press of Delete is a tap.
                     A(W(dlg.Button(2)))->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
                     EXPECT_TRUE(lvtest::PumpUntil([&] { return Shown(dlg).size() == 2; }));  // the tap is posted
                     EXPECT_EQ(Shown(dlg), (Lines{"North", "South"}));
                     EXPECT_EQ(dlg.CurrentSite(), nullptr);
                     EXPECT_EQ(Rows(dlg.Sites()), (std::vector<Row>{{0, "North", "10.0.0.1", 8000, "a", "pa"},
                                                                    {2, "South", "10.0.0.3", 8002, "c", "pc"}}))
                         << "indexes in memory keep their gap";
                     EXPECT_EQ(Stored(), (std::vector<Row>{{0, "North", "10.0.0.1", 8000, "a", "pa"},
                                                           {1, "South", "10.0.0.3", 8002, "c", "pc"}}));
                     debug.Clear();
                     Tap(dlg.Button(2));  // a second delete: nothing is current
                     EXPECT_EQ(Shown(dlg).size(), 2u);
                     EXPECT_FALSE(debug.Contains(" Key Delete \r\n"));
                   },
                   [&] {
                     Register(dlg, 0, {u"East", u"h", u"1", u"u", u""});
                     EXPECT_EQ(dlg.CurrentSite()->m_nSiteIndex, 3) << "after the last index, not the count";
                     CloseByCaption(dlg);
                   }});
  EXPECT_TRUE(script.Completed());
}

// Resized or maximised, the list is drawn scaled to the window, centred with
// black beside it, and a click where Add is drawn is a tap on Add.
TEST_F(SiteListTest, AResizedListScalesItsLayoutCentredAndAClickOnAddActs) {
  FakeNetwork network(1);
  CDlg_SiteList dlg(network, Store());
  int opened = 0;
  script.Run(dlg, {[&] {
                     for (const QSize size : {QSize(960, 1392), QSize(1280, 1024)}) {
                       dlg.GetWidget()->resize(size);
                       const double s = std::min(size.width() / 480.0, size.height() / 696.0);
                       const QPointF o = QPointF(size.width() - 480 * s, size.height() - 696 * s) / 2;
                       const auto at = [&](double x, double y) { return (o + QPointF(x, y) * s).toPoint(); };
                       const QRect connect(at(360, 590), at(480, 696) - QPoint(1, 1));
                       EXPECT_EQ(W(dlg.Button(3))->geometry(), connect) << size.width();
                       const QImage shot = lvtest::Grab(dlg.GetWidget());
                       EXPECT_EQ(shot.copy(connect), lvtest::Grab(dlg.Button(3))) << size.width();
                       for (const QPoint beside : {at(-2, 650), at(482, 650)})
                         EXPECT_TRUE(!shot.rect().contains(beside) || shot.pixel(beside) == qRgb(0, 0, 0)) << beside.x();
                       script.Inside(*dlg.RegDialog(), {[&] {
                                       ++opened;
                                       Tap(dlg.RegDialog()->CancelButton());
                                     }});
                       QTest::mouseClick(dlg.GetWidget()->windowHandle(), Qt::LeftButton, {}, at(60, 643));
                     }
                     CloseByCaption(dlg);
                   }});
  EXPECT_TRUE(script.Completed());
  EXPECT_EQ(opened, 2);
}

TEST_F(SiteListTest, WithoutNetworkOneLineStandsForEverySiteAndSelectsSiteZero) {
  Seed({{0, "First", "h", 1, "u", ""}, {1, "Second", "h", 2, "u", ""}});
  FakeNetwork network(0);
  CDlg_SiteList dlg(network, Store());
  script.Run(dlg, {[&] {
                     EXPECT_EQ(Shown(dlg), Lines{"Can not use network."});
                     TapLine(dlg, 0);
                     ASSERT_NE(dlg.CurrentSite(), nullptr);
                     EXPECT_EQ(lv::Utf16ToUtf8(dlg.CurrentSite()->m_strSiteName), "First");
                     dlg.PostMessage(lv::kConnMgrStatusMessage, 0, 0);  // passed on to the connection
                     EXPECT_TRUE(lvtest::PumpUntil([&] { return network.statusNotes == 1; }));
                     CloseByCaption(dlg);
                   }});
  EXPECT_TRUE(script.Completed());
}

TEST_F(SiteListTest, ADamagedStoreIsShownAndTheListStartsEmptyAndStillSaves) {
  std::filesystem::create_directories(root / "lorventa");
  std::ofstream(root / "lorventa" / lv::SiteStore::kFileName) << std::string(4096, 'x');
  FakeNetwork network(1);
  CDlg_SiteList dlg(network, Store());
  std::u16string shown;
  script.AnswerMessageBox(&shown);
  script.Run(dlg, {[&] {
                     EXPECT_NE(lv::Utf16ToUtf8(shown).find("damaged"), std::string::npos) << lv::Utf16ToUtf8(shown);
                     EXPECT_EQ(Shown(dlg), Lines{"There is no site info."});
                     Register(dlg, 0, {u"New", u"h", u"1", u"u", u""});
                     EXPECT_EQ(Stored(), (std::vector<Row>{{0, "New", "h", 1, "u", ""}}));
                     CloseByCaption(dlg);
                   }});
  EXPECT_TRUE(script.Completed());
}

void Key(Qt::Key key, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(QApplication::focusWidget(), key, mods); }
bool Focused(HWND h) { return lv::GetFocus() == h; }

TEST_F(SiteListTest, KeyboardAloneAddsASite) {
  FakeNetwork network(1);
  CDlg_SiteList dlg(network, Store());
  script.Run(dlg, {[&] {
    ASSERT_TRUE(lvtest::ShowActive(dlg.GetWidget()));
    EXPECT_TRUE(Focused(dlg.ListBox()->GetSafeHwnd())) << "the list has the focus first";
    for (const auto mods : {Qt::NoModifier, Qt::NoModifier, Qt::ShiftModifier}) Key(Qt::Key_Tab, mods);
    EXPECT_TRUE(Focused(dlg.Button(0)));
    script.Inside(*dlg.RegDialog(), {[&] {
      lv::CDlg_SiteReg& reg = *dlg.RegDialog();
      ASSERT_TRUE(lvtest::ShowActive(reg.GetWidget()));
      EXPECT_TRUE(Focused(reg.Edit(0)->GetSafeHwnd())) << "the form opens in its first field";
      for (const char* text : {"Office", "127.0.0.1", "8000", "admin", "pw"}) {
        QTest::keyClicks(QApplication::focusWidget(), text);
        Key(Qt::Key_Tab);
      }
      EXPECT_TRUE(Focused(reg.OkButton()));
      Key(Qt::Key_Return);
    }});
    Key(Qt::Key_Return);  // Add: the form runs once the key is handled
    EXPECT_TRUE(lvtest::PumpUntil([&] { return dlg.Sites().Count() == 1; }));
    EXPECT_EQ(Stored(), (std::vector<Row>{{0, "Office", "127.0.0.1", 8000, "admin", "pw"}}));
    CloseByCaption(dlg);
  }});
  EXPECT_TRUE(script.Completed());
}

TEST_F(SiteListTest, ListKeysAndWheelMoveAlongTwentySitesAndEnterDoubleClickAndDeleteAct) {
  std::vector<Row> rows;
  for (int i = 0; i < 20; ++i) rows.emplace_back(i, "Site " + std::to_string(i + 1), "127.0.0.1", 1, "u", "");
  Seed(rows);
  FakeNetwork network(1);
  CDlg_SiteList dlg(network, Store());
  const auto connectsTo = [&](const std::function<void()>& act) {
    std::string name;
    script.Inside(*dlg.SiteView(), {[&] {
      name = lv::Utf16ToUtf8(dlg.SiteView()->m_pCurr_DVR.load()->m_strSiteName);
      dlg.SiteView()->EndDialog(lv::IDCANCEL);
    }});
    act();
    lvtest::PumpUntil([&] { return !name.empty() && !dlg.SiteView()->IsRunning(); });
    lvtest::ShowActive(dlg.GetWidget());  // the window manager's part
    return name;
  };
  script.Run(dlg, {[&] {
    ASSERT_TRUE(lvtest::ShowActive(dlg.GetWidget()));
    lv::CHanListBox& list = *dlg.ListBox();
    const std::vector<std::pair<Qt::Key, int>> keys = {{Qt::Key_Down, 0}, {Qt::Key_Down, 1}, {Qt::Key_End, 19},
        {Qt::Key_Home, 0}, {Qt::Key_PageDown, 6}, {Qt::Key_PageDown, 12}, {Qt::Key_PageUp, 6}, {Qt::Key_Up, 5}};
    for (const auto& [key, line] : keys) {
      Key(key);
      EXPECT_EQ(list.GetCurSel(), line) << key;
    }
    EXPECT_EQ(connectsTo([] { Key(Qt::Key_Return); }), "Site 6");
    Key(Qt::Key_Delete);
    EXPECT_TRUE(lvtest::PumpUntil([&] { return dlg.Sites().Count() == 19; }));
    EXPECT_EQ(Stored()[5], (Row{5, "Site 7", "127.0.0.1", 1, "u", ""}));
    EXPECT_EQ(list.GetCurSel(), -1);
  },
  [&] {
    lv::CHanListBox& list = *dlg.ListBox();
    list.SetTopIndex(0);
    const lv::CRect thumb = list.ScrollThumbRect();
    EXPECT_TRUE(thumb.top == lv::kFocusMarkWidth && thumb.Height() > 0) << "more sites than lines";
    for (int notch = 0; notch < 10 && list.GetTopIndex() < 12; ++notch) {
      QWheelEvent wheel(QPointF(200, 200), list.GetWidget()->mapToGlobal(QPointF(200, 200)), {}, {0, -120},
                        Qt::NoButton, {}, Qt::NoScrollPhase, false);
      QApplication::sendEvent(list.GetWidget(), &wheel);
    }
    EXPECT_EQ(list.GetTopIndex(), 12) << "the last sites fill the list";
    EXPECT_GT(list.ScrollThumbRect().top, thumb.top);
    lv::CRect line;
    list.GetItemRect(18, &line);  // the 20th site, after the deletion
    EXPECT_EQ(connectsTo([&] {
                QTest::mouseDClick(list.GetWidget(), Qt::LeftButton, {}, QPoint(200, line.top + 40));
              }), "Site 20");
    list.SetFocus();
    lvtest::SaveShot(dlg.GetWidget(), "site-list-keyboard");
    CloseByCaption(dlg);
  }});
  EXPECT_TRUE(script.Completed());
}

TEST_F(SiteListTest, TheChangedSiteStaysHighlightedAndWithoutAHighlightButtonsDoNothing) {
  Seed({{0, "North", "10.0.0.1", 8000, "a", "pa"}, {1, "South", "10.0.0.3", 8002, "c", "pc"}});
  FakeNetwork network(1);
  CDlg_SiteList dlg(network, Store());
  script.Run(dlg, {[&] {
    TapLine(dlg, 1);
    Register(dlg, 1, {u"Centre", u"h", u"1", u"u", u""}, {u"South", u"10.0.0.3", u"8002", u"c", u"pc"});
    EXPECT_EQ(dlg.ListBox()->GetCurSel(), 1);
    // A screen reader's press of Add returns before the form runs.
    bool pressReturned = false;
    script.Inside(*dlg.RegDialog(), {[&] {
      EXPECT_TRUE(pressReturned);
      for (int i = 0; i < 5; ++i) dlg.RegDialog()->Edit(i)->SetWindowText(u"1");
      Tap(dlg.RegDialog()->OkButton());
    }});
    A(W(dlg.Button(0)))->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    pressReturned = true;
    EXPECT_TRUE(lvtest::PumpUntil([&] { return dlg.Sites().Count() == 3; }));
    EXPECT_EQ(dlg.ListBox()->GetCurSel(), 2);
    EXPECT_TRUE(lvtest::PumpUntil([&] { return dlg.CurrentSite() == dlg.Sites().FindSite(2); }));
  },
  [&] {
    dlg.ListBox()->SetCurSel(-1);
    bool opened = false;
    script.Inside(*dlg.RegDialog(), {[&] { opened = true, dlg.RegDialog()->EndDialog(lv::IDCANCEL); }});
    script.Inside(*dlg.SiteView(), {[&] { opened = true, dlg.SiteView()->EndDialog(lv::IDCANCEL); }});
    for (int b : {1, 2, 3}) Tap(dlg.Button(b));
    EXPECT_FALSE(opened);
    EXPECT_EQ(dlg.Sites().Count(), 3);
    CloseByCaption(dlg);
  }});
  EXPECT_TRUE(script.Completed());
}

}  // namespace

namespace {

// W asks for the current site's wall, Shift+W for every site's; the line's
// right-click menu offers the wall of the line under the pen.
TEST_F(SiteListTest, WallKeyAndLineMenuAskForTheSiteOrEverySite) {
  Seed({{0, "North", "10.0.0.1", 8000, "a", "pa"}, {1, "South", "10.0.0.3", 8002, "c", "pc"}});
  FakeNetwork network(1);
  CDlg_SiteList dlg(network, Store());
  Lines asked;  // the site's name, or "*" for every site
  dlg.m_onWall = [&](const lv::SiteFields* site, const std::vector<lv::SiteFields>& sites) {
    EXPECT_EQ(sites.size(), 2u);
    asked.push_back(site ? lv::Utf16ToUtf8(site->name) : "*");
  };
  script.Run(dlg, {[&] {
                     TapLine(dlg, 1);
                     QWidget* list = dlg.ListBox()->GetWidget();
                     QTest::keyClick(list, Qt::Key_W);
                     QTest::keyClick(list, Qt::Key_W, Qt::ShiftModifier);
                     QStringList items;
                     QTimer::singleShot(0, [&] {
                       auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                       if (!menu) return;
                       for (QAction* a : menu->actions()) {
                         items << a->text();
                         if (a->text() == QStringLiteral("Wall")) menu->setActiveAction(a);
                       }
                       QTest::keyClick(menu, Qt::Key_Return);
                     });
                     dlg.ShowLineMenu(QPoint(200, 40));  // the first line
                     EXPECT_EQ(items, (QStringList{"Connect", "Wall", "Modify", "Delete"}));
                   },
                   [&] { CloseByCaption(dlg); }});
  EXPECT_EQ(asked, (Lines{"South", "*", "North"}));
}

}  // namespace
