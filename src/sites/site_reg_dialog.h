#pragma once
// CDlg_SiteReg: the form in which the user types or changes a site's five
// texts (name, address, port, user id, password). The caller fills the texts,
// sets m_bFillFields and runs DoModal; on IDOK it reads the texts back.
//
// Five rows of a white-on-black label and an edit field, the OK and Cancel
// bitmap buttons below. Enter or Tab in a field confirms it (cut to its
// length) and hides the soft input panel; the panel shows when a field gains
// the focus, and while it is up for the user id or password field the form is
// compacted (rows 0 and 1 hidden) so the field stays above it. The desktop has
// no soft input panel: the form keeps the flag and the layouts all the same.
//
// OK ends the form only when it is complete and the store can keep every text
// as typed (no plus sign, fields and record within the store's limits, every
// character in the code page); otherwise the label of each field at fault
// turns red until that field changes, and the form stays open (a compact form
// goes back to its normal layout, the first field at fault focused). The
// caption's OK button and Enter outside a field go through the same check.
//
// From the keyboard the form opens with the first field focused; Tab and
// Shift+Tab step through the five fields, OK and Cancel, and Enter or Space
// presses the focused button.
#include <array>
#include <memory>
#include <string>

#include "controls/enter_edit.h"
#include "controls/text_label.h"
#include "platform/ui/dialog.h"
#include "sites/site_record.h"

namespace lv {

// Command ids of the two buttons and the five fields.
inline constexpr UINT REG_OK = 2005;
inline constexpr UINT REG_CANCEL = 2006;
inline constexpr UINT REG_EDIT_NAME = 2025;
inline constexpr UINT REG_EDIT_IP = 2026;
inline constexpr UINT REG_EDIT_PORT = 2027;
inline constexpr UINT REG_EDIT_USER = 2028;
inline constexpr UINT REG_EDIT_PASSWORD = 2029;

inline constexpr int kRegFieldCount = 5;
inline constexpr int kRegButtonHeight = 106;
inline constexpr COLORREF kRegLabelColor = RGB(255, 255, 255);
inline constexpr COLORREF kRegFaultColor = RGB(255, 48, 48);  // the label of a refused field

// The form's geometry for a client rectangle: row pitch, label and edit
// heights, and where an edit sits in its row.
struct RegLayout {
  int row = 0;
  int labelHeight = 0;
  int editHeight = 0;
  int editOffset = 0;
  CRect Label(int slot) const { return {0, slot * row, 150, slot * row + labelHeight}; }
  CRect Edit(int slot) const {
    return {150, slot * row + editOffset, 470, slot * row + editOffset + editHeight};
  }
};
RegLayout ComputeRegLayout(const CRect& client);

class CDlg_SiteReg : public CDialog {
 public:
  CDlg_SiteReg();
  ~CDlg_SiteReg() override;

  bool m_bFillFields = false;
  std::u16string m_strSiteName;
  std::u16string m_strSiteIP;
  std::u16string m_strSitePort;
  std::u16string m_strUserID;
  std::u16string m_strPassword;
  // The five fields as a site keeps them (the port text read as a number), and back.
  SiteFields Fields() const;
  void SetFields(const SiteFields& site);

  // --- read-outs (tests, screenshots) ---
  bool IsSipOn() const { return m_bSIPOn; }
  bool IsCompact() const { return m_bCompact; }
  const CRect& ClientRect() const { return m_rcClient; }
  CEnterEdit* Edit(int i) const { return m_pEdit[static_cast<std::size_t>(i)].get(); }
  CTextLabel& Label(int i) { return m_label[static_cast<std::size_t>(i)]; }
  HWND OkButton() const { return m_hBtnOk; }
  HWND CancelButton() const { return m_hBtnCancel; }
  // True while field i's label shows the refusal colour.
  bool IsFieldMarked(int i) const { return m_bMarked[static_cast<std::size_t>(i)]; }

  bool PreTranslateMessage(MSG* msg) override;

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;
  bool OnCommand(WPARAM wParam, LPARAM lParam) override;
  // The caption's OK button and Enter outside a field: the REG_OK check.
  void OnOK() override;
  void OnPaint() override;
  void PostNcDestroy() override;

 private:
  std::u16string& Text(int i);
  void CreateControls();
  void ArrangeFields(bool compact);
  LRESULT OnEditSetFocus(WPARAM wParam, LPARAM lParam);
  LRESULT OnEditEnterDetect(WPARAM wParam, LPARAM lParam);
  // Reads the five fields; ends the dialog with IDOK if they can be kept,
  // otherwise marks the fields at fault.
  void ConfirmIfValid();
  // Makes a refusal seen: a form in its compact layout goes back to normal
  // with the first field at fault focused.
  void ShowRefusal();
  void MarkField(int i, std::u16string_view why);
  void ClearMark(int i);

  CRect m_rcClient;
  bool m_bSIPOn = false;
  bool m_bCompact = false;
  std::array<CTextLabel, kRegFieldCount> m_label;
  std::array<std::unique_ptr<CEnterEdit>, kRegFieldCount> m_pEdit;
  std::array<bool, kRegFieldCount> m_bMarked{};
  HWND m_hBtnOk = 0;
  HWND m_hBtnCancel = 0;
};

}  // namespace lv
