// The registration form with real widgets: opening, the cuts on Enter and
// Tab, the OK check with its marked fields, the compact layout and the keys.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QTest>
#include <functional>
#include <memory>
#include <vector>

#include "controls/grp_btn.h"
#include "platform/ui/window_api.h"
#include "sites/site_reg_dialog.h"
#include "support/pump.h"
#include "support_gui/test_window.h"
#include "ui_modal_script.h"

namespace {

using lv::CDlg_SiteReg;
using lv::HWND;

// Runs the form modally with the steps inside the run (see ModalScript).
std::intptr_t RunForm(CDlg_SiteReg& form, std::vector<lvtest::ModalScript::Step> steps) {
  lvtest::ModalScript script;
  return script.Run(form, std::move(steps));
}
std::intptr_t RunForm(CDlg_SiteReg& form, lvtest::ModalScript::Step script) {
  return RunForm(form, std::vector<lvtest::ModalScript::Step>{std::move(script)});
}

QWidget* W(HWND h) { return lv::WidgetFromHandle(h); }
QRect Geometry(lv::CWnd& wnd) { return wnd.GetWidget()->geometry(); }
void Tap(HWND button) { QTest::mouseClick(W(button), Qt::LeftButton, {}, QPoint(20, 20)); }
void SetField(CDlg_SiteReg& f, int i, const std::u16string& text) { f.Edit(i)->SetWindowText(text); }
void Fill(CDlg_SiteReg& f, std::array<std::u16string, 5> texts) {
  for (int i = 0; i < 5; ++i) SetField(f, i, texts[static_cast<std::size_t>(i)]);
}
// Confirms field i from the keyboard and lets its notification arrive.
void Confirm(CDlg_SiteReg& f, int i, Qt::Key key = Qt::Key_Return) {
  lv::SetFocus(f.Edit(i)->GetSafeHwnd());
  lvtest::PumpFor(10);
  QTest::keyClick(f.Edit(i)->GetWidget(), key);
  lvtest::PumpFor(10);
}
// True if the label shows pixels of colour c.
bool LabelShows(CDlg_SiteReg& f, int i, QColor c) {
  const QImage shot = lvtest::Grab(f.Label(i).GetSafeHwnd());
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x)
      if (QColor(shot.pixel(x, y)) == c) return true;
  return false;
}
const QColor kRed(255, 48, 48);

TEST(SiteRegForm, OpensEmptyForANewSiteAndFilledForAnExistingOneInTheNormalLayout) {
  for (const bool fill : {false, true}) {
    SCOPED_TRACE(fill ? "existing site" : "new site");
    CDlg_SiteReg form;
    form.m_bFillFields = fill;
    form.m_strSiteName = u"Office";
    form.m_strSiteIP = u"192.168.0.10";
    form.m_strSitePort = u"8000";
    form.m_strUserID = u"admin";
    form.m_strPassword = u"1234";
    const auto result = RunForm(form, [&] {
      EXPECT_EQ(form.GetWindowText(), u"Site Registration");
      EXPECT_EQ(form.ClientRect(), lv::CRect(0, 0, 480, 696));
      const std::array<std::u16string, 5> shown = {u"Office", u"192.168.0.10", u"8000", u"admin", u"1234"};
      for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(form.Edit(i)->GetWindowText(), fill ? shown[static_cast<std::size_t>(i)] : u"") << i;
        EXPECT_EQ(Geometry(form.Label(i)), QRect(0, 118 * i, 150, 118)) << i;
        EXPECT_EQ(Geometry(*form.Edit(i)), QRect(150, 118 * i + 30, 320, 58)) << i;
        EXPECT_EQ(form.Label(i).ForeColor(), lv::RGB(255, 255, 255));
        EXPECT_EQ(form.Label(i).BackColor(), lv::RGB(0, 0, 0));
        EXPECT_EQ(form.Label(i).FontHeight(), 30);
        EXPECT_TRUE(form.Label(i).Bold());
      }
      EXPECT_EQ(form.Label(3).GetWindowText(), u"User ID");
      EXPECT_EQ(form.Edit(4)->GetWidget()->property("echoMode").toInt(), 2) << "the password is hidden";
      EXPECT_EQ(W(form.OkButton())->geometry(), QRect(0, 590, 240, 106));
      EXPECT_EQ(W(form.CancelButton())->geometry(), QRect(240, 590, 240, 106));
      EXPECT_FALSE(form.IsCompact());
      EXPECT_FALSE(form.IsSipOn());
      Tap(form.CancelButton());
    });
    EXPECT_EQ(result, lv::IDCANCEL);
    if (!fill) {
      EXPECT_EQ(form.m_strSiteName, u"") << "a new site's texts are cleared";
    }
    EXPECT_EQ(form.Edit(0), nullptr) << "the fields go with the window";
  }
}

struct CutCase {
  int field;
  std::u16string typed;
  std::u16string confirmed;
};

