// The registration form with real widgets: opening, the cuts on Enter and
// Tab, the OK check with its marked fields, the compact layout and the keys.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QTest>

#include "controls/grp_btn.h"
#include "platform/ui/window_api.h"
#include "sites/site_reg_dialog.h"
#include "support/pump.h"
#include "support_gui/test_window.h"
#include "ui_modal_script.h"

namespace {

using lv::CDlg_SiteReg;
using lv::HWND;
using Steps = std::vector<lvtest::ModalScript::Step>;

std::intptr_t RunForm(CDlg_SiteReg& form, Steps steps) { return lvtest::ModalScript().Run(form, std::move(steps)); }

QWidget* W(HWND h) { return lv::WidgetFromHandle(h); }
QRect Geometry(lv::CWnd& wnd) { return wnd.GetWidget()->geometry(); }
QAccessibleInterface* A(QWidget* w) { return QAccessible::queryAccessibleInterface(w); }
void Tap(HWND button) { QTest::mouseClick(W(button), Qt::LeftButton, {}, QPoint(20, 20)); }
void Fill(CDlg_SiteReg& f, std::array<std::u16string, 5> texts) {
  for (int i = 0; i < 5; ++i) f.Edit(i)->SetWindowText(texts[static_cast<std::size_t>(i)]);
}
// Confirms field i from the keyboard and waits for the form to take its
// notifications: the panel comes up with the focus and goes with the key.
void Confirm(CDlg_SiteReg& f, int i, Qt::Key key = Qt::Key_Return) {
  lv::SetFocus(f.Edit(i)->GetSafeHwnd());
  EXPECT_TRUE(lvtest::PumpUntil([&] { return f.IsSipOn() && (i <= 2 || f.IsCompact()); })) << i;
  QTest::keyClick(f.Edit(i)->GetWidget(), key);
  // Enter puts the panel away; Tab moves on to the next field, whose panel stays.
  const bool onToAField = key == Qt::Key_Tab && i < 4;
  EXPECT_TRUE(lvtest::PumpUntil([&] { return onToAField ? f.Edit(i + 1)->GetWidget()->hasFocus() : !f.IsSipOn(); }))
      << i;
  QCoreApplication::sendPostedEvents();  // the confirmation the key posted
}
bool LabelShows(CDlg_SiteReg& f, int i, QColor c) {
  const QImage shot = lvtest::Grab(f.Label(i).GetSafeHwnd());
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x)
      if (QColor(shot.pixel(x, y)) == c) return true;
  return false;
}
const QColor kRed(255, 48, 48);
const std::array<const char16_t*, 5> kNames = {u"Site Name", u"Site IP", u"Site Port", u"User ID", u"Password"};

