// Dialogs: templates, control binding, modal runs and the dialog keys.
#include <gtest/gtest.h>

#include <QTest>
#include <functional>

#include "platform/ui/dialog.h"
#include "platform/ui/edit.h"
#include "platform/ui/paint_dc.h"
#include "platform/ui/window_api.h"
#include "support/pump.h"
#include "support_gui/test_window.h"

namespace {

using lv::HWND;

// A dialog whose set-up and commands the test decides.
class ScriptedDialog : public lv::CDialog {
 public:
  using CDialog::CDialog;
  std::function<void(ScriptedDialog&)> onInit;
  std::function<bool(lv::UINT, lv::WPARAM, lv::LPARAM)> onMessage;  // true: handled
  std::function<bool(lv::MSG*)> preTranslate;
  int ncDestroys = 0;
  HWND handleAtInit = 0;

  bool PreTranslateMessage(lv::MSG* msg) override {
    if (preTranslate && preTranslate(msg)) return true;
    return CDialog::PreTranslateMessage(msg);
  }

 protected:
  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    handleAtInit = GetSafeHwnd();
    if (onInit) onInit(*this);
    return true;
  }
  lv::LRESULT WindowProc(lv::UINT msg, lv::WPARAM w, lv::LPARAM l) override {
    if (onMessage && onMessage(msg, w, l)) return 0;
    return CDialog::WindowProc(msg, w, l);
  }
  void PostNcDestroy() override { ++ncDestroys; }
};

struct TemplateCase {
  lv::UINT id;
  const char16_t* caption;
  bool captionOk;
  std::vector<std::pair<lv::UINT, std::u16string>> statics;
};

class DialogTemplates : public testing::TestWithParam<TemplateCase> {};

TEST_P(DialogTemplates, WindowCarriesCaptionAndStatics) {
  const TemplateCase& c = GetParam();
  ScriptedDialog dlg(c.id);
  std::u16string caption;
  std::vector<std::pair<lv::UINT, std::u16string>> statics;
  std::size_t children = 0;
  lv::DWORD exStyle = 0;
  dlg.onInit = [&](ScriptedDialog& d) {
    caption = d.GetWindowText();
    exStyle = d.GetExStyle();
    for (QObject* o : d.GetWidget()->children()) {
      const HWND h = lv::HandleFromWidget(qobject_cast<QWidget*>(o));
      if (!h) continue;
      ++children;
      statics.emplace_back(static_cast<lv::UINT>(lv::GetDlgCtrlID(h)), lv::GetWindowText(h));
    }
    d.EndDialog(lv::IDOK);
  };
  EXPECT_EQ(dlg.DoModal(), lv::IDOK);
  EXPECT_EQ(caption, c.caption);
  EXPECT_EQ((exStyle & lv::WS_EX_CAPTIONOKBTN) != 0, c.captionOk);
  EXPECT_EQ(statics, c.statics);
  EXPECT_EQ(children, c.statics.size());
}

INSTANTIATE_TEST_SUITE_P(
    All, DialogTemplates,
    testing::Values(TemplateCase{lv::IDD_SITE_LIST, u"Lorventa", true, {}},
                    TemplateCase{lv::IDD_SITE_REG,
                                 u"Site Registration",
                                 true,
                                 {{1005, u"Site Name"}, {1006, u"Site IP"}, {1007, u"Site Port"}, {1008, u"User ID"},
                                  {1009, u"Password"}}},
                    TemplateCase{lv::IDD_SITE_VIEW,
                                 u"Site View",
                                 false,
                                 {{1010, u""}, {1013, u"Trying to connect"}, {1012, u""}, {1011, u""}}}));

TEST(DialogTemplates, UnknownTemplateDoesNotRun) {
  ScriptedDialog dlg(999);
  EXPECT_EQ(dlg.DoModal(), -1);
}

struct EndCase {
  const char* how;
  int result;
};

class ModalRun : public testing::TestWithParam<EndCase> {};

