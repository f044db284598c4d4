// What screen readers get from the window layer: roles, names and states
// read back through QAccessible, and the events of text and list changes.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QTest>
#include <vector>

#include "platform/ui/accessible.h"
#include "platform/ui/dialog.h"
#include "platform/ui/listbox.h"
#include "platform/ui/window_api.h"
#include "support/pump.h"
#include "support_gui/test_window.h"

namespace {

using lv::HWND;

struct Seen {
  QAccessible::Event type;
  QObject* object;
  QAccessibleInterface* iface;
};
std::vector<Seen> g_events;

void Record(QAccessibleEvent* e) { g_events.push_back({e->type(), e->object(), e->accessibleInterface()}); }

class AccessibleTest : public testing::Test {
 protected:
  void SetUp() override {
    g_events.clear();
    lv::SetAccessibleEventObserver(&Record);
  }
  void TearDown() override {
    lv::SetAccessibleEventObserver({});
  }
  static QAccessibleInterface* Of(HWND hwnd) { return QAccessible::queryAccessibleInterface(lv::WidgetFromHandle(hwnd)); }
  static std::size_t Count(QAccessible::Event type, QObject* object) {
    std::size_t n = 0;
    for (const Seen& s : g_events) n += s.type == type && s.object == object;
    return n;
  }
};

TEST_F(AccessibleTest, DialogsReadAsTheirCaptionAndStaticsAsTheirText) {
  class Dlg : public lv::CDialog {
   public:
    Dlg() : CDialog(lv::IDD_SITE_REG) {}
    std::function<void(Dlg&)> onInit;

   protected:
    bool OnInitDialog() override {
      CDialog::OnInitDialog();
      onInit(*this);
      EndDialog(lv::IDOK);
      return true;
    }
  } dlg;
  dlg.onInit = [](Dlg& d) {
    QAccessibleInterface* iface = Of(d.GetSafeHwnd());
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::Dialog);
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("Site Registration"));
    const HWND label = lv::GetDlgItem(d.GetSafeHwnd(), lv::IDC_STATIC_SITE_PORT);
    QAccessibleInterface* text = Of(label);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->role(), QAccessible::StaticText);
    EXPECT_EQ(text->text(QAccessible::Name), QStringLiteral("Site Port"));
    EXPECT_GE(iface->indexOfChild(text), 0) << "the statics are children of the dialog";

    g_events.clear();
    lv::SetWindowText(label, u"Connected");
    EXPECT_EQ(text->text(QAccessible::Name), QStringLiteral("Connected"));
    EXPECT_EQ(Count(QAccessible::NameChanged, lv::WidgetFromHandle(label)), 1u) << "a changed status is announced";
    lv::SetWindowText(label, u"Connected");
    EXPECT_EQ(Count(QAccessible::NameChanged, lv::WidgetFromHandle(label)), 1u) << "the same text again is not";

    lv::SetAccessibleName(label, u"Status");
    lv::SetAccessibleDescription(label, u"What the link is doing");
    EXPECT_EQ(text->text(QAccessible::Name), QStringLiteral("Status"));
    EXPECT_EQ(text->text(QAccessible::Description), QStringLiteral("What the link is doing"));
  };
  EXPECT_EQ(dlg.DoModal(), lv::IDOK);
}

TEST_F(AccessibleTest, ListBoxLinesAreItemsWithTheirTextAndSelection) {
  lvtest::TestWindow owner{{0, 0, 300, 200}};
  lv::CListBox list;
  ASSERT_TRUE(list.Create(lv::WS_CHILD | lv::WS_VISIBLE | lv::WS_BORDER, {0, 0, 300, 200}, &owner, 7));
  lv::SetAccessibleName(list.GetSafeHwnd(), u"Sites");
  QAccessibleInterface* iface = Of(list.GetSafeHwnd());
  ASSERT_NE(iface, nullptr);
  EXPECT_EQ(iface->role(), QAccessible::List);
  EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("Sites"));
  EXPECT_EQ(iface->childCount(), 0);

  g_events.clear();
  list.AddString(u"Office");
  list.AddString(u"Warehouse");
  EXPECT_EQ(Count(QAccessible::ObjectReorder, list.GetWidget()), 2u);
  ASSERT_EQ(iface->childCount(), 2);
  QAccessibleInterface* second = iface->child(1);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->role(), QAccessible::ListItem);
  EXPECT_EQ(second->text(QAccessible::Name), QStringLiteral("Warehouse"));
  EXPECT_EQ(second->parent(), iface);
  EXPECT_EQ(iface->indexOfChild(second), 1);
  EXPECT_FALSE(second->state().selected);

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
  EXPECT_EQ(g_events.back().iface, second);
  EXPECT_EQ(iface->childAt(second->rect().center().x(), second->rect().center().y()), second);

  list.ResetContent();
  list.AddString(u"Depot");
  EXPECT_EQ(iface->childCount(), 1);
  EXPECT_EQ(iface->child(0)->text(QAccessible::Name), QStringLiteral("Depot")) << "lines are read live";
  EXPECT_FALSE(second->isValid()) << "a line that is gone";
  EXPECT_EQ(iface->child(1), nullptr);
}

TEST_F(AccessibleTest, DisabledWindowsSayWhatTheyAreAndHandlesWithoutWindowsAreIgnored) {
  lvtest::TestWindow owner{{0, 0, 300, 200}};
  lvtest::ChildWindow child(owner, {0, 0, 50, 50}, 3);
  lv::SetAccessibleName(child.GetSafeHwnd(), u"Picture");
  child.EnableWindow(false);
  QAccessibleInterface* iface = Of(child.GetSafeHwnd());
  ASSERT_NE(iface, nullptr);
  EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("Picture"));
  EXPECT_TRUE(iface->state().disabled);
  EXPECT_EQ(Of(owner.GetSafeHwnd())->role(), QAccessible::Window);
  EXPECT_EQ(Of(owner.GetSafeHwnd())->text(QAccessible::Name), QStringLiteral("test"));

  const HWND gone = child.GetSafeHwnd();
  child.DestroyWindow();
  lv::SetAccessibleName(gone, u"x");  // no window: nothing happens
  lv::NotifyAccessibleChange(gone);
}

}  // namespace
