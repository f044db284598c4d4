// The edit box that reports focus and Enter: commit, revert, leave, notify.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "controls/enter_edit.h"
#include "platform/ui/dialog.h"
#include "platform/ui/window_api.h"
#include "support/pump.h"
#include "support_gui/test_window.h"

namespace {

using lv::HWND;
using lvtest::TestWindow;

constexpr lv::DWORD kPlain = 0x50800080;
constexpr lv::DWORD kPassword = 0x508000A0;

class EnterEditTest : public testing::Test {
 protected:
  void SetUp() override {
    lv::LOGFONT lf;
    lf.lfHeight = 40;
    lf.lfWeight = lv::FW_BOLD;
    for (int i = 0; i < 2; ++i) {
      ASSERT_TRUE(edits[i].Create(kPlain, {150, 30 + 118 * i, 470, 88 + 118 * i}, &owner, 2025 + i));
      edits[i].m_nIndex = i;
      edits[i].SetLogFont(lf);
      edits[i].m_strSaved = u"saved";
      edits[i].SetWindowText(u"saved");
    }
    lv::SetFocus(edits[0].GetSafeHwnd());
    lvtest::PumpUntil([&] { return owner.Count(lv::WM_EDIT_SET_FOCUS) > 0; });
    owner.received.clear();
  }

  // What was posted, once at least `count` arrived (or the wait ran out).
  std::vector<lvtest::Received> Posted(lv::UINT msg, std::size_t count) {
    lvtest::PumpUntil([&] { return owner.Count(msg) >= count; });
    return owner.Of(msg);
  }
  // Nothing of msg arrives while the loop runs a while.
  bool NothingPosted(lv::UINT msg) {
    lvtest::PumpFor(20);
    return owner.Of(msg).empty();
  }
  QWidget* Field(int i) { return edits[i].GetWidget(); }
  void Type(int i, const char* text) { QTest::keyClicks(Field(i), QString::fromLatin1(text)); }

  TestWindow owner{{0, 0, 480, 300}};
  lv::CEnterEdit edits[2];
};

class CommitKey : public EnterEditTest, public testing::WithParamInterface<Qt::Key> {};

TEST_P(CommitKey, CommitsLeavesTheFieldAndTellsTheOwner) {
  Type(0, "xy");
  HWND focusWhenTold = 0;
  owner.onMessage = [&](lv::UINT msg, lv::WPARAM, lv::LPARAM) {
    if (msg == lv::WM_EDIT_ENTER_DETECT) focusWhenTold = lv::GetFocus();
  };
  QTest::keyClick(Field(0), GetParam());
  EXPECT_EQ(edits[0].m_strSaved, u"savedxy");
  EXPECT_EQ(edits[0].GetWindowText(), u"savedxy") << "nothing inserted";
  EXPECT_EQ(lv::GetFocus(), owner.GetSafeHwnd()) << "the focus goes to the parent, not the next field";
  const auto told = Posted(lv::WM_EDIT_ENTER_DETECT, 1);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].wParam, 0u);
  EXPECT_EQ(told[0].lParam, 0);
  EXPECT_EQ(focusWhenTold, owner.GetSafeHwnd());
}

INSTANTIATE_TEST_SUITE_P(EnterAndTab, CommitKey, testing::Values(Qt::Key_Return, Qt::Key_Enter, Qt::Key_Tab));

TEST_F(EnterEditTest, EscapePutsTheCommittedTextBackAndSaysNothing) {
  Type(0, "zz");
  QTest::keyClick(Field(0), Qt::Key_Return);  // commits "savedzz"
  ASSERT_EQ(Posted(lv::WM_EDIT_ENTER_DETECT, 1).size(), 1u);
  lv::SetFocus(edits[0].GetSafeHwnd());
  Type(0, "qq");
  owner.received.clear();
  QTest::keyClick(Field(0), Qt::Key_Escape);
  EXPECT_EQ(edits[0].GetWindowText(), u"savedzz");
  EXPECT_EQ(lv::GetFocus(), owner.GetSafeHwnd());
  EXPECT_TRUE(NothingPosted(lv::WM_EDIT_ENTER_DETECT));
}

struct NavCase {
  Qt::Key key;
  bool control;
  bool leaves;
};

class Navigation : public EnterEditTest, public testing::WithParamInterface<NavCase> {};

