#include "sites/site_reg_dialog.h"

#include <QLineEdit>
#include <algorithm>
#include <vector>

#include "controls/grp_btn.h"
#include "controls/skin_table.h"
#include "platform/core/debug_out.h"
#include "platform/ui/accessible.h"
#include "platform/ui/paint_dc.h"
#include "platform/ui/window_api.h"
#include "protocol/text.h"

namespace lv {
namespace {

constexpr std::array<UINT, kRegFieldCount> kStaticIds = {IDC_STATIC_SITE_NAME, IDC_STATIC_SITE_IP,
                                                         IDC_STATIC_SITE_PORT, IDC_STATIC_USER_ID,
                                                         IDC_STATIC_PASSWORD};
constexpr std::array<UINT, kRegFieldCount> kEditIds = {REG_EDIT_NAME, REG_EDIT_IP, REG_EDIT_PORT, REG_EDIT_USER,
                                                       REG_EDIT_PASSWORD};
// What a screen reader calls each field (the text of its label).
constexpr std::array<const char16_t*, kRegFieldCount> kFieldNames = {u"Site Name", u"Site IP", u"Site Port",
                                                                     u"User ID", u"Password"};
constexpr DWORD kEditStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL;  // 0x50800080
// Confirming a field with Enter or Tab cuts it to this many characters; the
// port field (0) is emptied instead when it does not parse to a number.
constexpr std::array<std::size_t, kRegFieldCount> kCutLength = {16, 64, 0, 16, 16};
constexpr int kPortField = 2;
constexpr int kPasswordField = 4;
constexpr int kLabelFontHeight = 30;
constexpr int kEditFontHeight = 40;

// Placement of the form on the screen, as the other full-screen dialogs.
constexpr int kFormX = 0;
constexpr int kFormY = 52;
constexpr int kFormWidth = 480;
constexpr int kFormHeight = 696;

std::u16string_view FaultText(SiteFieldFault fault) {
  switch (fault) {
    case SiteFieldFault::PlusSign: return u"A plus sign cannot be stored.";
    case SiteFieldFault::NotInCodePage: return u"Holds a character that cannot be stored.";
    case SiteFieldFault::FieldTooLong: return u"Too long: at most 99 characters.";
    case SiteFieldFault::RecordTooLong: return u"The site's texts together are too long.";
    case SiteFieldFault::None: break;
  }
  return u"";
}

}  // namespace

RegLayout ComputeRegLayout(const CRect& client) {
  RegLayout l;
  l.row = (client.Height() - kRegButtonHeight) / 5;
  // The edit is centred in its row, 30 pixels below the row's top; a client
  // area too small for that gives each edit its whole row.
  l.labelHeight = std::max(l.row, 1);
  if (l.labelHeight > 60) {
    l.editHeight = l.labelHeight - 60;
    l.editOffset = 30;
  } else {
    l.editHeight = l.labelHeight;
    l.editOffset = 0;
  }
  return l;
}

SiteFields CDlg_SiteReg::Fields() const {
  return {m_strSiteName, m_strSiteIP, ParseDecimal(m_strSitePort), m_strUserID, m_strPassword};
}

void CDlg_SiteReg::SetFields(const SiteFields& site) {
  m_strSiteName = site.name;
  m_strSiteIP = site.address;
  m_strSitePort = Utf8ToUtf16(std::to_string(site.port));
  m_strUserID = site.user;
  m_strPassword = site.password;
}

CDlg_SiteReg::CDlg_SiteReg() : CDialog(IDD_SITE_REG) {
  MapMessage(WM_EDIT_SET_FOCUS, [this](WPARAM w, LPARAM l) { return OnEditSetFocus(w, l); });
  MapMessage(WM_EDIT_ENTER_DETECT, [this](WPARAM w, LPARAM l) { return OnEditEnterDetect(w, l); });
}

CDlg_SiteReg::~CDlg_SiteReg() = default;

std::u16string& CDlg_SiteReg::Text(int i) {
  switch (i) {
    case 0: return m_strSiteName;
    case 1: return m_strSiteIP;
    case 2: return m_strSitePort;
    case 3: return m_strUserID;
    default: return m_strPassword;
  }
}

void CDlg_SiteReg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  for (int i = 0; i < kRegFieldCount; ++i) DDX_Control(pDX, static_cast<int>(kStaticIds[i]), Label(i));
}

bool CDlg_SiteReg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowText(u"Site Registration");
  SetWindowPos(HWND_TOPMOST, kFormX, kFormY, kFormWidth, kFormHeight, SWP_SHOWWINDOW);
  GetClientRect(&m_rcClient);
  CreateControls();
  m_bSIPOn = false;
  // The shell's start icon and input-panel button would be shown here; the
  // desktop has neither.
  return true;
}

