// What the site view shows of motion (the dot on a channel's button, the
// mark over the picture) and clips kept on demand.
#include <QPainter>
#include <QWidget>
#include <string>

#include "controls/grp_btn.h"
#include "platform/ui/accessible.h"
#include "platform/ui/window_api.h"
#include "protocol/text.h"
#include "view/site_view.h"

namespace lv {
namespace {

constexpr int kMarkWidth = 104, kMarkHeight = 30;
constexpr int kVideoTop = 50;  // the video area's top in the view

std::u16string Number(int n) { return Utf8ToUtf16(std::to_string(n)); }

}  // namespace

CRect CDlg_SiteView::MotionMarkRect() {
  // Top right, under the PTZ badge: the DVR's own caption usually has the
  // top left and its clock the bottom.
  constexpr int kRight = 480 - 8, kTop = kVideoTop + 46;
  return {kRight - kMarkWidth, kTop, kRight, kTop + kMarkHeight};
}

void CDlg_SiteView::SetMotion(int channel, bool active) {
  if (channel < 0 || channel >= 16 || MotionOn(channel) == active) return;
  m_nMotionMask ^= 1u << channel;
  if (const HWND button = m_hBtnCH[static_cast<std::size_t>(channel)])
    lv::SendMessage(button, GBM_SETMARK, active ? 1 : 0, 0);
  if (!GetSafeHwnd()) return;
  const CDvrSession* dvr = m_pCurr_DVR.load();
  if (dvr && dvr->m_nCurrentCH.load() == channel) {
    const CRect mark = MotionMarkRect();
    InvalidateRect(&mark, false);
  }
  if (active) Announce(GetSafeHwnd(), u"Motion on channel " + Number(channel + 1));
}

bool CDlg_SiteView::MotionMarkShown() const {
  const CDvrSession* dvr = m_pCurr_DVR.load();
  return dvr && MotionOn(dvr->m_nCurrentCH.load());
}

const QImage& CDlg_SiteView::MotionMark() {
  if (!m_MotionMark.isNull()) return m_MotionMark;
  m_MotionMark = QImage(kMarkWidth, kMarkHeight, QImage::Format_ARGB32_Premultiplied);
  m_MotionMark.fill(Qt::transparent);
  QPainter p(&m_MotionMark);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 170));
  p.drawRoundedRect(QRectF(0, 0, kMarkWidth, kMarkHeight), kMarkHeight / 2.0, kMarkHeight / 2.0);
  p.setPen(QPen(Qt::white, 2));
  p.setBrush(QColor(230, 30, 30));
  p.drawEllipse(QRectF(6, 6, kMarkHeight - 12, kMarkHeight - 12));
  QFont font;
  font.setBold(true);
  font.setPixelSize(16);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRect(kMarkHeight - 2, 0, kMarkWidth - kMarkHeight - 4, kMarkHeight), Qt::AlignCenter,
             QStringLiteral("Motion"));
  return m_MotionMark;
}

void CDlg_SiteView::ShowChannel(int channel) {
  CDvrSession* dvr = m_pCurr_DVR.load();
  if (!dvr || !GetSafeHwnd()) return;
  if (QWidget* widget = GetWidget()) {
    QWidget* window = widget->window();
    if (window->isMinimized()) window->showNormal();
    window->raise();
    window->activateWindow();
  }
  if (channel < 0 || channel >= 16) return;
  if (m_nComposedCH < 0) {
    m_nResumeCH = channel;  // still logging in: the first open is this channel
    return;
  }
  if (m_bPTZMode.load()) {
    StopPtzMove("another channel was asked for");
    ShowBtnCH(true);
    m_bPTZMode.store(0);
  }
  if (channel < m_nComposedCH && channel != dvr->m_nCurrentCH.load()) SwitchToChannel(channel);
}

bool CDlg_SiteView::ClipsOn() const {
  const CDvrSession* dvr = m_pCurr_DVR.load();
  return dvr && m_motionHooks.saveClip && (!m_motionHooks.clipsOn || m_motionHooks.clipsOn(dvr->m_strSiteName));
}

bool CDlg_SiteView::SaveClip() {
  if (!ClipsOn()) {
    ShowNote(u"Clips are off for this site");
    return false;
  }
  const CDvrSession* dvr = m_pCurr_DVR.load();
  const int channel = dvr->m_nCurrentCH.load();
  if (!m_motionHooks.saveClip(dvr->m_strSiteName, channel)) {
    ShowNote(u"Could not keep a clip");
    return false;
  }
  ShowNote(u"Keeping a clip of channel " + Number(channel + 1));
  return true;
}

}  // namespace lv