TEST_P(Navigation, ControlWithANavigationKeyLeavesWithoutCommitting) {
  Type(0, "k");
  QTest::keyClick(Field(0), GetParam().key, GetParam().control ? Qt::ControlModifier : Qt::NoModifier);
  EXPECT_EQ(lv::GetFocus() == owner.GetSafeHwnd(), GetParam().leaves);
  EXPECT_EQ(edits[0].GetWindowText(), u"savedk") << "the text stays as typed";
  EXPECT_EQ(edits[0].m_strSaved, u"saved");
  EXPECT_TRUE(NothingPosted(lv::WM_EDIT_ENTER_DETECT));
}

INSTANTIATE_TEST_SUITE_P(Keys, Navigation,
                         testing::Values(NavCase{Qt::Key_Left, true, true}, NavCase{Qt::Key_Right, true, true},
                                         NavCase{Qt::Key_Up, true, true}, NavCase{Qt::Key_Down, true, true},
                                         NavCase{Qt::Key_PageUp, true, true}, NavCase{Qt::Key_PageDown, true, true},
                                         NavCase{Qt::Key_Home, true, false}, NavCase{Qt::Key_End, true, false},
                                         NavCase{Qt::Key_Left, false, false}));

TEST_F(EnterEditTest, PlainLeftMovesTheCursorInTheField) {
  Type(0, "ab");
  QTest::keyClick(Field(0), Qt::Key_Left);
  Type(0, "X");
  EXPECT_EQ(edits[0].GetWindowText(), u"savedaXb");
}

TEST_F(EnterEditTest, EveryFocusGainIsReported) {
  lv::SetFocus(edits[1].GetSafeHwnd());
  owner.SetFocus();
  QTest::mouseClick(Field(0), Qt::LeftButton);  // touching the field
  lv::SetFocus(edits[1].GetSafeHwnd());
  const auto told = Posted(lv::WM_EDIT_SET_FOCUS, 3);
  ASSERT_EQ(told.size(), 3u);
  EXPECT_EQ(told[0].lParam, 1);
  EXPECT_EQ(told[1].lParam, 0);
  EXPECT_EQ(told[2].lParam, 1);
  EXPECT_EQ(told[0].wParam, 0u);
}

TEST_F(EnterEditTest, OnlyTheFirstFontDescriptionIsUsed) {
  const QFont first = Field(0)->font();
  EXPECT_NEAR(QFontMetrics(first).height(), 40, 1);
  EXPECT_EQ(first.weight(), QFont::Bold);
  lv::LOGFONT other;
  other.lfHeight = 12;
  edits[0].SetLogFont(other);
  EXPECT_EQ(Field(0)->font(), first);
}

TEST_F(EnterEditTest, PasswordStyleHidesTheCharacters) {
  lv::CEnterEdit password;
  ASSERT_TRUE(password.Create(kPassword, {0, 0, 200, 40}, &owner, 2029));
  password.SetWindowText(u"secret");
  auto* line = qobject_cast<QLineEdit*>(password.GetWidget());
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->echoMode(), QLineEdit::Password);
  EXPECT_NE(line->displayText(), QStringLiteral("secret"));
  EXPECT_EQ(password.GetWindowText(), u"secret");
}

TEST(EnterEditInDialog, EnterReachesTheFieldInsteadOfEndingTheDialog) {
  class Form : public lv::CDialog {
   public:
    Form() : CDialog(lv::IDD_SITE_REG) {}
    lv::CEnterEdit field;
    int enterNotes = 0;

   protected:
    bool OnInitDialog() override {
      CDialog::OnInitDialog();
      field.Create(kPlain, {10, 10, 200, 40}, this, 2025);
      field.m_nIndex = 3;
      MapMessage(lv::WM_USER + 1, [this](lv::WPARAM, lv::LPARAM) {
        field.SetFocus();
        QTest::keyClicks(field.GetWidget(), QStringLiteral("site"));
        QTest::keyClick(field.GetWidget(), Qt::Key_Return);
        return lv::LRESULT{0};
      });
      MapMessage(lv::WM_EDIT_ENTER_DETECT, [this](lv::WPARAM, lv::LPARAM index) {
        enterNotes += index == 3;
        EndDialog(99);
        return lv::LRESULT{0};
      });
      PostMessage(lv::WM_USER + 1);
      return true;
    }
  } form;
  EXPECT_EQ(form.DoModal(), 99) << "not IDOK: the field wants every key";
  EXPECT_EQ(form.enterNotes, 1);
  EXPECT_EQ(form.field.m_strSaved, u"site");
}

}  // namespace
