#include "platform/ui/dialog.h"

#include <QFontMetrics>
#include <vector>

#include "platform/ui/window_api.h"
#include "platform/ui/window_class.h"

namespace lv {
namespace {

// Dialog units: a quarter of the font's average character width across, an
// eighth of its height down.
struct BaseUnits {
  int x;
  int y;
};

BaseUnits UnitsFor(const CFont& font) {
  const QFontMetrics fm(font.Font());
  const int average = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {std::max(1, (average / 26 + 1) / 2), std::max(1, fm.height())};
}

}  // namespace

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  if (!pDX || !pDX->m_pDlgWnd || control.GetSafeHwnd()) return;
  control.SubclassDlgItem(static_cast<UINT>(id), pDX->m_pDlgWnd);
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

bool CDialog::CreateFromTemplate(const DialogTemplate& t) {
  LOGFONT lf;
  lf.lfHeight = -PointsToPixels(t.fontPoints);
  lf.lfWeight = FW_NORMAL;
  lf.lfFaceName = t.fontFace;
  m_font.CreateFontIndirect(lf);
  const BaseUnits units = UnitsFor(m_font);
  const auto px = [](int dlu, int base, int div) { return dlu * base / div; };

  // The window is shown after WM_INITDIALOG, as the dialog manager does.
  const CRect rc(0, 0, px(t.cx, units.x, 4), px(t.cy, units.y, 8));
  if (!CreateEx(t.exStyle, u"#32770", t.caption, t.style & ~WS_VISIBLE, rc, m_parent, 0)) return false;
  if (QWidget* w = GetWidget()) w->setWindowModality(Qt::ApplicationModal);
  SetFont(m_font, false);
  for (const DialogItemTemplate& item : t.items) {
    const HWND child = CreateWindowEx(0, item.className, item.text, item.style | WS_CHILD, px(item.x, units.x, 4),
                                      px(item.y, units.y, 8), px(item.cx, units.x, 4), px(item.cy, units.y, 8),
                                      GetSafeHwnd(), item.id);
    SetWindowFont(child, m_font, false);
  }
  return true;
}

std::intptr_t CDialog::DoModal() {
  const DialogTemplate* t = FindDialogTemplate(m_templateId);
  if (!t || m_running || GetSafeHwnd()) return -1;
  m_result = -1;
  m_ended = false;
  m_tabOrder.clear();  // the controls of an earlier run are gone
  if (!CreateFromTemplate(*t)) return -1;
  m_running = true;

  const bool defaultFocus = SendMessage(WM_INITDIALOG, 0, 0) != 0;
  if (!m_ended && GetSafeHwnd()) {
    if (t->style & WS_VISIBLE) ShowWindow(SW_SHOW);
    if (defaultFocus && GetSafeHwnd()) {
      SetFocus();
      FocusNextTabStop(false);
    }
  }
  if (!m_ended && GetSafeHwnd()) {
    QEventLoop loop;
    m_loop = &loop;
    loop.exec(QEventLoop::DialogExec);
    m_loop = nullptr;
  }
  if (GetSafeHwnd()) {
    ShowWindow(SW_HIDE);
    DestroyWindow();
  }
  m_running = false;
  return m_result;
}

void CDialog::EndDialog(int result) {
  m_result = result;
  m_ended = true;
  if (m_loop) m_loop->exit();
}

bool CDialog::UpdateData(bool saveAndValidate) {
  if (!GetSafeHwnd()) return false;
  CDataExchange dx{saveAndValidate, this};
  DoDataExchange(&dx);
  return true;
}

bool CDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void CDialog::OnOK() {
  if (UpdateData(true)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnCommand(WPARAM wParam, LPARAM) {
  if (HIWORD(wParam) != BN_CLICKED) return false;
  switch (LOWORD(wParam)) {
    case IDOK: OnOK(); return true;
    case IDCANCEL: OnCancel(); return true;
    default: return false;
  }
}

LRESULT CDialog::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) return OnInitDialog() ? 1 : 0;
  if (msg == WM_NEXTDLGCTL) {
    FocusNextTabStop(wParam != 0);
    return 0;
  }
  // A dialog whose window goes away by other means ends its run too.
  if (msg == WM_DESTROY && m_loop) m_loop->exit();
  return CWnd::WindowProc(msg, wParam, lParam);
}

bool CDialog::PreTranslateMessage(MSG* msg) {
  if (!msg || msg->message != WM_KEYDOWN) return false;
  const int key = static_cast<int>(msg->wParam);
  if (key != VK_RETURN && key != VK_ESCAPE && key != VK_TAB) return false;
  if (ControlWantsKey(msg)) return false;
  const LRESULT code = lv::SendMessage(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
  switch (key) {
    case VK_TAB:
      if (code & DLGC_WANTTAB) return false;
      FocusNextTabStop(GetKeyState(VK_SHIFT) < 0);
      return true;
    case VK_RETURN:
      SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      return true;
    default:
      SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      return true;
  }
}

bool CDialog::ControlWantsKey(MSG* msg) {
  return msg && (lv::SendMessage(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg)) &
                 DLGC_WANTMESSAGE);
}

void CDialog::FocusNextTabStop(bool backwards) {
  QWidget* dialog = GetWidget();
  if (!dialog) return;
  const auto usable = [](HWND h) { return h && lv::IsWindowEnabled(h) && !WidgetFromHandle(h)->isHidden(); };
  std::vector<HWND> stops;
  if (!m_tabOrder.empty()) {
    for (const HWND h : m_tabOrder)
      if (IsWindow(h) && usable(h)) stops.push_back(h);
  } else {
    for (QObject* child : dialog->children()) {
      const HWND h = HandleFromWidget(qobject_cast<QWidget*>(child));
      if (h && (GetWindowLong(h, GWL_STYLE) & WS_TABSTOP) && usable(h)) stops.push_back(h);
    }
  }
  if (stops.empty()) return;
  const HWND focus = GetFocus();
  std::size_t next = backwards ? stops.size() - 1 : 0;
  for (std::size_t i = 0; i < stops.size(); ++i) {
    if (stops[i] == focus) {
      next = backwards ? (i + stops.size() - 1) % stops.size() : (i + 1) % stops.size();
      break;
    }
  }
  lv::SetFocus(stops[next]);
}

}  // namespace lv
