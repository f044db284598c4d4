#pragma once
// The single-line edit control (class "EDIT"): a Qt line edit underneath,
// whose own processing of pen, key, focus and paint events is the class's
// default processing.
#include "platform/ui/wnd.h"

namespace lv {

class CEdit : public CWnd {
 public:
  // ES_PASSWORD hides the characters; WS_BORDER draws a frame.
  virtual bool Create(DWORD style, const CRect& rect, CWnd* parent, UINT id);
  void SetSel(int start, int end);
};

}  // namespace lv
