#include "platform/ui/dialog_templates.h"

#include <array>

#include "platform/ui/win_messages.h"

namespace lv {
namespace {

constexpr DWORD kDialogStyle = 0x90C00048;  // visible pop-up with a caption, own font
constexpr DWORD kCaptionOkExStyle = 0x80040000;
constexpr DWORD kStaticStyle = WS_CHILD | WS_VISIBLE | SS_LEFT;

DialogItemTemplate Static(UINT id, std::u16string text, int x, int y, int cx, int cy) {
  return {id, u"STATIC", std::move(text), kStaticStyle, x, y, cx, cy};
}

std::array<DialogTemplate, 3> MakeTemplates() {
  return {{
      {IDD_SITE_LIST, u"Lorventa", kDialogStyle, kCaptionOkExStyle, u"MS Shell Dlg", 8, 156, 212, {}},
      {IDD_SITE_REG,
       u"Site Registration",
       kDialogStyle,
       kCaptionOkExStyle,
       u"MS Shell Dlg",
       8,
       156,
       212,
       {
           Static(IDC_STATIC_SITE_NAME, u"Site Name", 7, 7, 50, 14),
           Static(IDC_STATIC_SITE_IP, u"Site IP", 7, 27, 50, 14),
           Static(IDC_STATIC_SITE_PORT, u"Site Port", 7, 47, 50, 14),
           Static(IDC_STATIC_USER_ID, u"User ID", 7, 67, 50, 14),
           Static(IDC_STATIC_PASSWORD, u"Password", 7, 87, 50, 14),
       }},
      {IDD_SITE_VIEW,
       u"Site View",
       kDialogStyle,
       0x00040000,
       u"MS Shell Dlg",
       8,
       156,
       212,
       {
           Static(IDC_STATIC_VIEW_TITLE, u"", 0, 0, 78, 16),
           Static(IDC_STATIC_VIEW_STATUS, u"Trying to connect", 78, 0, 78, 16),
           Static(IDC_STATIC_VIEW_DATETIME, u"", 0, 134, 117, 13),
           Static(IDC_STATIC_VIEW_SIZE, u"", 117, 134, 39, 13),
       }},
  }};
}

}  // namespace

const DialogTemplate* FindDialogTemplate(UINT id) {
  static const std::array<DialogTemplate, 3> templates = MakeTemplates();
  for (const DialogTemplate& t : templates)
    if (t.id == id) return &t;
  return nullptr;
}

}  // namespace lv
