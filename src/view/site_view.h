#pragma once
// CDlg_SiteView: the live view of one DVR site. It drives the site's session
// from connect to close, shows the status, title, picture time and size in
// four labels, the pictures of the open channel in the 480 x 360 video area,
// and one of two 4 x 4 button grids below: the channel buttons, or the PTZ
// buttons of a PTZ camera (entered by a tap on the picture).
//
// The object is made once and reused for every connect: the site list sets
// m_pCurr_DVR and runs it modally. The render thread (video/) shares the
// words of RenderShared with it.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "controls/text_label.h"
#include "platform/ui/dialog.h"
#include "session/dvr_session.h"
#include "video/picture_decoder.h"
#include "video/render_thread.h"

namespace lv {

// Connection status of the view.
enum : int {
  ST_DISCONNECTED = 0,
  ST_TRY_CONNECT = 1,
  ST_CONNECTED = 2,
  ST_TRY_LOGIN = 3,
  ST_LOGIN_OK = 4,
  ST_CHECK_ACCOUNT = 5,
  ST_TRY_OPEN = 6,
  ST_RECEIVING = 7,
  ST_NO_PERMISSION = 8,
  ST_NO_CAMERA = 9,
  ST_TRY_LOGOUT = 10,
  ST_LOGOUT_OK = 11,
  ST_SWITCHING = 12,
  ST_CH_CLOSED = 13,
};
static_assert(ST_RECEIVING == kStatusReceiving);

// The text of a status; ST_SWITCHING reads differently while a switch waits.
const char16_t* StatusText(int status, bool switchPending);

// The size label's text for a picture of width x height ("%d X %d"; 704 is
// shown as 720); empty when the size is not shown (beyond 720 x 576).
std::u16string FormatPictureSize(unsigned width, unsigned height);
// The date-time label's text for a date (yyyymmdd) and time (hhmmss) as
// decimal numbers; empty when either is out of range (the label keeps its text).
std::u16string FormatPictureTime(std::uint32_t date, std::uint32_t time);

// Timers of the view.
inline constexpr UINT_PTR kTimerFullScreen = 1021;  // once, 10 ms after set-up
inline constexpr UINT_PTR kTimerVideoInfo = 1022;   // size and time labels, 1 s
inline constexpr UINT_PTR kTimerStatus = 1023;      // status and title, 50 ms
inline constexpr UINT_PTR kTimerConnect = 1024;     // a connect and login that never complete
inline constexpr UINT kConnectTimeoutMs = 10000;
inline constexpr UINT_PTR kTimerOpen = 1025;        // a channel open or switch that is never answered
inline constexpr UINT kOpenTimeoutMs = 10000;
// A channel open (or being opened) with not one byte from the DVR for this
// long is a lost link.
inline constexpr UINT kStallTimeoutMs = 15000;
// A picture older than this while a channel is open is shown as not live.
inline constexpr int kPictureStaleMs = 3000;
// Reconnecting after a lost link: 1 s, doubling to 30 s (with a fifth of
// jitter either way); a link that carried pictures this long starts again at 1 s.
inline constexpr UINT_PTR kTimerReconnect = 1026;
inline constexpr int kReconnectFirstMs = 1000;
inline constexpr int kReconnectMaxMs = 30000;
inline constexpr int kReconnectStableMs = 10000;
// A short note in the video area (saved, copied) shows this long.
inline constexpr UINT_PTR kTimerNote = 1027;
inline constexpr UINT kNoteMs = 2500;
// A PTZ key let go is a release only if it is not pressed again within this
// long: a display server's key repeat can look like a release and a press.
inline constexpr UINT_PTR kTimerKeyRelease = 1028;
inline constexpr UINT kKeyReleaseGraceMs = 60;

// Where saved pictures go: $XDG_PICTURES_DIR (or the user's pictures folder)/Lorventa.
std::string SavedPicturesDir();
// "SITE_CHnn_YYYYMMDD-HHMMSS.jpg" for a picture of channel (0-based) with its
// own date and time; characters a file name cannot carry become '_'.
std::string SavedPictureName(const std::u16string& site, int channel, std::uint32_t date, std::uint32_t time);

// The caption over a picture that is no longer live: its age ("12 s", "4 min").
std::u16string FormatPictureAge(long long ageMs);

// Command ids of the two grids.
inline constexpr UINT IDC_CH_BTN_FIRST = 2007;
inline constexpr UINT IDC_PTZ_BTN_FIRST = 2023;
inline constexpr UINT IDC_PTZ_EXIT = 2026;
inline constexpr UINT IDC_PTZ_BLANK = 2028;

// Control code sent on pen down for PTZ button i (-1: none; EXIT and blank).
inline constexpr std::array<int, 16> kPtzControlCodes = {5, 3, 6, -1, 1, -1, 2, 13, 7, 4, 8, 14, 11, 12, 9, 10};
inline constexpr std::uint8_t PTZ_STOP = 0;

class CDlg_SiteView : public CDialog, protected RenderShared {
 public:
  CDlg_SiteView();
  ~CDlg_SiteView() override;