void CDlg_SiteReg::CreateControls() {
  const int bottom = m_rcClient.bottom;
  m_hBtnOk = CreateGrpBtn(GetSafeHwnd(), REG_OK, {0, bottom - kRegButtonHeight, 240, bottom}, IDB_REG_OK_NORMAL,
                          IDB_REG_OK_HOVER, IDB_REG_OK_PRESSED, IDB_REG_OK_NORMAL);
  m_hBtnCancel = CreateGrpBtn(GetSafeHwnd(), REG_CANCEL, {240, bottom - kRegButtonHeight, 480, bottom},
                              IDB_REG_CANCEL_NORMAL, IDB_REG_CANCEL_HOVER, IDB_REG_CANCEL_PRESSED,
                              IDB_REG_CANCEL_NORMAL);
  SetAccessibleName(m_hBtnOk, u"OK");
  SetAccessibleName(m_hBtnCancel, u"Cancel");

  const RegLayout layout = ComputeRegLayout(m_rcClient);
  for (int i = 0; i < kRegFieldCount; ++i) {
    CTextLabel& label = Label(i);
    label.MoveWindow(layout.Label(i));
    label.SetForeColor(kRegLabelColor);
    label.SetBackColor(RGB(0, 0, 0));
    label.CreateLabelFont(kLabelFontHeight, kLabelFontHeight, true);
    m_bMarked[static_cast<std::size_t>(i)] = false;
  }

  LOGFONT editFont;
  const CFont dialogFont = GetFont();
  if (!dialogFont.IsNull()) dialogFont.GetLogFont(&editFont);
  editFont.lfHeight = kEditFontHeight;
  editFont.lfWeight = FW_BOLD;

  for (int i = 0; i < kRegFieldCount; ++i) {
    auto edit = std::make_unique<CEnterEdit>();
    const DWORD style = kEditStyle | (i == kPasswordField ? ES_PASSWORD : 0);
    edit->Create(style, CRect(), this, kEditIds[static_cast<std::size_t>(i)]);
    edit->m_nIndex = i;
    edit->SetLogFont(editFont);
    edit->m_strSaved = Text(i);
    edit->ShowWindow(SW_SHOW);
    edit->MoveWindow(layout.Edit(i));
    SetAccessibleName(edit->GetSafeHwnd(), kFieldNames[static_cast<std::size_t>(i)]);
    // A refused field keeps its red label until the user changes it.
    if (auto* line = qobject_cast<QLineEdit*>(edit->GetWidget()))
      QObject::connect(line, &QLineEdit::textChanged, line, [this, i] { ClearMark(i); });
    m_pEdit[static_cast<std::size_t>(i)] = std::move(edit);
  }
  m_bCompact = false;
  std::vector<HWND> order;
  for (const auto& edit : m_pEdit) order.push_back(edit->GetSafeHwnd());
  order.push_back(m_hBtnOk);
  order.push_back(m_hBtnCancel);
  SetTabOrder(std::move(order));  // the dialog then opens with the first field focused

  for (int i = 0; i < kRegFieldCount; ++i) {
    if (m_bFillFields) Edit(i)->SetWindowText(Text(i));
    else Text(i).clear();
  }
}

LRESULT CDlg_SiteReg::OnEditSetFocus(WPARAM wParam, LPARAM lParam) {
  DebugOut(" Edit_Set_Focus [%d][%d]\r\n", static_cast<int>(wParam), static_cast<int>(lParam));
  if (!m_bSIPOn) m_bSIPOn = true;  // the soft input panel comes up
  if (lParam > 2) ArrangeFields(true);
  return 0;
}

LRESULT CDlg_SiteReg::OnEditEnterDetect(WPARAM wParam, LPARAM lParam) {
  DebugOut(" Edit_Enter_Detect [%d][%d]\r\n", static_cast<int>(wParam), static_cast<int>(lParam));
  if (m_bSIPOn) m_bSIPOn = false;  // the soft input panel goes away
  if (lParam >= 0 && lParam < kRegFieldCount && Edit(static_cast<int>(lParam))) {
    const int i = static_cast<int>(lParam);
    std::u16string& text = Text(i);
    text = Edit(i)->GetWindowText();
    bool changed = false;
    if (i == kPortField) {
      if (!text.empty() && ParseDecimal(text) == 0) {
        text.clear();
        changed = true;
      }
    } else if (text.size() > kCutLength[static_cast<std::size_t>(i)]) {
      text.resize(kCutLength[static_cast<std::size_t>(i)]);
      changed = true;
    }
    if (changed) Edit(i)->SetWindowText(text);
  }
  ArrangeFields(false);
  return 0;
}