TEST_P(ModalRun, ReturnsTheCodeGivenToEndDialog) {
  const EndCase& c = GetParam();
  constexpr lv::UINT kEnd = lv::WM_USER + 50;
  ScriptedDialog dlg(lv::IDD_SITE_REG);
  dlg.onMessage = [&](lv::UINT msg, lv::WPARAM w, lv::LPARAM) {
    if ((msg == kEnd && std::string(c.how) == "posted") || (msg == lv::WM_TIMER && w == 1021)) {
      dlg.EndDialog(c.result);
      return true;
    }
    return false;
  };
  dlg.onInit = [&](ScriptedDialog& d) {
    if (std::string(c.how) == "posted") d.PostMessage(kEnd);
    else d.SetTimer(1021, 10);
  };
  EXPECT_EQ(dlg.DoModal(), c.result);
  EXPECT_EQ(dlg.GetSafeHwnd(), 0u) << "the window is gone when the run returns";
  EXPECT_FALSE(lv::IsWindow(dlg.handleAtInit));
  EXPECT_EQ(dlg.ncDestroys, 1);
}

INSTANTIATE_TEST_SUITE_P(All, ModalRun,
                         testing::Values(EndCase{"posted", lv::IDOK}, EndCase{"posted", lv::IDCANCEL},
                                         EndCase{"timer", 42}));

TEST(ModalRun, RunsAgainWithAFreshWindowAndRebindsItsControls) {
  class Bound : public lv::CDialog {
   public:
    Bound() : CDialog(lv::IDD_SITE_VIEW) {}
    lv::CWnd status;
    std::vector<std::u16string> texts;

   protected:
    void DoDataExchange(lv::CDataExchange* pDX) override { lv::DDX_Control(pDX, lv::IDC_STATIC_VIEW_STATUS, status); }
    bool OnInitDialog() override {
      CDialog::OnInitDialog();
      texts.push_back(status.GetWindowText());
      status.SetWindowText(u"changed");
      EndDialog(lv::IDCANCEL);
      return true;
    }
  } dlg;
  EXPECT_EQ(dlg.DoModal(), lv::IDCANCEL);
  EXPECT_EQ(dlg.status.GetSafeHwnd(), 0u) << "the bound object lets go of the destroyed control";
  EXPECT_EQ(dlg.DoModal(), lv::IDCANCEL);
  EXPECT_EQ(dlg.texts, (std::vector<std::u16string>{u"Trying to connect", u"Trying to connect"}));
}

TEST(ModalRun, BoundObjectPaintsItsControl) {
  class Painter : public lv::CWnd {
   protected:
    void OnPaint() override {
      lv::CPaintDC dc(this);
      lv::CRect rc;
      GetClientRect(&rc);
      dc.FillSolidRect(rc, lv::RGB(10, 200, 30));
    }
  };
  class Host : public lv::CDialog {
   public:
    Host() : CDialog(lv::IDD_SITE_VIEW) {}
    Painter title;
    QImage shot;

   protected:
    void DoDataExchange(lv::CDataExchange* pDX) override { lv::DDX_Control(pDX, lv::IDC_STATIC_VIEW_TITLE, title); }
    bool OnInitDialog() override {
      CDialog::OnInitDialog();
      title.MoveWindow(0, 0, 40, 20);
      PostMessage(lv::WM_USER + 1);
      return true;
    }
    lv::LRESULT WindowProc(lv::UINT msg, lv::WPARAM w, lv::LPARAM l) override {
      if (msg == lv::WM_USER + 1) {
        shot = lvtest::Grab(title.GetSafeHwnd());
        EndDialog(lv::IDOK);
        return 0;
      }
      return CDialog::WindowProc(msg, w, l);
    }
  } dlg;
  ASSERT_EQ(dlg.DoModal(), lv::IDOK);
  ASSERT_FALSE(dlg.shot.isNull());
  EXPECT_EQ(QColor(dlg.shot.pixel(20, 10)), QColor(10, 200, 30));
}

TEST(ModalRun, EndDialogDuringSetUpReturnsWithoutShowing) {
  ScriptedDialog dlg(lv::IDD_SITE_LIST);
  bool shown = true;
  dlg.onInit = [&](ScriptedDialog& d) { d.EndDialog(7); };
  dlg.onMessage = [&](lv::UINT msg, lv::WPARAM, lv::LPARAM) {
    if (msg == lv::WM_DESTROY) shown = dlg.GetWidget()->isVisible();
    return false;
  };
  EXPECT_EQ(dlg.DoModal(), 7);
  EXPECT_FALSE(shown);
}