  // The session this view drives (not owned); set before DoModal. The
  // render thread reads it too.
  using RenderShared::m_pCurr_DVR;

  // --- read-outs for tests, benchmarks and screenshots ---
  int Status() const { return m_nStatus.load(); }
  int SwitchChannel() const { return m_nSwitchCH; }
  bool PtzChannel() const { return m_bPTZ_CH.load() != 0; }
  bool PtzMode() const { return m_bPTZMode.load() != 0; }
  int PressedPtz() const { return m_nPressedPTZ.load(); }
  int ComposedChannels() const { return m_nComposedCH; }
  HWND ChannelButton(int i) const { return m_hBtnCH[static_cast<std::size_t>(i)]; }
  HWND PtzButton(int i) const { return m_hBtnPTZ[static_cast<std::size_t>(i)]; }
  const CTextLabel& TitleLabel() const { return m_TitleLabel; }
  const CTextLabel& StatusLabel() const { return m_StatusLabel; }
  const CTextLabel& DateTimeLabel() const { return m_DateTimeLabel; }
  const CTextLabel& SizeLabel() const { return m_SizeLabel; }
  const CRect& WindowRect() const { return m_rcWindow; }
  int SurfaceCount() const;
  int RenderThreadStarts() const { return m_RenderThread.StartCount(); }
  bool RenderThreadRunning() const { return m_RenderThread.Running(); }
  bool HasPicture() const { return m_Presenter.HasPicture(); }
  // The caption over the picture as last painted: empty while it is live,
  // its age or the link's status over a dimmed picture otherwise.
  const std::u16string& VideoCaption() const { return m_strVideoCaption; }
  // The held button's overlay in the picture as last painted (-1 none).
  int PaintedOverlay() const { return m_nPaintedOverlay; }
  // How long a connect and login may take before the view gives up.
  void SetConnectTimeout(UINT ms) { m_nConnectTimeoutMs = ms; }
  void SetStallTimeout(UINT ms) { m_nStallTimeoutMs = ms; }
  void SetOpenTimeout(UINT ms) { m_nOpenTimeoutMs = ms; }
  // The channel the next DoModal opens first (when the user may see it);
  // -1: the first channel that may be opened. A wall's tile sets it.
  void SetStartChannel(int channel) { m_nStartCH = channel; }
  // Reconnect by itself after a lost link (on unless turned off).
  void SetAutoReconnect(bool on) { m_bAutoReconnect = on; }
  bool ReconnectPending() const { return m_bReconnectPending; }
  // Saves the picture on screen, as the DVR sent it, under SavedPicturesDir();
  // its path, or empty when there is no picture or it could not be written.
  std::string SavePicture();
  // Puts the picture on screen on the clipboard; false when there is none.
  bool CopyPicture();
  // The note shown in the video area (empty: none).
  const std::u16string& Note() const { return m_strNote; }
  // Called after each painted picture with the frame it came from.
  std::function<void(const FrameRecord&)> m_onPicturePainted;

  // --- motion and clips (desktop additions) ---
  // Marks channel (0-based) as having motion or not: a red dot on its
  // channel button and, while it is the channel shown, a "Motion" mark in the
  // picture's top-right corner, under the PTZ badge. Repaints only what changed. The marks last
  // until cleared or until the view's run ends.
  void SetMotion(int channel, bool active);
  bool MotionOn(int channel) const { return channel >= 0 && channel < 16 && ((m_nMotionMask >> channel) & 1u); }
  // Where the picture's motion mark is drawn, in the view's coordinates.
  static CRect MotionMarkRect();
  // The motion mark as last painted over the picture.
  bool PaintedMotionMark() const { return m_bPaintedMotionMark; }
  // What the program behind the view provides (the shell sets them; unset
  // means off): whether a site keeps clips, a clip kept now of a channel
  // (false when none could be), and the channels of a site that have
  // motion when a run starts (bit n: channel n).
  struct MotionHooks {
    std::function<bool(const std::u16string& site)> clipsOn;
    std::function<bool(const std::u16string& site, int channel)> saveClip;
    std::function<std::uint32_t(const std::u16string& site)> motionNow;
    PictureWatchMaker watch;  // the watcher of a run's pictures
  };
  MotionHooks m_motionHooks;
  // Brings the running view to the front on channel (0-based), switching
  // to it when it may be opened (a clicked notification).
  void ShowChannel(int channel);
  // Whether "Save clip" (Ctrl+R, the picture's menu) can act for this site.
  bool ClipsOn() const;
  // Keeps a clip of the channel shown through the hook, with a note either way.
  bool SaveClip();

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;
  bool PreTranslateMessage(MSG* msg) override;
  bool OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnTimer(UINT_PTR id) override;
  void OnPaint() override;
  bool OnEraseBkgnd(CDC* dc) override;
  void OnClose() override;
  void PostNcDestroy() override;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  // Session messages.
  void OnConnectSocket();
  void OnConnectFailed(const char* why);
  void OnCloseSocket();
  void OnLoginReply(LPARAM result);
  void OnHwInfo(WPARAM wParam, LPARAM result);
  void OnVersionReply(const char* name, bool os, WPARAM wParam, LPARAM result);
  void OnChannelOpenReply(WPARAM channel, LPARAM result);
  void OnChannelCloseReply(LPARAM result);
  void OnNewPicture();
  void CheckStall();
  // Stale pictures: what to write over the shown picture (empty: it is live),
  // and the picture redrawn from its frame without overlays, or dimmed.
  std::u16string StaleCaption(const FramePresenter::Shown& shown) const;
  QImage Redraw(const FramePresenter::Shown& shown, const std::u16string& caption);
  void RefreshVideoCaption();
  void InvalidateVideo();
  void ClearPictureLabels();
  // Desktop additions: keys, the picture's menu, notes, reconnecting.
  bool OnViewKey(const MSG& msg);
  void ShowPictureMenu(const QPoint& at);
  void ShowNote(std::u16string note);
  void ScheduleReconnect();
  void RememberChannelForReconnect();
  void OnReconnectTimer();
  void OnKeyReleaseTimer();
  std::u16string ReconnectCaption() const;
  QImage WithCaption(QImage picture, const std::u16string& caption, bool dim) const;
  bool MotionMarkShown() const;
  const QImage& MotionMark();