void CDlg_SiteReg::ArrangeFields(bool compact) {
  if (m_bCompact == compact || !Edit(0)) return;
  const RegLayout layout = ComputeRegLayout(m_rcClient);
  const int shift = compact ? 2 : 0;
  const auto place = [](CWnd& wnd, const CRect& rc) {
    wnd.MoveWindow(rc, true);
    wnd.UpdateWindow();
  };
  if (compact) {
    for (int i = 0; i < 2; ++i) {
      Label(i).ShowWindow(SW_HIDE);
      Edit(i)->ShowWindow(SW_HIDE);
    }
  }
  for (int i = 2; i < kRegFieldCount; ++i) {
    place(Label(i), layout.Label(i - shift));
    place(*Edit(i), layout.Edit(i - shift));
  }
  if (!compact) {
    for (int i = 0; i < 2; ++i) {
      Label(i).ShowWindow(SW_SHOW);
      Edit(i)->ShowWindow(SW_SHOW);
    }
  }
  m_bCompact = compact;
}

bool CDlg_SiteReg::OnCommand(WPARAM wParam, LPARAM lParam) {
  // The buttons act at pen down (code 1) and again at pen up if still open.
  switch (LOWORD(wParam)) {
    case REG_OK:
      DebugOut(" REG_OK [%d][%d]\r\n", static_cast<int>(wParam), static_cast<int>(lParam));
      ConfirmIfValid();
      break;
    case REG_CANCEL:
      DebugOut(" REG_CANCEL [%d][%d]\r\n", static_cast<int>(wParam), static_cast<int>(lParam));
      OnCancel();
      break;
    default:
      break;
  }
  return CDialog::OnCommand(wParam, lParam);
}

void CDlg_SiteReg::OnOK() { ConfirmIfValid(); }

void CDlg_SiteReg::ConfirmIfValid() {
  if (!Edit(0)) return;
  for (int i = 0; i < kRegFieldCount; ++i) Text(i) = Edit(i)->GetWindowText();
  const std::int32_t port = ParseDecimal(m_strSitePort);

  bool complete = true;
  const auto require = [&](int i, bool ok, std::u16string_view why) {
    if (ok) return;
    complete = false;
    MarkField(i, why);
  };
  require(0, !m_strSiteName.empty(), u"Required.");
  require(1, !m_strSiteIP.empty(), u"Required.");
  require(kPortField, port > 0, u"Needs a port number above 0.");
  require(3, !m_strUserID.empty(), u"Required.");

  const SiteFieldProblem problem = CheckSiteFields(m_strSiteName, m_strSiteIP, m_strSitePort, m_strUserID,
                                                   m_strPassword);
  if (problem && problem.field >= 0 && problem.field < kRegFieldCount) MarkField(problem.field, FaultText(problem.fault));
  if (!complete || problem) {  // the form stays open; the red labels say why
    ShowRefusal();
    return;
  }
  CDialog::OnOK();
}

void CDlg_SiteReg::ShowRefusal() {
  // The compact layout hides the first two rows: the form goes back to its
  // normal layout and the first field at fault takes the focus (a field of
  // the lower rows then compacts the form again, as its focus always does).
  if (!m_bCompact) return;
  ArrangeFields(false);
  const auto first = std::find(m_bMarked.begin(), m_bMarked.end(), true);
  if (first != m_bMarked.end()) Edit(static_cast<int>(first - m_bMarked.begin()))->SetFocus();
}

void CDlg_SiteReg::MarkField(int i, std::u16string_view why) {
  m_bMarked[static_cast<std::size_t>(i)] = true;
  Label(i).SetForeColor(kRegFaultColor);
  Label(i).Invalidate(false);
  if (CEnterEdit* edit = Edit(i)) SetAccessibleDescription(edit->GetSafeHwnd(), why);
}

void CDlg_SiteReg::ClearMark(int i) {
  if (!m_bMarked[static_cast<std::size_t>(i)]) return;
  m_bMarked[static_cast<std::size_t>(i)] = false;
  Label(i).SetForeColor(kRegLabelColor);
  Label(i).Invalidate(false);
  if (CEnterEdit* edit = Edit(i)) SetAccessibleDescription(edit->GetSafeHwnd(), u"");
}

bool CDlg_SiteReg::PreTranslateMessage(MSG* msg) {
  // Without the soft input panel, Enter and Escape would end the form; a
  // focused button takes Enter as its press.
  if (!m_bSIPOn && msg && msg->message == WM_KEYDOWN &&
      (msg->wParam == static_cast<WPARAM>(VK_RETURN) || msg->wParam == static_cast<WPARAM>(VK_ESCAPE)) &&
      !ControlWantsKey(msg))
    return true;
  return CDialog::PreTranslateMessage(msg);
}

void CDlg_SiteReg::OnPaint() {
  CPaintDC dc(this);
  dc.FillSolidRect(m_rcClient, RGB(0, 0, 0));
}

void CDlg_SiteReg::PostNcDestroy() {
  for (auto& edit : m_pEdit) edit.reset();
  m_hBtnOk = 0;
  m_hBtnCancel = 0;
  CDialog::PostNcDestroy();
}

}  // namespace lv
