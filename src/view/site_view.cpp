// The site view's shape and life: construction, set-up, labels, timers,
// painting and the end of each run.
#include "view/site_view.h"

#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "controls/skin_table.h"
#include "platform/core/debug_out.h"
#include "platform/ui/accessible.h"
#include "platform/ui/paint_dc.h"
#include "platform/ui/window_api.h"
#include "protocol/text.h"

namespace lv {
namespace {

constexpr CRect kTitleRect{0, 0, 240, 50};
constexpr CRect kStatusRect{240, 0, 480, 50};
constexpr CRect kVideoRect{0, 50, 480, 410};
constexpr CRect kDateTimeRect{0, 410, 360, 450};
constexpr CRect kSizeRect{360, 410, 480, 450};
constexpr COLORREF kLabelText = RGB(255, 255, 255);
constexpr COLORREF kLabelBack = RGB(50, 50, 50);

// Where each pressed-button overlay is drawn inside the video area.
constexpr std::array<QPoint, 16> kPressedPositions = {{{60, 60},
                                                       {215, 60},
                                                       {370, 60},
                                                       {215, 155},
                                                       {60, 155},
                                                       {215, 155},
                                                       {370, 155},
                                                       {215, 155},
                                                       {60, 250},
                                                       {215, 250},
                                                       {370, 250},
                                                       {215, 155},
                                                       {215, 155},
                                                       {215, 155},
                                                       {215, 155},
                                                       {215, 155}}};

std::u16string Ascii(const char* text) {
  std::u16string out;
  for (const char* p = text; *p; ++p) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
  return out;
}

}  // namespace

const char16_t* StatusText(int status, bool switchPending) {
  switch (status) {
    case ST_DISCONNECTED: return u"Disconnected";
    case ST_TRY_CONNECT: return u"Trying to connect";
    case ST_CONNECTED: return u"Connected";
    case ST_TRY_LOGIN: return u"Trying to login";
    case ST_LOGIN_OK: return u"Login complete";
    case ST_CHECK_ACCOUNT: return u"Check User Account";
    case ST_TRY_OPEN: return u"Trying to open";
    case ST_RECEIVING: return u"Receiving data";
    case ST_NO_PERMISSION: return u"No Permission";
    case ST_NO_CAMERA: return u"No Camera";
    case ST_TRY_LOGOUT: return u"Trying to logout";
    case ST_LOGOUT_OK: return u"Logout complete";
    case ST_SWITCHING: return switchPending ? u"Switching Channel" : u"Trying to close";
    case ST_CH_CLOSED: return u"Channel closed";
    default: return u"";
  }
}

std::u16string FormatPictureSize(unsigned width, unsigned height) {
  if (width == 704) width = 720;
  if (width < 1 || width > 720 || height < 1 || height > 576) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%u X %u", width, height);
  return Ascii(text);
}

std::u16string FormatPictureTime(std::uint32_t date, std::uint32_t time) {
  const unsigned year = date / 10000, month = (date % 10000) / 100, day = date % 100;
  const unsigned hour = time / 10000, minute = (time % 10000) / 100, second = time % 100;
  if (year < 1971 || year > 2099 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 59)
    return {};
  char text[40];
  std::snprintf(text, sizeof text, "%04u/%02u/%02u %02u:%02u:%02u", year, month, day, hour, minute, second);
  return Ascii(text);
}

std::u16string FormatPictureAge(long long ageMs) {
  const long long seconds = std::max(0LL, ageMs / 1000);
  char text[32];
  if (seconds < 120) std::snprintf(text, sizeof text, "%lld s", seconds);
  else if (seconds < 7200) std::snprintf(text, sizeof text, "%lld min", seconds / 60);
  else std::snprintf(text, sizeof text, "%lld h", seconds / 3600);
  return Ascii(text);
}

CDlg_SiteView::CDlg_SiteView() : CDialog(IDD_SITE_VIEW) {
  m_ptPressed = kPressedPositions;
  m_nStatus.store(ST_DISCONNECTED);
}

CDlg_SiteView::~CDlg_SiteView() {
  StopRenderThread();
  if (GetSafeHwnd()) DestroyWindow();
  m_bSurfacesReady.store(0);
  const auto free = [](CDC& dc, CBitmap& bmp) {
    dc.DeleteDC();
    bmp.DeleteObject();
  };
  free(m_hBackDC, m_BackBmp);
  free(m_hMemDC, m_MemBmp);
  for (std::size_t i = 0; i < m_hPressedDC.size(); ++i) free(m_hPressedDC[i], m_PressedBmp[i]);
  free(m_hPtzIconDC, m_PtzIconBmp);
  m_nPressedPTZ.store(-1);
  m_bPTZ_CH.store(0);
  m_bPTZMode.store(0);
}

void CDlg_SiteView::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_STATIC_VIEW_TITLE, m_TitleLabel);
  DDX_Control(pDX, IDC_STATIC_VIEW_STATUS, m_StatusLabel);
  DDX_Control(pDX, IDC_STATIC_VIEW_DATETIME, m_DateTimeLabel);
  DDX_Control(pDX, IDC_STATIC_VIEW_SIZE, m_SizeLabel);
}