TEST(SiteRegForm, OpensEmptyOrFilledInTheNormalLayoutAndReadsToScreenReaders) {
  for (const bool fill : {false, true}) {
    SCOPED_TRACE(fill ? "existing site" : "new site");
    CDlg_SiteReg form;
    form.m_bFillFields = fill;
    const std::array<std::u16string, 5> site = {u"Office", u"192.168.0.10", u"8000", u"admin", u"1234"};
    form.m_strSiteName = site[0];
    form.m_strSiteIP = site[1];
    form.m_strSitePort = site[2];
    form.m_strUserID = site[3];
    form.m_strPassword = site[4];
    const auto result = RunForm(form, {[&] {
      EXPECT_EQ(A(form.GetWidget())->text(QAccessible::Name), QStringLiteral("Site Registration"));
      EXPECT_EQ(form.ClientRect(), lv::CRect(0, 0, 480, 696));
      for (int i = 0; i < 5; ++i) {
        const auto at = static_cast<std::size_t>(i);
        EXPECT_EQ(form.Edit(i)->GetWindowText(), fill ? site[at] : u"") << i;
        EXPECT_EQ(Geometry(form.Label(i)), QRect(0, 118 * i, 150, 118)) << i;
        EXPECT_EQ(Geometry(*form.Edit(i)), QRect(150, 118 * i + 30, 320, 58)) << i;
        EXPECT_TRUE(LabelShows(form, i, Qt::white) && LabelShows(form, i, Qt::black)) << i;
        EXPECT_EQ(A(form.Label(i).GetWidget())->text(QAccessible::Name), QString::fromStdU16String(kNames[at]));
        EXPECT_EQ(A(form.Edit(i)->GetWidget())->text(QAccessible::Name), QString::fromStdU16String(kNames[at]));
      }
      EXPECT_TRUE(A(form.Edit(4)->GetWidget())->state().passwordEdit);
      EXPECT_EQ(W(form.OkButton())->geometry(), QRect(0, 590, 240, 106));
      EXPECT_EQ(W(form.CancelButton())->geometry(), QRect(240, 590, 240, 106));
      EXPECT_EQ(A(W(form.OkButton()))->text(QAccessible::Name), QStringLiteral("OK"));
      EXPECT_EQ(A(W(form.CancelButton()))->role(), QAccessible::Button);
      EXPECT_FALSE(form.IsCompact() || form.IsSipOn());
      // A screen reader's press of Cancel ends the form like a tap at pen down.
      A(W(form.CancelButton()))->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    }});
    EXPECT_EQ(result, lv::IDCANCEL);
    EXPECT_EQ(form.m_strSiteName, fill ? site[0] : u"") << "a new site's texts are cleared";
    EXPECT_EQ(form.Edit(0), nullptr) << "the fields go with the window";
  }
}

TEST(SiteRegForm, EnterAndTabCutEachFieldToItsRuleButOkTakesTheTextsAsTyped) {
  struct Cut {
    int field;
    std::u16string typed, confirmed;
  };
  const std::vector<Cut> cuts = {
      {0, std::u16string(20, u'n'), std::u16string(16, u'n')}, {1, std::u16string(70, u'a'), std::u16string(64, u'a')},
      {2, u"8000", u"8000"}, {2, u"80a0", u""}, {2, u"-5", u"-5"},
      {3, std::u16string(17, u'u'), std::u16string(16, u'u')}, {4, std::u16string(30, u'p'), std::u16string(16, u'p')},
  };
  CDlg_SiteReg form;
  lvtest::DebugCapture debug;
  const auto result = RunForm(form, {[&] {
    for (const Cut& c : cuts) {
      for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Tab}) {
        form.Edit(c.field)->SetWindowText(c.typed);
        Confirm(form, c.field, key);
        EXPECT_EQ(form.Edit(c.field)->GetWindowText(), c.confirmed) << c.field;
        const bool onToAField = key == Qt::Key_Tab && c.field < 4;  // Tab moves the focus on
        EXPECT_EQ(form.IsSipOn(), onToAField);
        EXPECT_EQ(form.IsCompact(), onToAField && c.field >= 2);
      }
    }
    EXPECT_EQ(form.m_strPassword, std::u16string(16, u'p'));
    EXPECT_TRUE(debug.Contains(" Edit_Enter_Detect [0][4]\r\n"));
    EXPECT_TRUE(debug.Contains(" Edit_Set_Focus [0][2]\r\n"));
    Fill(form, {std::u16string(20, u'n'), u"dvr.example.net", u" 8000", u"admin", u""});
    QTest::mousePress(W(form.OkButton()), Qt::LeftButton, {}, QPoint(20, 20));  // acts at pen down
    // Lifted outside the button: no second command, so the pen down did it.
    QTest::mouseRelease(form.GetWidget(), Qt::LeftButton, {}, QPoint(470, 10));
  }});
  EXPECT_EQ(result, lv::IDOK) << "an empty password is allowed";
  EXPECT_EQ(form.m_strSiteName, std::u16string(20, u'n'));
  EXPECT_EQ(form.m_strSitePort, u" 8000");
  EXPECT_EQ(form.m_strPassword, u"");
  const std::string atPenDown = " REG_OK [" + std::to_string(lv::MAKEWPARAM(lv::REG_OK, lv::GBN_PRESSED)) + "][";
  bool logged = false;
  for (const std::string& line : debug.Lines()) logged |= line.rfind(atPenDown, 0) == 0;
  EXPECT_TRUE(logged);
}

