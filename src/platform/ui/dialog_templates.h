#pragma once
// The program's dialog templates: caption, styles, font, size in dialog units
// and the controls created with the dialog window.
#include <string>
#include <vector>

#include "platform/ui/win_types.h"

namespace lv {

inline constexpr UINT IDD_SITE_LIST = 102;
inline constexpr UINT IDD_SITE_REG = 134;
inline constexpr UINT IDD_SITE_VIEW = 135;

// Statics of the registration form (labels of fields 0..4).
inline constexpr UINT IDC_STATIC_SITE_NAME = 1005;
inline constexpr UINT IDC_STATIC_SITE_IP = 1006;
inline constexpr UINT IDC_STATIC_SITE_PORT = 1007;
inline constexpr UINT IDC_STATIC_USER_ID = 1008;
inline constexpr UINT IDC_STATIC_PASSWORD = 1009;
// Statics of the site view.
inline constexpr UINT IDC_STATIC_VIEW_TITLE = 1010;
inline constexpr UINT IDC_STATIC_VIEW_SIZE = 1011;
inline constexpr UINT IDC_STATIC_VIEW_DATETIME = 1012;
inline constexpr UINT IDC_STATIC_VIEW_STATUS = 1013;

struct DialogItemTemplate {
  UINT id = 0;
  std::u16string className;
  std::u16string text;
  DWORD style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
};

struct DialogTemplate {
  UINT id = 0;
  std::u16string caption;
  DWORD style = 0;
  DWORD exStyle = 0;
  std::u16string fontFace;
  int fontPoints = 0;
  int cx = 0, cy = 0;  // dialog units
  std::vector<DialogItemTemplate> items;
};

// nullptr for an unknown id.
const DialogTemplate* FindDialogTemplate(UINT id);

}  // namespace lv