bool CDlg_SiteView::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowText(u"Site View");
  SetWindowPos(HWND_TOP, 0, 52, 480, 696, SWP_SHOWWINDOW);
  GetClientRect(&m_rcWindow);
  DebugOut("# Site Registration Rect[%d,%d,%d,%d]\r\n", m_rcWindow.left, m_rcWindow.top, m_rcWindow.right,
           m_rcWindow.bottom);
  m_hViewWnd.store(GetSafeHwnd());
  m_Presenter.Clear();
  m_bReconnectPending = false;
  m_nReconnectFailures = 0;
  m_nResumeCH = std::exchange(m_nStartCH, -1);  // the first login opens it, as after a reconnect
  m_strNote.clear();
  if (CDvrSession* dvr = m_pCurr_DVR.load(); dvr && m_motionHooks.motionNow)
    m_nMotionMask = m_motionHooks.motionNow(dvr->m_strSiteName) & 0xFFFFu;
  // The render thread is stopped between runs: the watcher is set for this one.
  if (CDvrSession* dvr = m_pCurr_DVR.load(); dvr && m_motionHooks.watch)
    m_onPicture = m_motionHooks.watch(dvr->m_strSiteName);
  if (QWidget* widget = GetWidget()) {
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(widget, &QWidget::customContextMenuRequested, widget,
                     [this](const QPoint& at) { ShowPictureMenu(at); });
  }
  if (!m_pCurr_DVR.load()) return true;

  StartSessionView();
  SetupLabels();
  SetTimer(kTimerFullScreen, 10);
  SetTimer(kTimerVideoInfo, 1000);
  SetTimer(kTimerStatus, 50);
  return true;
}

void CDlg_SiteView::SetupLabels() {
  const std::array<std::pair<CTextLabel*, CRect>, 4> labels = {{{&m_TitleLabel, kTitleRect},
                                                                {&m_StatusLabel, kStatusRect},
                                                                {&m_DateTimeLabel, kDateTimeRect},
                                                                {&m_SizeLabel, kSizeRect}}};
  for (const auto& [label, rect] : labels) {
    label->MoveWindow(rect, true);
    label->SetForeColor(kLabelText);
    label->SetBackColor(kLabelBack);
    label->CreateLabelFont(25, 25, true);
    label->SetWindowText(u"");
  }
}

void CDlg_SiteView::SetStatus(int status) {
  m_nStatus.store(status);
  m_bStatusChanged = 1;
}

