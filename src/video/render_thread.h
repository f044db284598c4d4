#pragma once
// The render thread of the site view: takes the newest picture of the open
// channel, decodes it, stretches it over the 480 x 360 video area, adds the
// PTZ badge and the held PTZ button's overlay, publishes the picture to the
// view's window and its size and time to the view's labels.
//
// The view and the thread share the words of RenderShared; the view writes
// status, session, PTZ words and the stop flag, the thread writes the
// published size and time before setting their changed flags.
#include <QImage>
#include <QPoint>
#include <array>
#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/core/sync.h"
#include "platform/core/window.h"
#include "session/dvr_session.h"
#include "video/frame_presenter.h"
#include "video/picture_watch.h"

namespace lv {

inline constexpr int kVideoWidth = 480;
inline constexpr int kVideoHeight = 360;
// Pictures drawn at most every 30 ms (about 33 per second).
inline constexpr int kRenderMinFrameGapMs = 30;
// How often the thread looks at the view while it is not receiving.
inline constexpr int kRenderIdlePollMs = 110;
// Where the PTZ badge sits inside the video area.
inline constexpr QPoint kPtzBadgePos{410, 10};

// The value of the view's status while pictures are received.
inline constexpr int kStatusReceiving = 7;

// Told to the view's window when a new picture waits to be painted.
inline constexpr std::uint32_t WM_VIEW_NEW_PICTURE = 7100;

// The last size and time the thread published, one set for the program.
// The thread clears them when it starts, the view whenever it (re)starts
// receiving, so the next picture's size and time are always published.
extern std::atomic<std::uint16_t> s_wLastWidth;
extern std::atomic<std::uint16_t> s_wLastHeight;
extern std::atomic<std::uint32_t> s_dwLastTime;
void ResetLastSeen();

struct RenderShared {
  std::atomic<int> m_bRenderStop{1};
  std::atomic<int> m_nStatus{0};
  std::atomic<CDvrSession*> m_pCurr_DVR{nullptr};
  std::atomic<HWND> m_hViewWnd{0};  // told of new pictures
  std::atomic<int> m_bPTZ_CH{0};
  std::atomic<int> m_bPTZMode{0};
  std::atomic<int> m_nPressedPTZ{-1};

  std::atomic<int> m_bResChanged{0};
  std::atomic<std::uint16_t> m_wWidth{0};
  std::atomic<std::uint16_t> m_wHeight{0};
  std::atomic<int> m_bTimeChanged{0};
  std::atomic<std::uint32_t> m_dwDate{0};
  std::atomic<std::uint32_t> m_dwTime{0};

  // The badge and the 16 pressed-button overlays, made by the view's first
  // paint and read-only after m_bSurfacesReady is set.
  std::atomic<int> m_bSurfacesReady{0};
  const QImage* m_pPtzIcon = nullptr;
  std::array<const QImage*, 16> m_pPressed{};
  std::array<QPoint, 16> m_ptPressed{};

  FramePresenter m_Presenter;
  AutoResetEvent m_RenderWake;  // wakes the thread's pauses (stop)
  // Told of each decoded picture on the render thread; set and cleared only
  // while the thread is stopped.
  PictureWatch m_onPicture;
};

// Composes one picture: the decoded picture stretched over the whole canvas,
// then, for a PTZ channel, the badge and the held button's overlay at half
// strength. The canvas must be kVideoWidth x kVideoHeight. Returns the held
// button whose overlay was drawn, -1 for none.
int ComposePicture(QImage& canvas, const QImage& picture, const RenderShared& shared);

class CRenderThread {
 public:
  explicit CRenderThread(RenderShared& shared) : m_shared(shared) {}
  ~CRenderThread() { Stop(); }
  CRenderThread(const CRenderThread&) = delete;
  CRenderThread& operator=(const CRenderThread&) = delete;

  // Starts the thread unless it runs; 1, or 0 if it was stopped meanwhile.
  int Start();
  // Stops the thread and waits for it to end; nothing if it does not run.
  void Stop();
  bool Running() const { return m_shared.m_bRenderStop.load() == 0; }
  // Threads started so far (tests: one thread across channel switches).
  int StartCount() const { return m_starts; }

 private:
  void Run();

  RenderShared& m_shared;
  std::thread m_hRenderThread;
  int m_starts = 0;
};

}  // namespace lv
