#pragma once
// CDialog: a window made from a dialog template and run modally. DoModal
// creates the window and its template controls, sends WM_INITDIALOG, shows
// it, runs a nested event loop until EndDialog, destroys the window and
// returns EndDialog's result. Enter and Escape sent to a control that does
// not want them become the IDOK and IDCANCEL commands, Tab and Shift+Tab move
// the focus along the tab order; closing the window cancels.
#include <QEventLoop>
#include <cstdint>
#include <vector>

#include "platform/ui/dialog_templates.h"
#include "platform/ui/wnd.h"

namespace lv {

class CDataExchange {
 public:
  bool m_bSaveAndValidate = false;
  CWnd* m_pDlgWnd = nullptr;
};

// Binds control to the dialog's child window id (the object then receives
// that window's messages); does nothing if it is already bound.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);

  // -1 if the template is unknown, the window cannot be made or the dialog
  // already runs.
  virtual std::intptr_t DoModal();
  void EndDialog(int result);
  bool UpdateData(bool saveAndValidate = true);
  UINT GetTemplateId() const { return m_templateId; }
  bool IsRunning() const { return m_running; }

  bool PreTranslateMessage(MSG* msg) override;

  // The controls Tab and Shift+Tab (and WM_NEXTDLGCTL) step through, in this
  // order; without one, the WS_TABSTOP children in creation order. Hidden
  // and disabled controls are passed over.
  void SetTabOrder(std::vector<HWND> order) { m_tabOrder = std::move(order); }
  const std::vector<HWND>& TabOrder() const { return m_tabOrder; }

 protected:
  // True when the control a key message is addressed to takes that key
  // itself (its WM_GETDLGCODE answers DLGC_WANTMESSAGE for it).
  static bool ControlWantsKey(MSG* msg);
  // Binds the template controls (DoDataExchange); true lets the dialog give
  // the focus to its first tab stop.
  virtual bool OnInitDialog();
  virtual void DoDataExchange(CDataExchange*) {}
  virtual void OnOK();
  virtual void OnCancel();
  bool OnCommand(WPARAM wParam, LPARAM lParam) override;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  bool CreateFromTemplate(const DialogTemplate& t);
  void FocusNextTabStop(bool backwards);

  UINT m_templateId;
  CWnd* m_parent;
  CFont m_font;
  std::intptr_t m_result = -1;
  bool m_ended = false;
  bool m_running = false;
  QEventLoop* m_loop = nullptr;
  std::vector<HWND> m_tabOrder;
};

}  // namespace lv