void CDlg_SiteView::OnTimer(UINT_PTR id) {
  if (id == kTimerStatus && m_bStatusChanged) {
    m_bStatusChanged = 0;
    const int status = m_nStatus.load();
    m_StatusLabel.SetWindowText(StatusText(status, m_nSwitchCH >= 0));
    Announce(m_StatusLabel.GetSafeHwnd(), m_StatusLabel.GetWindowText());
    if (status == ST_RECEIVING) {
      CDvrSession* dvr = m_pCurr_DVR.load();
      char number[16];
      std::snprintf(number, sizeof number, "[CH.%d]", dvr ? dvr->m_nCurrentCH.load() + 1 : 0);
      // The channel always shows; a long name gives way in its middle.
      m_TitleLabel.SetWindowText(m_TitleLabel.FitWithSuffix(dvr ? dvr->m_strSiteName : std::u16string(), Ascii(number)));
      ResetLastSeen();
    } else {
      m_TitleLabel.SetWindowText(u"");
      m_DateTimeLabel.SetWindowText(u"");
      m_SizeLabel.SetWindowText(u"");
      if (status == ST_NO_PERMISSION || status == ST_NO_CAMERA) {
        // The title picture replaces the last picture of the channel.
        m_Presenter.Clear();
        Invalidate(true);
      }
    }
    RefreshVideoCaption();
  } else if (id == kTimerVideoInfo && m_nStatus.load() != ST_RECEIVING) {
    CheckStall();
    RefreshVideoCaption();
  } else if (id == kTimerVideoInfo) {
    CheckStall();
    RefreshVideoCaption();
    if (m_bResChanged.exchange(0, std::memory_order_acquire)) {
      const std::u16string text = FormatPictureSize(m_wWidth.load(), m_wHeight.load());
      if (!text.empty()) m_SizeLabel.SetWindowText(text);
    }
    if (m_bTimeChanged.exchange(0, std::memory_order_acquire)) {
      const std::u16string text = FormatPictureTime(m_dwDate.load(), m_dwTime.load());
      if (!text.empty()) m_DateTimeLabel.SetWindowText(text);
    }
  } else if (id == kTimerFullScreen) {
    // The desktop has no start icon or input-panel button to hide.
    DebugOut("# VIEW SHFS_HIDESTARTICON\r\n");
    KillTimer(kTimerFullScreen);
  } else if (id == kTimerConnect) {
    OnConnectFailed("no answer from the DVR in time");
  } else if (id == kTimerOpen) {
    OnConnectFailed("no answer to the channel open or switch in time");
  } else if (id == kTimerKeyRelease) {
    OnKeyReleaseTimer();
  } else if (id == kTimerReconnect) {
    OnReconnectTimer();
  } else if (id == kTimerNote) {
    KillTimer(kTimerNote);
    m_strNote.clear();
    InvalidateVideo();
  }
  CDialog::OnTimer(id);
}

bool CDlg_SiteView::OnEraseBkgnd(CDC* dc) {
  DebugOut("# CDlg_SiteView::OnEraseBkgnd\r\n");
  return CDialog::OnEraseBkgnd(dc);
}

void CDlg_SiteView::CreateSurfaces(const CDC& reference) {
  const auto make = [&reference](CDC& dc, CBitmap& bmp, int id) {
    if (!dc.IsNull()) return;
    dc.CreateCompatibleDC(&reference);
    if (id > 0) bmp.LoadBitmap(static_cast<UINT>(id));
    else bmp.CreateCompatibleBitmap(&reference, kVideoWidth, kVideoHeight);
    // The title picture is painted on every expose: converted once to the
    // window's pixel format rather than on each copy.
    if (id == IDB_TITLE && !bmp.IsNull()) bmp.Attach(bmp.Image().convertToFormat(QImage::Format_RGB32));
    dc.SelectObject(&bmp);
  };
  if (m_bSurfacesReady.load(std::memory_order_acquire)) return;
  for (std::size_t i = 0; i < m_hPressedDC.size(); ++i)
    make(m_hPressedDC[i], m_PressedBmp[i], PtzOverlay(static_cast<int>(i)));
  make(m_hPtzIconDC, m_PtzIconBmp, IDB_PTZ_BADGE);
  make(m_hMemDC, m_MemBmp, 0);
  make(m_hBackDC, m_BackBmp, IDB_TITLE);
  // Published to the render thread once complete; read-only from now on.
  for (std::size_t i = 0; i < m_PressedBmp.size(); ++i)
    m_pPressed[i] = m_PressedBmp[i].IsNull() ? nullptr : &m_PressedBmp[i].Image();
  m_pPtzIcon = m_PtzIconBmp.IsNull() ? nullptr : &m_PtzIconBmp.Image();
  m_bSurfacesReady.store(1, std::memory_order_release);
}