TEST(SiteRegForm, EnterAndTabCutEachFieldToItsRule) {
  const std::vector<CutCase> cases = {
      {0, std::u16string(20, u'n'), std::u16string(16, u'n')},
      {1, std::u16string(70, u'a'), std::u16string(64, u'a')},
      {2, u"8000", u"8000"},
      {2, u"80a0", u""},
      {2, u"-5", u"-5"},
      {3, std::u16string(17, u'u'), std::u16string(16, u'u')},
      {4, std::u16string(30, u'p'), std::u16string(16, u'p')},
  };
  CDlg_SiteReg form;
  lvtest::DebugCapture debug;
  RunForm(form, [&] {
    for (const CutCase& c : cases) {
      for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Tab}) {
        SetField(form, c.field, c.typed);
        Confirm(form, c.field, key);
        EXPECT_EQ(form.Edit(c.field)->GetWindowText(), c.confirmed) << c.field;
        EXPECT_FALSE(form.IsSipOn());
        EXPECT_FALSE(form.IsCompact());
      }
    }
    EXPECT_EQ(form.m_strSiteName, std::u16string(16, u'n'));
    EXPECT_EQ(form.m_strSitePort, u"-5");
    EXPECT_TRUE(debug.Contains(" Edit_Enter_Detect [0][4]\r\n"));
    EXPECT_TRUE(debug.Contains(" Edit_Set_Focus [0][2]\r\n"));
    Tap(form.CancelButton());
  });
  EXPECT_EQ(form.m_strPassword, std::u16string(16, u'p')) << "the texts keep the last confirmed values";
}

TEST(SiteRegForm, OkReturnsTheTextsAsTypedWithoutCutsAndAnEmptyPasswordIsAllowed) {
  CDlg_SiteReg form;
  lvtest::DebugCapture debug;
  const auto result = RunForm(form, [&] {
    Fill(form, {std::u16string(20, u'n'), u"dvr.example.net", u" 8000", u"admin", u""});
    QTest::mousePress(W(form.OkButton()), Qt::LeftButton, {}, QPoint(20, 20));  // acts at pen down
    // Lifted outside the button: no second command, so the pen down did it.
    QTest::mouseRelease(form.GetWidget(), Qt::LeftButton, {}, QPoint(470, 10));
  });
  EXPECT_EQ(result, lv::IDOK);
  EXPECT_EQ(form.m_strSiteName, std::u16string(20, u'n'));
  EXPECT_EQ(form.m_strSiteIP, u"dvr.example.net");
  EXPECT_EQ(form.m_strSitePort, u" 8000");
  EXPECT_EQ(form.m_strPassword, u"");
  const std::string pressed = " REG_OK [" + std::to_string(lv::MAKEWPARAM(lv::REG_OK, lv::GBN_PRESSED)) + "][";
  bool logged = false;
  for (const std::string& line : debug.Lines()) logged |= line.rfind(pressed, 0) == 0;
  EXPECT_TRUE(logged) << "the form acted on the pen-down command";
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
  const auto result = RunForm(
      form, {[&] {
               Fill(form, c.texts);
               Tap(form.OkButton());
             },
             [&] {
               for (int i = 0; i < 5; ++i) {
                 const bool expected = std::find(c.marked.begin(), c.marked.end(), i) != c.marked.end();
                 EXPECT_EQ(form.IsFieldMarked(i), expected) << i;
                 EXPECT_EQ(LabelShows(form, i, kRed), expected) << i;
                 const QString why =
                     QAccessible::queryAccessibleInterface(form.Edit(i)->GetWidget())->text(QAccessible::Description);
                 EXPECT_EQ(!why.isEmpty(), expected) << i;
               }
               // The caption's OK button goes through the same check.
               QCloseEvent close;
               QCoreApplication::sendEvent(form.GetWidget(), &close);
             },
             [&] {
               const int first = c.marked.front();
               SetField(form, first, form.Edit(first)->GetWindowText() + u"x");
               EXPECT_FALSE(form.IsFieldMarked(first));
               EXPECT_TRUE(LabelShows(form, first, Qt::white));
               EXPECT_FALSE(LabelShows(form, first, kRed));
               Tap(form.CancelButton());
             }});
  EXPECT_EQ(result, lv::IDCANCEL) << "neither the OK button nor the caption's accepted the form";
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
      for (char& ch : name)
        if (ch == ' ') ch = '_';
      return name;
    });

