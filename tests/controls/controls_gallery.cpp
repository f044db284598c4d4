// controls_gallery OUT.png: one window with each control in each state,
// grabbed from the offscreen platform, for a person to review.
#include <QApplication>
#include <QTest>
#include <cstdio>

#include "controls/enter_edit.h"
#include "controls/grp_btn.h"
#include "controls/han_list_box.h"
#include "controls/skin.h"
#include "controls/text_label.h"
#include "platform/ui/window_api.h"

namespace {

constexpr lv::COLORREF kWhite = lv::RGB(255, 255, 255);
constexpr lv::COLORREF kDarkGrey = lv::RGB(50, 50, 50);

class Gallery : public lv::CWnd {
 public:
  Gallery() {
    CreateEx(0, u"Window", u"Controls", lv::WS_POPUP | lv::WS_CAPTION, {0, 0, 960, 826}, nullptr, 0);
  }

 protected:
  bool OnEraseBkgnd(lv::CDC* dc) override {
    lv::CRect rc;
    GetClientRect(&rc);
    dc->FillSolidRect(rc, lv::RGB(24, 24, 28));
    return true;
  }
};

// A heading label over a row.
void Heading(lv::CWnd& parent, std::vector<std::unique_ptr<lv::CTextLabel>>& labels, int y, const char16_t* text) {
  auto label = std::make_unique<lv::CTextLabel>();
  label->SubclassWindow(lv::CreateWindowEx(0, u"STATIC", text, lv::WS_CHILD | lv::WS_VISIBLE, 0, y, 960, 24,
                                           parent.GetSafeHwnd(), 0));
  label->SetForeColor(kWhite);
  label->SetBackColor(lv::RGB(70, 70, 80));
  label->CreateLabelFont(20, 20, true);
  labels.push_back(std::move(label));
}

// A toggle button shows any state on request: each picture through the real control.
void Button(lv::CWnd& parent, int x, int y, int w, int h, std::array<int, 4> ids, int state) {
  const lv::HWND b = lv::CreateGrpBtn(parent.GetSafeHwnd(), 0, {x, y, x + w, y + h}, ids[0], ids[1], ids[2], ids[3],
                                      lv::GB_STYLE_TOGGLE);
  lv::SendMessage(b, lv::GBM_SETSTATE, static_cast<lv::WPARAM>(state));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
    return 2;
  }
  Gallery gallery;
  std::vector<std::unique_ptr<lv::CTextLabel>> labels;
  QWidget* window = gallery.GetWidget();
  window->show();
  window->activateWindow();
  if (!QTest::qWaitForWindowActive(window)) std::fprintf(stderr, "the window did not become active\n");

  int y = 0;
  Heading(gallery, labels, y, u"GrpBtn states: normal, hover, pressed, disabled (site list ADD and CONNECT)");
  y += 26;
  for (int s = 0; s < 4; ++s) {
    Button(gallery, s * 120, y, 120, 106, {130, 132, 131, 130}, s);
    Button(gallery, 480 + s * 120, y, 120, 106, {139, 141, 140, 139}, s);
  }
  y += 108;
  Heading(gallery, labels, y, u"Registration OK: normal, hover, pressed, disabled");
  y += 26;
  for (int s = 0; s < 4; ++s) Button(gallery, s * 240, y, 240, 106, {150, 152, 151, 150}, s);
  y += 108;
  Heading(gallery, labels, y,
          u"Channel 1: normal, hover, pressed, disabled | ch. 16 absent | PTZ up, Zoom+");
  y += 26;
  for (int s = 0; s < 4; ++s) Button(gallery, s * 120, y, 120, 60, {160, 161, 162, 160}, s);
  Button(gallery, 480, y, 120, 60, {223, 223, 223, 223}, 0);
  Button(gallery, 600, y, 120, 60, {227, 227, 228, 227}, 0);
  Button(gallery, 720, y, 120, 60, {227, 227, 228, 227}, 2);
  Button(gallery, 840, y, 120, 60, {253, 253, 254, 253}, 2);
  y += 62;
  Heading(gallery, labels, y, u"Push buttons driven by the pen: held down, and disabled by EnableWindow");
  y += 26;
  const lv::HWND held = lv::CreateGrpBtn(gallery.GetSafeHwnd(), 2007, {0, y, 120, y + 60}, 164, 165, 166, 164);
  QTest::mousePress(lv::WidgetFromHandle(held), Qt::LeftButton, {}, QPoint(20, 20));
  const lv::HWND off = lv::CreateGrpBtn(gallery.GetSafeHwnd(), 2008, {120, y, 240, y + 60}, 168, 169, 170, 171);
  lv::EnableWindow(off, false);
  y += 62;

  Heading(gallery, labels, y, u"CTextLabel: registration style, site view style, empty, no font");
  y += 26;
  const struct {
    const char16_t* text;
    lv::COLORREF back;
    int font;
  } kLabels[] = {{u"Site Name", 0, 30}, {u"Receiving data", kDarkGrey, 25}, {u"", kDarkGrey, 25}, {u"No font", kWhite, 0}};
  for (int i = 0; i < 4; ++i) {
    auto label = std::make_unique<lv::CTextLabel>();
    label->SubclassWindow(lv::CreateWindowEx(0, u"STATIC", kLabels[i].text, lv::WS_CHILD | lv::WS_VISIBLE, i * 240,
                                             y, 236, 60, gallery.GetSafeHwnd(), 1005 + i));
    if (kLabels[i].font) {
      label->SetForeColor(kWhite);
      label->CreateLabelFont(kLabels[i].font, kLabels[i].font, true);
    }
    label->SetBackColor(kLabels[i].back);
    labels.push_back(std::move(label));
  }
  y += 62;

  Heading(gallery, labels, y, u"CHanListBox, second line selected | CEnterEdit: plain, focused, password");
  y += 26;
  lv::CHanListBox list;
  list.Create(0x50800160, {0, y, 480, y + 260}, &gallery, 2024);
  list.SetLogFont(lv::LOGFONT{});
  list.AddItem(u"Head office", 0);
  list.AddItem(u"Warehouse gate", 1);
  list.AddItem(u"Parking R&D", 2);
  for (int i = 0; i < 3; ++i) list.SetItemHeight(i, 80);
  list.SetCurSel(1);

  lv::LOGFONT editFont;
  editFont.lfHeight = 40;
  editFont.lfWeight = lv::FW_BOLD;
  lv::CEnterEdit edits[3];
  const lv::DWORD styles[3] = {0x50800080, 0x50800080, 0x508000A0};
  const char16_t* texts[3] = {u"192.168.0.20", u"8000", u"secret"};
  for (int i = 0; i < 3; ++i) {
    edits[i].Create(styles[i], {500, y + 10 + i * 80, 940, y + 68 + i * 80}, &gallery, 2025 + i);
    edits[i].SetLogFont(editFont);
    edits[i].SetWindowText(texts[i]);
  }
  edits[1].SetFocus();
  QTest::keyClicks(edits[1].GetWidget(), QStringLiteral("1"));

  QTest::qWait(50);
  const QImage shot = window->grab().toImage();
  if (!shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  QTest::mouseRelease(lv::WidgetFromHandle(held), Qt::LeftButton, {}, QPoint(20, 20));
  return 0;
}