int CDlg_SiteView::SurfaceCount() const {
  int n = 0;
  for (const CDC& dc : m_hPressedDC) n += dc.IsNull() ? 0 : 1;
  for (const CDC* dc : {&m_hPtzIconDC, &m_hMemDC, &m_hBackDC}) n += dc->IsNull() ? 0 : 1;
  return n;
}

void CDlg_SiteView::OnPaint() {
  CPaintDC dc(this);
  DebugOut("# CDlg_SiteView::OnPaint\r\n");
  CreateSurfaces(dc);
  const FramePresenter::Shown shown = m_Presenter.TakeShown();
  const FrameRef& source = shown.source;
  const std::u16string caption = StaleCaption(shown);
  m_strVideoCaption = caption;
  if (shown.picture.isNull()) {
    m_nPaintedOverlay = -1;
    m_bPaintedMotionMark = false;
    dc.FillRect(m_rcWindow, CBrush::Solid(0));
    if (caption.empty() && m_strNote.empty())
      dc.BitBlt(kVideoRect.left, kVideoRect.top, kVideoWidth, kVideoHeight, &m_hBackDC, 0, 0, SRCCOPY);
    else
      dc.CopyImage(kVideoRect.left, kVideoRect.top, WithCaption(m_BackBmp.Image(), caption, !caption.empty()));
    return;
  }
  // A picture that is no longer live never looks live, and the overlay of
  // a button no longer held is not shown.
  const bool redraw = !caption.empty() || (shown.overlay >= 0 && shown.overlay != m_nPressedPTZ.load());
  QImage picture = redraw ? Redraw(shown, caption) : shown.picture;
  if (!caption.empty() || !m_strNote.empty()) picture = WithCaption(picture, caption, !caption.empty());
  m_nPaintedOverlay = redraw ? -1 : shown.overlay;
  // The picture covers the video area: only the rest is filled.
  dc.FillRect({m_rcWindow.left, m_rcWindow.top, m_rcWindow.right, kVideoRect.top}, CBrush::Solid(0));
  dc.FillRect({m_rcWindow.left, kVideoRect.bottom, m_rcWindow.right, m_rcWindow.bottom}, CBrush::Solid(0));
  dc.CopyImage(kVideoRect.left, kVideoRect.top, picture);
  m_bPaintedMotionMark = MotionMarkShown();
  if (m_bPaintedMotionMark) dc.DrawImage(MotionMarkRect(), MotionMark());
  if (source && m_onPicturePainted && caption.empty()) m_onPicturePainted(*source);
}

std::u16string CDlg_SiteView::StaleCaption(const FramePresenter::Shown& shown) const {
  if (m_bReconnectPending) return ReconnectCaption();
  if (shown.picture.isNull()) return {};
  const int status = m_nStatus.load();
  if (status != ST_RECEIVING && status != ST_SWITCHING && status != ST_TRY_OPEN)
    return StatusText(status, m_nSwitchCH >= 0);
  const auto age = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                         shown.publishedAt).count();
  return age < kPictureStaleMs ? std::u16string() : FormatPictureAge(age);
}

