#include "video/render_thread.h"

#include <QPainter>
#include <chrono>

#include "platform/core/debug_out.h"
#include "platform/ui/alpha_blend.h"
#include "video/picture_decoder.h"

namespace lv {

std::atomic<std::uint16_t> s_wLastWidth{0};
std::atomic<std::uint16_t> s_wLastHeight{0};
std::atomic<std::uint32_t> s_dwLastTime{0};

void ResetLastSeen() {
  s_wLastWidth.store(0);
  s_wLastHeight.store(0);
  s_dwLastTime.store(0);
}

int ComposePicture(QImage& canvas, const QImage& picture, const RenderShared& shared) {
  {
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, picture.size() != canvas.size());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QRect(0, 0, canvas.width(), canvas.height()), picture);
  }
  if (!shared.m_bPTZ_CH.load(std::memory_order_relaxed) || !shared.m_bSurfacesReady.load(std::memory_order_acquire))
    return -1;
  if (shared.m_pPtzIcon) BlendOverlayHalf(canvas, kPtzBadgePos, *shared.m_pPtzIcon);
  const int pressed = shared.m_nPressedPTZ.load(std::memory_order_relaxed);
  if (shared.m_bPTZMode.load(std::memory_order_relaxed) && pressed >= 0 && pressed < 16 &&
      shared.m_pPressed[static_cast<std::size_t>(pressed)]) {
    BlendOverlayHalf(canvas, shared.m_ptPressed[static_cast<std::size_t>(pressed)],
                     *shared.m_pPressed[static_cast<std::size_t>(pressed)]);
    return pressed;
  }
  return -1;
}

int CRenderThread::Start() {
  if (m_shared.m_bRenderStop.load() == 0) return 1;
  if (m_hRenderThread.joinable()) m_hRenderThread.join();
  m_shared.m_bRenderStop.store(0);
  if (!StartThread(m_hRenderThread, [this] { Run(); })) {
    m_shared.m_bRenderStop.store(1);
    return 0;
  }
  ++m_starts;
  return m_shared.m_bRenderStop.load() == 0 ? 1 : 0;
}

void CRenderThread::Stop() {
  if (m_shared.m_bRenderStop.load() != 0) {
    if (m_hRenderThread.joinable()) m_hRenderThread.join();
    return;
  }
  m_shared.m_bRenderStop.store(1);
  m_shared.m_RenderWake.Set();
  if (CDvrSession* dvr = m_shared.m_pCurr_DVR.load()) dvr->WakeFrameWaiter();
  if (m_hRenderThread.joinable()) m_hRenderThread.join();
}

void CRenderThread::Run() {
  using Clock = std::chrono::steady_clock;
  RenderShared& s = m_shared;
  const auto stopped = [&s] { return s.m_bRenderStop.load() != 0; };
  // Waits on the thread's own wake-up event; false when told to stop.
  const auto pause = [&](int ms) {
    if (ms > 0) s.m_RenderWake.WaitFor(ms);
    return !stopped();
  };

  DebugOut("## Render Thread Start\r\n");
  PictureDecoder decoder(kVideoWidth, kVideoHeight);
  if (!decoder.Ok()) DebugOut("pImagingFactory Fail!!!!\r\n");
  ResetLastSeen();
  QImage canvas(kVideoWidth, kVideoHeight, QImage::Format_RGB32);
  Clock::time_point lastDraw = Clock::now() - std::chrono::milliseconds(kRenderMinFrameGapMs);

  while (!stopped()) {
    if (s.m_nStatus.load() != kStatusReceiving) {
      pause(kRenderIdlePollMs);
      continue;
    }
    CDvrSession* dvr = s.m_pCurr_DVR.load();
    if (!dvr) {
      DebugOut("In Render Thread : m_pCurr_DVR should be set !\r\n");
      pause(kRenderIdlePollMs);
      continue;
    }
    // The reference keeps the record alive even if the channel is closed
    // (and the record removed) while its picture is drawn.
    const ChannelRef record = dvr->m_ChannelTable.First();
    if (!record || !record->frames || record->frames->Count() == 0) {
      // Woken by the next frame handed over (or by a stop).
      dvr->WaitForFrame(kRenderIdlePollMs);
      continue;
    }
    // At least 30 ms between drawn pictures; the newest frame waits meanwhile.
    const auto due = lastDraw + std::chrono::milliseconds(kRenderMinFrameGapMs);
    const auto now = Clock::now();
    if (now < due) {
      if (!pause(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count()) + 1))
        break;
      continue;  // look again: a newer frame may have replaced the one seen
    }

    // Out of the list before it is drawn: whatever happens to it below, it
    // never blocks its channel (the reference keeps its bytes meanwhile).
    const FrameRef frame = record->frames->TakeHead();
    if (!frame) continue;
    if (!frame->data || frame->size == 0 || frame->width == 0 || frame->height == 0) {
      DebugOut("## Get Video Data Fail dwDataSize[%d] [%d,%d] Time[%d] pBuf[0x%x] in VideoList[%d]\r\n",
               static_cast<int>(frame->size), frame->width, frame->height, static_cast<int>(frame->time),
               static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(frame->data)), record->frames->Count());
      continue;
    }
    if (frame->width != s_wLastWidth.load() || frame->height != s_wLastHeight.load()) {
      s_wLastWidth.store(frame->width);
      s_wLastHeight.store(frame->height);
      s.m_wWidth.store(frame->width);
      s.m_wHeight.store(frame->height);
      s.m_bResChanged.store(1, std::memory_order_release);
    }
    if (frame->time != s_dwLastTime.load()) {
      s_dwLastTime.store(frame->time);
      s.m_dwTime.store(frame->time);
      s.m_dwDate.store(record->date.load());
      s.m_bTimeChanged.store(1, std::memory_order_release);
    }
    lastDraw = Clock::now();
    const QImage picture = decoder.Decode(frame->data, frame->size);
    if (picture.isNull()) {
      DebugOut("## Image Src NULL\r\n");
      continue;  // the frame is already out of the list
    }
    // The window may still hold the buffer it painted last: draw into one
    // of our own.
    if (!canvas.isDetached() || canvas.isNull()) canvas = QImage(kVideoWidth, kVideoHeight, QImage::Format_RGB32);
    const int overlay = ComposePicture(canvas, picture, s);
    if (s.m_Presenter.Publish(canvas, frame, overlay)) PostMessage(s.m_hViewWnd.load(), WM_VIEW_NEW_PICTURE, 0, 0);
    // After the hand-over, so watching never delays the painted picture.
    if (s.m_onPicture) s.m_onPicture(*frame, &picture);
  }
  DebugOut("## Render Thread Finish\r\n");
}

}  // namespace lv
