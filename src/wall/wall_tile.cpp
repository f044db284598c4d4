#include "wall/wall_tile.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <cstdio>

#include "net/soc_tcp.h"
#include "platform/core/async_socket.h"
#include "protocol/ids.h"
#include "protocol/text.h"
#include "video/picture_decoder.h"
#include "wall/wall_layout.h"

namespace lv {
namespace {

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::u16string Words(const char* text) { return Utf8ToUtf16(text); }

}  // namespace

WallTile::WallTile(const SiteFields& site, int channel, const WallTiming& timing, QWidget* parent)
    : QWidget(parent),
      m_site(site),
      m_timing(timing),
      m_channel(channel),
      m_random(std::random_device{}()),
      m_target([this](std::uint32_t m, WPARAM w, LPARAM l) { OnMessage(m, w, l); }) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  m_retryTimer.setSingleShot(true);
  QObject::connect(&m_retryTimer, &QTimer::timeout, this, [this] { Connect(); });
  Announce();
}

WallTile::~WallTile() { Stop(); }

void WallTile::Start() {
  m_failures = 0;
  Connect();
}

void WallTile::Stop() {
  m_retryTimer.stop();
  StopDecoder();
  if (m_session) m_session->Disconnect();
  m_session.reset();
  m_why = Why::None;
  Enter(Phase::Stopped);
}

void WallTile::Connect() {
  if (m_phase == Phase::Waiting) ++m_reconnects;
  if (!m_session) {
    m_session = std::make_unique<CDvrSession>(m_target.Handle());
    m_session->SetSite(m_site);
  }
  m_picturesThisRun = 0;  // the last picture's age carries over: it is what the tile shows
  m_why = Why::None;
  Enter(Phase::Connecting);
  if (!m_session->TryConnect_DVR()) Fail(Why::Failed);
}

void WallTile::OnMessage(std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
  (void)wParam;
  // Anything the session posted before it was last closed is stale, and so
  // is a socket's word about a socket that is no longer the session's.
  if (!m_session || m_phase == Phase::Waiting || m_phase == Phase::Stopped) return;
  const bool fromSocket = msg == WM_DVR_CONNECT_SOCKET || msg == WM_DVR_CONNECT_FAIL || msg == WM_DVR_CLOSE_SOCKET;
  if (fromSocket && lParam != reinterpret_cast<LPARAM>(m_session->Socket())) return;
  const auto result = static_cast<std::uint32_t>(lParam);
  switch (msg) {
    case WM_DVR_CONNECT_SOCKET:
      if (m_phase != Phase::Connecting) return;
      if (!m_session->BeginLogin()) return Fail(Why::Failed);
      return Enter(Phase::LoggingIn);
    case WM_DVR_CONNECT_FAIL: return Fail(Why::Failed);
    case WM_DVR_CLOSE_SOCKET: return Fail(m_phase == Phase::LoggingIn ? Why::Failed : Why::Dropped);
    case WM_DVR_REPLAY_LOGIN: {
      if (m_phase != Phase::LoggingIn) return;
      if (result != kResultOk) return Fail(Why::Refused);
      if (m_channel.load() < 0) m_channel = m_session->FirstChannelToOpen();
      if (!m_loggedInOnce) {
        m_loggedInOnce = true;
        if (onFirstLogin) onFirstLogin(*this, *m_session);
      }
      const int channel = m_channel.load();
      if (!m_session->MayOpen(channel)) return Fail(Why::NoCamera);
      StartDecoder();
      m_session->OpenChannel(static_cast<std::uint8_t>(channel));
      return Enter(Phase::Opening);
    }
    case WM_DVR_RESP_CH_OPEN:
      if (m_phase != Phase::Opening) return;
      if (result != kResultOk)
        return Fail(ResultReason(result) == kReasonNoPermission ? Why::NoPermission : Why::NoCamera);
      return Enter(Phase::Receiving);
    case WM_DVR_RESP_CH_CLOSE:
      if (m_phase == Phase::Receiving && result == kResultOk) Fail(Why::Closed);
      return;
    default: return;
  }
}

void WallTile::Fail(Why why) {
  m_session->Disconnect();
  if (m_picturesThisRun.load() > 0) m_failures = 0;
  ++m_failures;
  std::uniform_real_distribution<double> jitter(0.8, 1.2);
  const int delay = RetryDelayMs(m_failures, m_timing.backoffBaseMs, m_timing.backoffMaxMs, jitter(m_random),
                                 why == Why::Refused || why == Why::NoPermission, m_timing.refusedMs);
  m_why = why;
  m_retryAt = Clock::now() + std::chrono::milliseconds(delay);
  Enter(Phase::Waiting);
  m_retryTimer.start(delay);
}