TEST(ModalRun, NestedRunsReturnInOrder) {
  ScriptedDialog outer(lv::IDD_SITE_LIST);
  ScriptedDialog inner(lv::IDD_SITE_REG);
  std::intptr_t innerResult = 0;
  constexpr lv::UINT kOpen = lv::WM_USER + 60;
  outer.onInit = [&](ScriptedDialog& d) { d.PostMessage(kOpen); };
  outer.onMessage = [&](lv::UINT msg, lv::WPARAM, lv::LPARAM) {
    if (msg != kOpen) return false;
    innerResult = inner.DoModal();
    outer.EndDialog(lv::IDOK);
    return true;
  };
  inner.onInit = [&](ScriptedDialog& d) { d.PostMessage(lv::WM_CLOSE); };
  EXPECT_EQ(outer.DoModal(), lv::IDOK);
  EXPECT_EQ(innerResult, lv::IDCANCEL) << "closing a dialog cancels it";
}

struct KeyCase {
  Qt::Key key;
  int result;
};

class DialogKeys : public testing::TestWithParam<KeyCase> {};

TEST_P(DialogKeys, EnterAndEscapeBecomeOkAndCancel) {
  ScriptedDialog dlg(lv::IDD_SITE_REG);
  constexpr lv::UINT kPress = lv::WM_USER + 70;
  dlg.onInit = [&](ScriptedDialog& d) { d.PostMessage(kPress); };
  dlg.onMessage = [&](lv::UINT msg, lv::WPARAM, lv::LPARAM) {
    if (msg != kPress) return false;
    QTest::keyClick(dlg.GetWidget(), GetParam().key);
    return true;
  };
  EXPECT_EQ(dlg.DoModal(), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(All, DialogKeys,
                         testing::Values(KeyCase{Qt::Key_Return, lv::IDOK}, KeyCase{Qt::Key_Escape, lv::IDCANCEL}));

TEST(DialogKeys, AFilterThatSwallowsEnterKeepsTheDialogOpen) {
  ScriptedDialog dlg(lv::IDD_SITE_LIST);
  constexpr lv::UINT kPress = lv::WM_USER + 71;
  int swallowed = 0;
  dlg.preTranslate = [&](lv::MSG* m) {
    const bool enter = m->message == lv::WM_KEYDOWN && m->wParam == lv::VK_RETURN;
    swallowed += enter;
    return enter;
  };
  dlg.onInit = [&](ScriptedDialog& d) { d.PostMessage(kPress); };
  dlg.onMessage = [&](lv::UINT msg, lv::WPARAM, lv::LPARAM) {
    if (msg != kPress) return false;
    QTest::keyClick(dlg.GetWidget(), Qt::Key_Return);
    dlg.EndDialog(5);
    return true;
  };
  EXPECT_EQ(dlg.DoModal(), 5);
  EXPECT_EQ(swallowed, 1);
}

TEST(DialogKeys, AControlThatWantsAllKeysGetsEnter) {
  class Greedy : public lv::CEdit {
   public:
    int enters = 0;

   protected:
    lv::UINT OnGetDlgCode() override { return lv::DLGC_WANTALLKEYS; }
    void OnChar(lv::UINT ch, lv::UINT, lv::UINT) override { enters += ch == 13; }
  };
  ScriptedDialog dlg(lv::IDD_SITE_REG);
  Greedy edit;
  constexpr lv::UINT kPress = lv::WM_USER + 72;
  dlg.onInit = [&](ScriptedDialog& d) {
    edit.Create(lv::WS_CHILD | lv::WS_VISIBLE, {10, 10, 100, 30}, &d, 2025);
    d.PostMessage(kPress);
  };
  dlg.onMessage = [&](lv::UINT msg, lv::WPARAM, lv::LPARAM) {
    if (msg != kPress) return false;
    QTest::keyClick(edit.GetWidget(), Qt::Key_Return);
    dlg.EndDialog(6);
    return true;
  };
  EXPECT_EQ(dlg.DoModal(), 6);
  EXPECT_EQ(edit.enters, 1);
}

TEST(DialogClose, WindowCloseButtonCancelsOrSendsOk) {
  for (const auto& [id, expected] : {std::pair{lv::IDD_SITE_VIEW, lv::IDCANCEL}, std::pair{lv::IDD_SITE_REG, lv::IDOK}}) {
    ScriptedDialog dlg(id);
    constexpr lv::UINT kClose = lv::WM_USER + 80;
    dlg.onInit = [&](ScriptedDialog& d) { d.PostMessage(kClose); };
    dlg.onMessage = [&](lv::UINT msg, lv::WPARAM, lv::LPARAM) {
      if (msg != kClose) return false;
      dlg.GetWidget()->close();
      return true;
    };
    EXPECT_EQ(dlg.DoModal(), expected) << "template " << id;
  }
}

}  // namespace
