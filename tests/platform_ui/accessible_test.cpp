// What screen readers get from the window layer, read back through
// QAccessible: roles, names, states, and the events of text and list changes.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <vector>

#include "platform/ui/accessible.h"
#include "platform/ui/listbox.h"
#include "platform/ui/window_api.h"
#include "support_gui/test_window.h"

namespace {

struct Seen {
  QAccessible::Event type;
  QObject* object;
  QAccessibleInterface* iface;
  QString name;  // read as the event happened
};
std::vector<Seen> g_events;

class AccessibleTest : public testing::Test {
 protected:
  void SetUp() override {
    g_events.clear();
    lv::SetAccessibleEventObserver(
        [](QAccessibleEvent* e) {
          QAccessibleInterface* i = e->accessibleInterface();
          g_events.push_back({e->type(), e->object(), i, i ? i->text(QAccessible::Name) : QString()});
        });
  }
  void TearDown() override { lv::SetAccessibleEventObserver({}); }
  static QAccessibleInterface* Of(lv::HWND hwnd) {
    return QAccessible::queryAccessibleInterface(lv::WidgetFromHandle(hwnd));
  }

  lvtest::TestWindow owner{{0, 0, 300, 200}};
};

TEST_F(AccessibleTest, StaticsReadAsTheirTextAndAnnounceEachChangeOnce) {
  const lv::HWND label = lv::CreateWindowEx(0, u"STATIC", u"Trying to login", lv::WS_CHILD | lv::WS_VISIBLE, 0, 0,
                                            200, 20, owner.GetSafeHwnd(), 1013);
  QAccessibleInterface* text = Of(label);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->role(), QAccessible::StaticText);
  EXPECT_EQ(text->text(QAccessible::Name), QStringLiteral("Trying to login"));
  EXPECT_EQ(Of(owner.GetSafeHwnd())->text(QAccessible::Name), QStringLiteral("test")) << "a window: its caption";

  lv::SetWindowText(label, u"Receiving data");
  lv::SetWindowText(label, u"Receiving data");  // the same text again is not news
  EXPECT_EQ(text->text(QAccessible::Name), QStringLiteral("Receiving data"));
  ASSERT_EQ(g_events.size(), 1u);
  EXPECT_EQ(g_events[0].type, QAccessible::NameChanged);
  EXPECT_EQ(g_events[0].object, lv::WidgetFromHandle(label));

  lv::SetAccessibleName(label, u"Status");
  lv::SetAccessibleDescription(label, u"What the link is doing");
  EXPECT_EQ(text->text(QAccessible::Name), QStringLiteral("Status"));
  EXPECT_EQ(text->text(QAccessible::Description), QStringLiteral("What the link is doing"));
}

// An announcement is an alert of the top-level window that shows (what AT-SPI
// passes on), once per new text; a message box announces its text as it shows.
TEST_F(AccessibleTest, AnnouncementsAreShownAlertsOfTheWindowAndMessageBoxesAnnounceTheirText) {
  lvtest::ChildWindow label(owner, {0, 0, 100, 20}, 5);
  const std::pair<std::u16string, bool> said[] = {{u"Trying to login", true}, {u"Trying to login", false}, {u"Idle", true}};
  for (const auto& [text, news] : said) {
    g_events.clear();
    lv::Announce(label.GetSafeHwnd(), text);
    ASSERT_EQ(g_events.size(), news ? 2u : 0u);
    for (std::size_t i = 0; i < g_events.size(); ++i) {
      EXPECT_EQ(g_events[i].type, i == 0 ? QAccessible::ObjectShow : QAccessible::Alert);
      EXPECT_EQ(g_events[i].iface->role(), QAccessible::AlertMessage);
      EXPECT_EQ(g_events[i].name, QString::fromStdU16String(text));
      EXPECT_EQ(g_events[i].iface->parent()->object(), owner.GetWidget());
    }
  }
  g_events.clear();
  QTimer closer;  // answers the box once it announced itself (or after a while, to fail)
  int ticks = 0;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); box && (!g_events.empty() || ++ticks > 400))
      box->accept();
  });
  closer.start(5);
  lv::MessageBox(owner.GetSafeHwnd(), u"The store is damaged.", u"Lorventa");
  ASSERT_EQ(g_events.size(), 2u);
  EXPECT_EQ(g_events[1].type, QAccessible::Alert);
  EXPECT_EQ(g_events[1].name, QStringLiteral("The store is damaged."));
}

TEST_F(AccessibleTest, ListBoxLinesAreItemsReadLiveWithTheirSelection) {
  lv::CListBox list;
  ASSERT_TRUE(list.Create(lv::WS_CHILD | lv::WS_VISIBLE | lv::WS_BORDER, {0, 0, 300, 200}, &owner, 7));
  QAccessibleInterface* iface = Of(list.GetSafeHwnd());
  ASSERT_NE(iface, nullptr);
  EXPECT_EQ(iface->role(), QAccessible::List);
  list.AddString(u"Office");
  list.AddString(u"Warehouse");
  EXPECT_EQ(g_events.size(), 2u) << "each change of the lines is announced";
  EXPECT_EQ(g_events.back().type, QAccessible::ObjectReorder);
  ASSERT_EQ(iface->childCount(), 2);
  QAccessibleInterface* second = iface->child(1);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->role(), QAccessible::ListItem);
  EXPECT_EQ(second->text(QAccessible::Name), QStringLiteral("Warehouse"));
  EXPECT_EQ(second->parent(), iface);
  EXPECT_EQ(iface->indexOfChild(second), 1);

  lv::SetFocus(list.GetSafeHwnd());
  g_events.clear();
  QTest::keyClick(list.GetWidget(), Qt::Key_Down);  // the first line
  QTest::keyClick(list.GetWidget(), Qt::Key_Down);
  EXPECT_TRUE(second->state().selected);
  EXPECT_TRUE(second->state().focused);
  EXPECT_FALSE(iface->child(0)->state().selected);
  EXPECT_EQ(iface->focusChild(), second);
  ASSERT_GE(g_events.size(), 2u);
  EXPECT_EQ(g_events[g_events.size() - 2].type, QAccessible::Selection);
  EXPECT_EQ(g_events[g_events.size() - 2].iface, second);
  EXPECT_EQ(g_events.back().type, QAccessible::Focus);
  EXPECT_EQ(iface->childAt(second->rect().center().x(), second->rect().center().y()), second);

  list.ResetContent();
  list.AddString(u"Depot");
  EXPECT_EQ(iface->child(0)->text(QAccessible::Name), QStringLiteral("Depot"));
  EXPECT_FALSE(second->isValid()) << "a line that is gone";
  EXPECT_EQ(iface->child(1), nullptr);
  list.EnableWindow(false);
  EXPECT_TRUE(iface->child(0)->state().disabled);
}

}  // namespace
