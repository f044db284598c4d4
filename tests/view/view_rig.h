#pragma once
// A site view wired to a simulated DVR on loopback: the simulator, the site's
// session and the view object, with helpers to run the view modally while a
// script drives it, and to press its buttons and the video area.
#include <QImage>
#include <QPoint>
#include <functional>
#include <memory>
#include <string>

#include "dvrsim/simulator.h"
#include "session/dvr_session.h"
#include "view/site_view.h"

namespace lvtest {

struct ViewRig {
  explicit ViewRig(dvrsim::Config config = {}, bool start = true);

  // Runs the view modally; script runs inside its loop, then the view is
  // closed (if the script left it open). Returns DoModal's result.
  std::intptr_t Run(const std::function<void()>& script);

  bool WaitStatus(int status, int timeoutMs = 5000);
  // Waits until the status label reads text (the 50 ms timer shows it).
  bool WaitStatusText(const std::u16string& text, int timeoutMs = 5000);
  bool WaitPictures(int count, int timeoutMs = 5000);  // pictures painted since the call

  // Pen down / up on a window of the view, at a point of that window.
  void PenDown(lv::HWND hwnd, QPoint at);
  void PenUp(lv::HWND hwnd, QPoint at);
  // Pen down and up on the view's own window (the video area and around it).
  void TapView(QPoint at);
  void Click(lv::HWND button);
  QImage Grab();

  // The simulator's logged requests of one id.
  std::vector<dvrsim::Request> RequestsOf(std::uint32_t id) const;
  // PTZ codes the simulator received, in order.
  std::vector<int> PtzCodes() const;

  dvrsim::Simulator sim;
  lv::CDvrSession site;
  lv::CDlg_SiteView view;
  int painted = 0;
};

}  // namespace lvtest