void WallTile::Enter(Phase phase) {
  m_phase = phase;
  m_progress = Clock::now();
  Announce();
  update();
}

void WallTile::Tick() {
  Watchdog();
  const std::int64_t last = m_lastPictureNs.load();
  const bool stale = last == 0 || NowNs() - last >= std::int64_t{m_timing.staleMs} * 1'000'000;
  if (m_phase == Phase::Waiting || (m_phase == Phase::Receiving && stale)) update();
}

void WallTile::Watchdog() {
  if (m_phase == Phase::Stopped || m_phase == Phase::Waiting) return;
  auto since = m_progress;
  if (m_phase == Phase::Receiving) {
    const std::int64_t last = m_lastPictureNs.load();
    if (last != 0) since = std::max(since, Clock::time_point(std::chrono::nanoseconds(last)));
  }
  if (Clock::now() - since >= std::chrono::milliseconds(m_timing.stallMs)) Fail(Why::NoAnswer);
}

std::u16string WallTile::StatusWords() const {
  switch (m_phase) {
    case Phase::Connecting: return u"Trying to connect";
    case Phase::LoggingIn: return u"Trying to login";
    case Phase::Opening: return u"Trying to open";
    case Phase::Receiving: return u"Receiving data";
    case Phase::Stopped: return u"Disconnected";
    case Phase::Waiting: break;
  }
  std::u16string words;
  switch (m_why) {
    case Why::Refused: words = u"Check User Account"; break;
    case Why::NoPermission: words = u"No Permission"; break;
    case Why::NoCamera: words = u"No Camera"; break;
    case Why::Closed: words = u"Channel closed"; break;
    case Why::Dropped: words = u"Disconnected: link lost"; break;
    case Why::NoAnswer: words = u"Disconnected: no answer"; break;
    default: words = u"Disconnected"; break;
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_retryAt - Clock::now()).count();
  char retry[48];
  std::snprintf(retry, sizeof retry, "; retry in %lld s", std::max<long long>(0, (left + 999) / 1000));
  return words + Words(retry);
}

std::u16string WallTile::AgeWords() const {
  const std::int64_t last = m_lastPictureNs.load();
  if (last == 0) return {};
  const long long ageMs = (NowNs() - last) / 1'000'000;
  if (ageMs < m_timing.staleMs) return {};
  char text[48];
  std::snprintf(text, sizeof text, "No picture for %lld s", ageMs / 1000);
  return Words(text);
}

std::u16string WallTile::Title() const {
  const int channel = m_channel.load();
  char number[24];
  if (channel >= 0)
    std::snprintf(number, sizeof number, " [CH.%d]", channel + 1);
  else
    number[0] = '\0';
  return m_site.name + Words(number);
}

void WallTile::Announce() {
  setAccessibleName(QString::fromStdU16String(Title()));
  setAccessibleDescription(QString::fromStdU16String(StatusWords()) +
                           (m_motion ? QStringLiteral(", motion") : QString()));
}

void WallTile::SetMotion(bool active) {
  if (m_motion == active) return;
  m_motion = active;
  Announce();
  update();
}

// --- decoding ---

void WallTile::StartDecoder() {
  if (m_decoder.joinable()) return;
  m_decoderStop = false;
  m_decoder = std::thread([this] { DecodeMain(); });
}

void WallTile::StopDecoder() {
  if (!m_decoder.joinable()) return;
  m_decoderStop = true;
  m_session->WakeFrameWaiter();
  m_decoder.join();
}