TEST(SiteRegForm, LowerFieldsCompactTheFormAndEnterRestoresIt) {
  CDlg_SiteReg form;
  RunForm(form, [&] {
    QTest::mouseClick(form.Edit(3)->GetWidget(), Qt::LeftButton);  // touching the user id field
    lvtest::PumpFor(10);
    EXPECT_TRUE(form.IsSipOn());
    ASSERT_TRUE(form.IsCompact());
    for (int i = 0; i < 2; ++i) {
      EXPECT_FALSE(form.Label(i).IsWindowVisible()) << i;
      EXPECT_FALSE(form.Edit(i)->IsWindowVisible()) << i;
    }
    for (int i = 2; i < 5; ++i) {
      EXPECT_EQ(Geometry(form.Label(i)), QRect(0, 118 * (i - 2), 150, 118)) << i;
      EXPECT_EQ(Geometry(*form.Edit(i)), QRect(150, 118 * (i - 2) + 30, 320, 58)) << i;
    }
    lv::SetFocus(form.Edit(2)->GetSafeHwnd());  // the port field keeps it compact
    lvtest::PumpFor(10);
    EXPECT_TRUE(form.IsCompact());

    QTest::keyClicks(form.Edit(2)->GetWidget(), QStringLiteral("99"));
    QTest::keyClick(form.Edit(2)->GetWidget(), Qt::Key_Escape);  // reverts, says nothing
    lvtest::PumpFor(10);
    EXPECT_EQ(form.Edit(2)->GetWindowText(), u"");
    EXPECT_TRUE(form.IsCompact());
    EXPECT_TRUE(form.IsSipOn());

    Confirm(form, 4);
    EXPECT_FALSE(form.IsSipOn());
    EXPECT_FALSE(form.IsCompact());
    for (int i = 0; i < 5; ++i) {
      EXPECT_TRUE(form.Edit(i)->IsWindowVisible()) << i;
      EXPECT_EQ(Geometry(form.Label(i)), QRect(0, 118 * i, 150, 118)) << i;
    }
    lv::SetFocus(form.Edit(1)->GetSafeHwnd());  // upper fields leave the layout alone
    lvtest::PumpFor(10);
    EXPECT_TRUE(form.IsSipOn());
    EXPECT_FALSE(form.IsCompact());
    Tap(form.CancelButton());
  });
}

TEST(SiteRegForm, EnterAndEscapeWithoutTheInputPanelDoNotEndTheForm) {
  CDlg_SiteReg form;
  std::intptr_t result = RunForm(form, {[&] {
                                         Fill(form, {u"n", u"h", u"80", u"u", u""});
                                         form.SetFocus();
                                         QTest::keyClick(form.GetWidget(), Qt::Key_Return);
                                         QTest::keyClick(form.GetWidget(), Qt::Key_Escape);
                                       },
                                       [&] {
                                         // With the panel up (a field had the focus), Enter on the
                                         // form is its OK.
                                         lv::SetFocus(form.Edit(0)->GetSafeHwnd());
                                         lvtest::PumpFor(10);
                                         form.SetFocus();
                                         QTest::keyClick(form.GetWidget(), Qt::Key_Return);
                                       },
                                       [&] { form.EndDialog(lvtest::kStoppedByGuard); }});
  EXPECT_EQ(result, lv::IDOK);
}

TEST(SiteRegForm, ScreenReadersReadTheCaptionLabelsFieldsAndButtons) {
  CDlg_SiteReg form;
  RunForm(form, [&] {
    auto* dialog = QAccessible::queryAccessibleInterface(form.GetWidget());
    EXPECT_EQ(dialog->role(), QAccessible::Dialog);
    EXPECT_EQ(dialog->text(QAccessible::Name), QStringLiteral("Site Registration"));
    const std::array<const char*, 5> names = {"Site Name", "Site IP", "Site Port", "User ID", "Password"};
    for (int i = 0; i < 5; ++i) {
      auto* label = QAccessible::queryAccessibleInterface(form.Label(i).GetWidget());
      EXPECT_EQ(label->role(), QAccessible::StaticText);
      EXPECT_EQ(label->text(QAccessible::Name), QString::fromLatin1(names[static_cast<std::size_t>(i)]));
      auto* edit = QAccessible::queryAccessibleInterface(form.Edit(i)->GetWidget());
      EXPECT_EQ(edit->role(), QAccessible::EditableText);
      EXPECT_EQ(edit->text(QAccessible::Name), QString::fromLatin1(names[static_cast<std::size_t>(i)]));
    }
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(form.Edit(4)->GetWidget())->state().passwordEdit);
    for (const auto& [button, name] : {std::pair{form.OkButton(), "OK"}, std::pair{form.CancelButton(), "Cancel"}}) {
      auto* iface = QAccessible::queryAccessibleInterface(W(button));
      EXPECT_EQ(iface->role(), QAccessible::Button);
      EXPECT_EQ(iface->text(QAccessible::Name), QString::fromLatin1(name));
      EXPECT_FALSE(iface->state().disabled);
    }
    // A screen reader's press of Cancel ends the form like a tap.
    auto* cancel = QAccessible::queryAccessibleInterface(W(form.CancelButton()));
    cancel->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  });
  EXPECT_FALSE(form.IsRunning());
}

}  // namespace