struct RefusalCase {
  const char* what;
  std::array<std::u16string, 5> texts;
  std::vector<int> marked;
};
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.what; }

class Refusal : public testing::TestWithParam<RefusalCase> {};

// Every refusal keeps the form open, marks exactly the fields at fault (red
// label, a reason for screen readers) and clears a mark once its field changes.
TEST_P(Refusal, KeepsTheFormOpenAndMarksTheFieldsAtFault) {
  const RefusalCase& c = GetParam();
  CDlg_SiteReg form;
  lvtest::ModalScript script;
  const auto result = script.Run(
      form, {[&] {
               Fill(form, c.texts);
               Tap(form.OkButton());
             },
             [&] {
               for (int i = 0; i < 5; ++i) {
                 const bool expected = std::find(c.marked.begin(), c.marked.end(), i) != c.marked.end();
                 EXPECT_EQ(form.IsFieldMarked(i), expected) << i;
                 EXPECT_EQ(LabelShows(form, i, kRed), expected) << i;
                 EXPECT_EQ(A(form.Edit(i)->GetWidget())->text(QAccessible::Description).isEmpty(), !expected) << i;
               }
               QCloseEvent close;  // the caption's OK button goes through the same check
               QCoreApplication::sendEvent(form.GetWidget(), &close);
             },
             [&] {
               const int first = c.marked.front();
               form.Edit(first)->SetWindowText(form.Edit(first)->GetWindowText() + u"x");
               EXPECT_FALSE(form.IsFieldMarked(first));
               EXPECT_TRUE(LabelShows(form, first, Qt::white) && !LabelShows(form, first, kRed));
               Tap(form.CancelButton());
             }});
  EXPECT_EQ(result, lv::IDCANCEL);
  EXPECT_TRUE(script.Completed()) << "neither the OK button nor the caption's accepted the form";
}

const std::u16string k50(50, u'x');
INSTANTIATE_TEST_SUITE_P(
    All, Refusal,
    testing::Values(RefusalCase{"empty", {u"", u"", u"", u"", u""}, {0, 1, 2, 3}},
                    RefusalCase{"no name", {u"", u"h", u"80", u"u", u"p"}, {0}},
                    RefusalCase{"port not a number", {u"n", u"h", u"80a0", u"u", u"p"}, {2}},
                    RefusalCase{"negative port", {u"n", u"h", u"-5", u"u", u"p"}, {2}},
                    RefusalCase{"no user", {u"n", u"h", u"80", u"", u"p"}, {3}},
                    RefusalCase{"plus in the password", {u"n", u"h", u"80", u"u", u"a+b"}, {4}},
                    RefusalCase{"plus in the name", {u"a+b", u"h", u"80", u"u", u""}, {0}},
                    RefusalCase{"address over 99", {u"n", std::u16string(100, u'h'), u"80", u"u", u""}, {1}},
                    RefusalCase{"record over 127", {k50, k50 + std::u16string(20, u'h'), u"80", u"u", u"p"}, {1}},
                    RefusalCase{"outside the code page", {u"n", u"h", u"80", u"\u4E2D", u"p"}, {3}},
                    RefusalCase{"plus and empty", {u"", u"h", u"80", u"u+", u"p"}, {0, 3}}),
    [](const testing::TestParamInfo<RefusalCase>& info) {
      std::string name = info.param.what;
      std::replace(name.begin(), name.end(), ' ', '_');
      return name;
    });