  // Status and channels.
  void SetStatus(int status);
  void SwitchToChannel(int target);
  // Opens channel t if it has a camera and is not locked; otherwise shows why.
  void OpenIfAllowed(int target);
  void Disconnect();
  void StartSessionView();
  void SetupLabels();

  // Grids.
  void ComposeBtnCH(int present);
  void DestroyBtnCH();
  void ComposeBtnPTZ();
  void DestroyBtnPTZ();
  void ShowBtnCH(bool show);
  bool PtzAllowed() const;
  void OnPtzCommand(UINT id, int notification);
  // Sends the stop for a move under way, if any.
  void StopPtzMove(const char* why);
  // Waits (briefly) until queued requests have gone out, before a disconnect.
  void FlushRequests();

  // Render thread.
  void StartRenderThread();
  void StopRenderThread();

  void CreateSurfaces(const CDC& reference);

  CTextLabel m_TitleLabel;
  CTextLabel m_StatusLabel;
  CTextLabel m_DateTimeLabel;
  CTextLabel m_SizeLabel;
  CRect m_rcWindow;

  int m_bStatusChanged = 0;
  int m_nSwitchCH = -1;
  int m_nComposedCH = -1;
  std::array<HWND, 16> m_hBtnCH{};
  std::array<HWND, 16> m_hBtnPTZ{};
  // The channel a PTZ move was sent for and not yet stopped; -1 none.
  int m_nMovingPtzCH = -1;
  UINT m_nConnectTimeoutMs = kConnectTimeoutMs;
  UINT m_nStallTimeoutMs = kStallTimeoutMs;
  UINT m_nOpenTimeoutMs = kOpenTimeoutMs;
  std::uint64_t m_nLastBytes = 0;  // the session's received bytes at the last look
  UINT m_nQuietMs = 0;             // how long they have stood still

  // The last picture redrawn on this thread, from its frame.
  std::unique_ptr<PictureDecoder> m_pDecoder;
  FrameRef m_RedrawnSource;
  QImage m_RedrawnPlain;
  std::u16string m_strVideoCaption;
  int m_nPaintedOverlay = -1;

  bool m_bAutoReconnect = true;
  bool m_bReconnectPending = false;
  int m_nReconnectFailures = 0;
  int m_nResumeCH = -1;  // the channel to open again after a reconnect
  int m_nStartCH = -1;   // the channel the next viewing starts on
  std::chrono::steady_clock::time_point m_tReconnectAt;
  std::chrono::steady_clock::time_point m_tReceivingSince;
  bool m_bReceivedThisLink = false;
  std::u16string m_strNote;
  bool m_bMenuReady = false;
  int m_nKeyReleasePTZ = -1;  // the PTZ button whose key was let go, waiting for the grace
  std::uint32_t m_nMotionMask = 0;  // bit n: channel n has motion
  bool m_bPaintedMotionMark = false;
  QImage m_MotionMark;  // drawn once

  // Drawing surfaces, made by the first paint and kept for later connects.
  std::array<CDC, 16> m_hPressedDC;
  std::array<CBitmap, 16> m_PressedBmp;
  CDC m_hPtzIconDC;
  CBitmap m_PtzIconBmp;
  CDC m_hMemDC;
  CBitmap m_MemBmp;
  CDC m_hBackDC;
  CBitmap m_BackBmp;

  CRenderThread m_RenderThread{*this};
};

}  // namespace lv
