#include "view_rig.h"

#include <QTest>
#include <QTimer>

#include "platform/ui/window_api.h"
#include "protocol/ids.h"
#include "support/pump.h"
#include "support_gui/test_window.h"

namespace lvtest {

ViewRig::ViewRig(dvrsim::Config config, bool start) : sim(std::move(config)) {
  if (start) sim.Start(0);
  site.m_strSiteName = u"Office";
  site.m_strAddress = u"127.0.0.1";
  site.m_nPort = sim.Port();
  site.m_strUserID = u"admin";
  site.m_strPassword = u"1234";
  view.m_pCurr_DVR = &site;
  view.m_onPicturePainted = [this](const lv::FrameRecord&) { ++painted; };
  // Each test sees where a link ends; the ones about reconnecting turn it on.
  view.SetAutoReconnect(false);
}

std::intptr_t ViewRig::Run(const std::function<void()>& script) {
  QTimer::singleShot(0, [&] {
    script();
    if (view.GetSafeHwnd()) view.SendMessage(lv::WM_CLOSE);
  });
  return view.DoModal();
}

bool ViewRig::WaitStatus(int status, int timeoutMs) {
  return PumpUntil([&] { return view.Status() == status; }, timeoutMs);
}

bool ViewRig::WaitStatusText(const std::u16string& text, int timeoutMs) {
  return PumpUntil([&] { return view.StatusLabel().GetWindowText() == text; }, timeoutMs);
}

bool ViewRig::WaitPictures(int count, int timeoutMs) {
  const int target = painted + count;
  return PumpUntil([&] { return painted >= target; }, timeoutMs);
}

void ViewRig::PenDown(lv::HWND hwnd, QPoint at) {
  QTest::mousePress(lv::WidgetFromHandle(hwnd), Qt::LeftButton, {}, at);
}

void ViewRig::PenUp(lv::HWND hwnd, QPoint at) {
  QTest::mouseRelease(lv::WidgetFromHandle(hwnd), Qt::LeftButton, {}, at);
}

void ViewRig::TapView(QPoint at) {
  PenDown(view.GetSafeHwnd(), at);
  PenUp(view.GetSafeHwnd(), at);
}

void ViewRig::Click(lv::HWND button) {
  PenDown(button, {60, 30});
  PenUp(button, {60, 30});
}

QImage ViewRig::Grab() { return lvtest::Grab(view.GetWidget()); }

std::vector<dvrsim::Request> ViewRig::RequestsOf(std::uint32_t id) const {
  std::vector<dvrsim::Request> out;
  for (const dvrsim::Request& r : sim.Requests())
    if (r.id == id) out.push_back(r);
  return out;
}

std::vector<int> ViewRig::PtzCodes() const {
  std::vector<int> codes;
  for (const dvrsim::Request& r : RequestsOf(lv::PID_XAV_REQ_CONTROL_PTZ)) codes.push_back(r.ptzCode);
  return codes;
}

}  // namespace lvtest