TEST(SiteRegForm, LowerFieldsCompactTheFormEnterRestoresItAndEscapeChangesNothing) {
  CDlg_SiteReg form;
  lvtest::DebugCapture debug;
  RunForm(form, {[&] {
    QTest::mouseClick(form.Edit(3)->GetWidget(), Qt::LeftButton);  // touching the user id field
    ASSERT_TRUE(lvtest::PumpUntil([&] { return form.IsCompact(); }));
    EXPECT_TRUE(form.IsSipOn());
    for (int i = 0; i < 2; ++i) EXPECT_FALSE(form.Label(i).IsWindowVisible() || form.Edit(i)->IsWindowVisible()) << i;
    for (int i = 2; i < 5; ++i) {
      EXPECT_EQ(Geometry(form.Label(i)), QRect(0, 118 * (i - 2), 150, 118)) << i;
      EXPECT_EQ(Geometry(*form.Edit(i)), QRect(150, 118 * (i - 2) + 30, 320, 58)) << i;
    }
    lv::SetFocus(form.Edit(2)->GetSafeHwnd());  // the port field keeps it compact
    EXPECT_TRUE(lvtest::PumpUntil([&] { return debug.Contains(" Edit_Set_Focus [0][2]\r\n"); }));
    QTest::keyClicks(form.Edit(2)->GetWidget(), QStringLiteral("99"));
    QTest::keyClick(form.Edit(2)->GetWidget(), Qt::Key_Escape);  // reverts, says nothing
    lvtest::PumpFor(20);  // a while for anything it might wrongly post
    EXPECT_EQ(form.Edit(2)->GetWindowText(), u"");
    EXPECT_TRUE(form.IsCompact() && form.IsSipOn());

    Confirm(form, 4);
    EXPECT_FALSE(form.IsSipOn() || form.IsCompact());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Geometry(form.Label(i)), QRect(0, 118 * i, 150, 118)) << i;
    EXPECT_TRUE(form.Edit(0)->IsWindowVisible());
    lv::SetFocus(form.Edit(1)->GetSafeHwnd());  // upper fields leave the layout alone
    EXPECT_TRUE(lvtest::PumpUntil([&] { return debug.Contains(" Edit_Set_Focus [0][1]\r\n"); }));
    EXPECT_TRUE(form.IsSipOn() && !form.IsCompact());
    Tap(form.CancelButton());
  }});
}

TEST(SiteRegForm, EnterAndEscapeWithoutTheInputPanelDoNotEndTheForm) {
  CDlg_SiteReg form;
  const auto result = RunForm(form, {[&] {
                                       Fill(form, {u"n", u"h", u"80", u"u", u""});
                                       form.SetFocus();
                                       QTest::keyClick(form.GetWidget(), Qt::Key_Return);
                                       QTest::keyClick(form.GetWidget(), Qt::Key_Escape);
                                     },
                                     [&] {
                                       // With the panel up (a field had the focus), Enter on the form is its OK.
                                       lv::SetFocus(form.Edit(0)->GetSafeHwnd());
                                       lvtest::PumpUntil([&] { return form.IsSipOn(); });
                                       form.SetFocus();
                                       QTest::keyClick(form.GetWidget(), Qt::Key_Return);
                                     },
                                     [&] { form.EndDialog(lvtest::kStoppedByGuard); }});
  EXPECT_EQ(result, lv::IDOK);
}

TEST(SiteRegForm, ARefusalInTheCompactLayoutRestoresTheNormalOneWithTheFieldAtFaultFocused) {
  CDlg_SiteReg form;
  RunForm(form, {[&] {
    ASSERT_TRUE(lvtest::ShowActive(form.GetWidget()));
    Fill(form, {u"", u"h", u"1", u"u", u""});
    form.Edit(3)->SetFocus();
    ASSERT_TRUE(lvtest::PumpUntil([&] { return form.IsCompact(); }));
    Tap(form.OkButton());  // the pen takes no focus: the user id field keeps it
    EXPECT_TRUE(lvtest::PumpUntil([&] { return lv::GetFocus() == form.Edit(0)->GetSafeHwnd(); }));
    EXPECT_FALSE(form.IsCompact());
    EXPECT_EQ(Geometry(*form.Edit(0)), QRect(150, 30, 320, 58));
    EXPECT_TRUE(form.Edit(0)->IsWindowVisible() && form.IsFieldMarked(0) && LabelShows(form, 0, kRed));
    lvtest::SaveShot(form.GetWidget(), "registration-compact-refused");
    Tap(form.CancelButton());
  }});
}

}  // namespace
