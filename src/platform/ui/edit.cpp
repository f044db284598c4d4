#include "platform/ui/edit.h"

#include <QLineEdit>

#include "platform/ui/window_api.h"
#include "platform/ui/window_host.h"
#include "platform/ui/window_internal.h"

namespace lv {
namespace {

class EditHost final : public QLineEdit, public WindowHostBase {
 public:
  EditHost(QWidget* parent, const Params& params) : QLineEdit(parent), WindowHostBase(this, params) {
    const DWORD style = params.style;
    setEchoMode((style & ES_PASSWORD) ? QLineEdit::Password : QLineEdit::Normal);
    setAlignment((style & ES_CENTER) ? Qt::AlignCenter : (style & ES_RIGHT) ? Qt::AlignRight : Qt::AlignLeft);
    setReadOnly(style & ES_READONLY);
    setFrame(style & WS_BORDER);
    setText(QString::fromStdU16String(params.text));
  }
  ~EditHost() override { Destroy(); }

  void SetText(std::u16string_view text) override {
    setText(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
  }
  std::u16string Text() const override { return text().toStdU16String(); }

 protected:
  bool event(QEvent* e) override { return HandleEvent(e) || QLineEdit::event(e); }
  bool BaseEvent(QEvent* e) override { return QLineEdit::event(e); }
};

class EditProc final : public WindowClassProc {
 public:
  LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
    switch (msg) {
      case WM_CHAR:
        if (!InsertSentChar(hwnd, wParam)) Native(hwnd);
        return 0;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONUP:
      case WM_MOUSEMOVE:
      case WM_KEYDOWN:
      case WM_KEYUP:
      case WM_SETFOCUS:
      case WM_KILLFOCUS:
      case WM_PAINT:
        Native(hwnd);
        return 0;
      case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
      case WM_ERASEBKGND:
        return 1;
      default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
  }

 private:
  static void Native(HWND hwnd) {
    if (WindowHostBase* host = WindowHostBase::FromHandle(hwnd)) host->DefaultNativeEvent();
  }
  // A character sent as a message (not typed) is inserted here; typed ones
  // are left to the line edit. False if this is a typed character.
  static bool InsertSentChar(HWND hwnd, WPARAM ch) {
    WindowHostBase* host = WindowHostBase::FromHandle(hwnd);
    auto* edit = host ? qobject_cast<QLineEdit*>(host->Widget()) : nullptr;
    if (!edit || host->HasNativeEvent()) return false;
    if (ch == 8) edit->backspace();
    else if (ch >= 0x20) edit->insert(QString(QChar(static_cast<char16_t>(ch))));
    return true;
  }
};

}  // namespace

WNDCLASS detail::EditClass() {
  return {u"EDIT", HostKind::Edit, RGB(255, 255, 255), [] { return std::make_unique<EditProc>(); }};
}

std::unique_ptr<QWidget> detail::CreateEditHost(QWidget* parent, const WindowHostBase::Params& params) {
  return std::make_unique<EditHost>(parent, params);
}

bool CEdit::Create(DWORD style, const CRect& rect, CWnd* parent, UINT id) {
  return CreateEx(0, u"EDIT", u"", style, rect, parent, id);
}

void CEdit::SetSel(int start, int end) {
  if (auto* edit = qobject_cast<QLineEdit*>(GetWidget())) edit->setSelection(start, end - start);
}

}  // namespace lv