void WallTile::DecodeMain() {
  CDvrSession& session = *m_session;
  const auto channel = static_cast<std::uint32_t>(m_channel.load());
  PictureDecoder decoder;
  while (!m_decoderStop.load()) {
    if (!session.WaitForFrame(200) || m_decoderStop.load()) continue;
    const ChannelRef record = session.m_ChannelTable.Find(channel);
    if (!record || !record->frames) continue;
    FrameRef frame;
    while (FrameRef next = record->frames->TakeHead())
      if (next->data && next->size > 0) frame = std::move(next);
    if (!frame) continue;
    const std::int64_t taken = NowNs();
    m_lastPictureNs = taken;
    ++m_picturesThisRun;
    ++m_received;
    if (!m_decodeWanted.load()) {
      if (onPicture) onPicture(*frame, nullptr);  // hidden: the watcher decodes what it needs
      continue;
    }
    const int width = m_targetWidth.load(), height = m_targetHeight.load();
    decoder.SetTarget(width, height);
    const QImage picture = decoder.Decode(frame->data, frame->size);
    if (picture.isNull()) continue;  // damaged: the last good picture stays
    if (onPicture) onPicture(*frame, &picture);
    const WallRect fit = FitPicture(picture.width(), picture.height(), {0, 0, width, height});
    if (fit.width <= 0 || fit.height <= 0) continue;
    // The decoder's buffer is reused: the scaled copy is what the painter keeps.
    QImage scaled = picture.scaled(fit.width, fit.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    {
      std::lock_guard lock(m_pictureMutex);
      m_picture = std::move(scaled);
      m_pictureTakenNs = taken;
      m_pictureFrame = frame;
    }
    ++m_decoded;
    m_fresh = true;
  }
}

// --- widget ---

void WallTile::resizeEvent(QResizeEvent* e) {
  m_targetWidth = std::max(1, width());
  m_targetHeight = std::max(1, height());
  QWidget::resizeEvent(e);
}

void WallTile::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  QImage picture;
  std::int64_t taken = 0;
  FrameRef frame;
  {
    std::lock_guard lock(m_pictureMutex);
    picture = m_picture;  // shares the pixels
    taken = m_pictureTakenNs;
    frame = m_pictureFrame;
  }
  if (!picture.isNull()) {
    const WallRect fit = FitPicture(picture.width(), picture.height(), {0, 0, width(), height()});
    p.drawImage(QRect(fit.x, fit.y, fit.width, fit.height), picture);
    if (taken != m_paintedTakenNs) {
      ++m_painted;
      m_paintedTakenNs = taken;
      if (onPainted && frame) onPainted(*this, *frame);
    }
  }
  const std::int64_t last = m_lastPictureNs.load();
  const long long ageMs = last == 0 ? -1 : (NowNs() - last) / 1'000'000;
  const bool live = m_phase == Phase::Receiving && ageMs >= 0 && ageMs < m_timing.staleMs;
  if (!live && !picture.isNull()) p.fillRect(rect(), QColor(0, 0, 0, 150));  // a picture that is not live is dimmed

  QFont font = p.font();
  font.setPixelSize(std::clamp(height() / 14, 10, 18));
  p.setFont(font);
  const int band = font.pixelSize() + 8;
  p.fillRect(QRect(0, 0, width(), band), QColor(0, 0, 0, 160));
  p.fillRect(QRect(0, height() - band, width(), band), QColor(0, 0, 0, 160));
  p.setPen(Qt::white);
  p.drawText(QRect(6, 0, width() - 12 - (m_motion ? band : 0), band), Qt::AlignVCenter | Qt::AlignLeft,
             QString::fromStdU16String(Title()));
  const bool good = m_phase == Phase::Receiving;
  p.setPen(good ? QColor(140, 230, 140) : QColor(255, 170, 90));
  p.drawText(QRect(6, height() - band, width() - 12, band), Qt::AlignVCenter | Qt::AlignLeft,
             QString::fromStdU16String(StatusWords()));
  if (picture.isNull()) {
    // Nothing to show yet: the status, large, so a site that is down stands out.
    p.setPen(good ? Qt::white : QColor(255, 170, 90));
    p.drawText(rect().adjusted(6, band, -6, -band), Qt::AlignCenter | Qt::TextWordWrap,
               QString::fromStdU16String(StatusWords()));
  } else if (const std::u16string age = AgeWords(); !age.empty()) {
    p.setPen(Qt::yellow);
    p.drawText(rect(), Qt::AlignCenter, QString::fromStdU16String(age));
  }
  if (m_motion) {
    // Inside the focus mark, so both show; the dot stays when the border is busy.
    p.setPen(QPen(QColor(230, 30, 30), 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(5, 5, -6, -6));
    const int d = band - 10;
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(QColor(230, 30, 30));
    p.drawEllipse(QRectF(width() - 8 - d, 5, d, d));
    p.setRenderHint(QPainter::Antialiasing, false);
  }
  if (hasFocus()) {
    p.setPen(QPen(QColor(80, 160, 255), 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(1, 1, -2, -2));
  }
}

void WallTile::mouseDoubleClickEvent(QMouseEvent*) {
  if (onOpen) onOpen(*this);
}

void WallTile::keyPressEvent(QKeyEvent* e) {
  if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && onOpen) return onOpen(*this);
  QWidget::keyPressEvent(e);
}

void WallTile::focusInEvent(QFocusEvent* e) {
  update();
  QWidget::focusInEvent(e);
}

void WallTile::focusOutEvent(QFocusEvent* e) {
  update();
  QWidget::focusOutEvent(e);
}

}  // namespace lv