QImage CDlg_SiteView::Redraw(const FramePresenter::Shown& shown, const std::u16string& caption) {
  if (shown.source != m_RedrawnSource) {
    m_RedrawnSource = shown.source;
    m_RedrawnPlain = QImage();
    if (!m_pDecoder) m_pDecoder = std::make_unique<PictureDecoder>(kVideoWidth, kVideoHeight);
    if (shown.source && shown.source->data)
      m_RedrawnPlain = m_pDecoder->Decode(shown.source->data, shown.source->size).copy();
  }
  QImage out(kVideoWidth, kVideoHeight, QImage::Format_RGB32);
  if (m_RedrawnPlain.isNull()) {
    out = shown.picture.copy();  // no frame to redraw from: the picture as it is
  } else if (caption.empty()) {
    ComposePicture(out, m_RedrawnPlain, *this);
  } else {
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(out.rect(), m_RedrawnPlain);
  }
  return out;
}

void CDlg_SiteView::RefreshVideoCaption() {
  if (StaleCaption(m_Presenter.Peek()) != m_strVideoCaption) InvalidateVideo();
}

void CDlg_SiteView::InvalidateVideo() { InvalidateRect(&kVideoRect, false); }

void CDlg_SiteView::ClearPictureLabels() {
  m_bResChanged.store(0);
  m_bTimeChanged.store(0);
  m_SizeLabel.SetWindowText(u"");
  m_DateTimeLabel.SetWindowText(u"");
}

void CDlg_SiteView::CheckStall() {
  CDvrSession* dvr = m_pCurr_DVR.load();
  const int status = m_nStatus.load();
  // Bytes, not whole messages: a slow link still delivering a large picture is alive.
  const std::uint64_t bytes = dvr ? dvr->BytesReceived() : 0;
  const bool waiting = status == ST_TRY_OPEN || status == ST_RECEIVING || status == ST_SWITCHING;
  if (!waiting || bytes != m_nLastBytes) {
    m_nLastBytes = bytes;
    m_nQuietMs = 0;
    return;
  }
  m_nQuietMs += 1000;
  if (m_nQuietMs < m_nStallTimeoutMs) return;
  m_nQuietMs = 0;
  OnConnectFailed("the DVR stopped sending");
}

void CDlg_SiteView::OnNewPicture() {
  InvalidateRect(&kVideoRect, false);
  UpdateWindow();  // paint now: the picture should not wait for the next idle moment
}

void CDlg_SiteView::OnClose() {
  DebugOut("# CDlg_SiteView::OnClose\r\n");
  CDialog::OnClose();
}

void CDlg_SiteView::PostNcDestroy() {
  SetStatus(ST_DISCONNECTED);
  StopRenderThread();
  m_onPicture = nullptr;  // the run's watcher ends: its clip is closed
  if (m_pCurr_DVR.load()) m_pCurr_DVR.load()->Disconnect();
  DestroyBtnCH();
  DestroyBtnPTZ();
  m_bPTZ_CH.store(0);
  m_bPTZMode.store(0);
  m_nPressedPTZ.store(-1);
  m_nMovingPtzCH = -1;
  m_nSwitchCH = -1;
  m_hViewWnd.store(0);
  m_Presenter.Clear();
  m_RedrawnSource.reset();
  m_RedrawnPlain = QImage();
  m_strVideoCaption.clear();
  m_bReconnectPending = false;
  m_nReconnectFailures = 0;
  m_nResumeCH = -1;
  m_strNote.clear();
  m_nMotionMask = 0;
  m_bPaintedMotionMark = false;
  DebugOut("# CDlg_SiteView::PostNcDestroy\r\n");
  CDialog::PostNcDestroy();
}

void CDlg_SiteView::StartRenderThread() { m_RenderThread.Start(); }
void CDlg_SiteView::StopRenderThread() { m_RenderThread.Stop(); }

}  // namespace lv
