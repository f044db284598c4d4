#include "feed.h"

#include "bridge.h"
#include "log.h"

#include <algorithm>

#include "platform/core/async_socket.h"
#include "platform/core/sync.h"
#include "protocol/ids.h"
#include "protocol/text.h"

namespace lvbridge {
namespace {

// Posted by HTTP threads to the feed's window.
constexpr std::uint32_t kMsgDemand = 0x9001;
constexpr std::uint32_t kMsgRelease = 0x9002;
constexpr std::uint32_t kMsgPtz = 0x9003;
// A stop queued as the session closes gets this long to leave.
constexpr int kFlushMs = 500;

constexpr std::chrono::seconds kRateWindow{2};

std::int64_t Nanos(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

std::string Seconds(int ms) { return OneDecimal(ms / 1000.0) + " s"; }

}  // namespace

std::string SiteInfo::LoginRefusal(Clock::time_point now) const {
  const std::int64_t left = loginRefusedUntilNs.load() - Nanos(now);
  if (left <= 0) return {};
  return "The DVR refused the login (user or password); no new login for " +
         std::to_string((left + 999999999) / 1000000000) + " s";
}

ChannelFeed::ChannelFeed(const SiteConfig& site, std::shared_ptr<SiteInfo> info, int channel, const Timing& timing)
    : m_site(site),
      m_info(std::move(info)),
      m_channel(channel),
      m_timing(timing),
      m_random(std::random_device{}()),
      m_window([this](std::uint32_t m, lv::WPARAM w, lv::LPARAM l) { OnMessage(m, w, l); }) {
  m_retryTimer.setSingleShot(true);
  QObject::connect(&m_retryTimer, &QTimer::timeout, [this] { Connect(); });
  m_graceTimer.setSingleShot(true);
  QObject::connect(&m_graceTimer, &QTimer::timeout, [this] { GraceOver(); });
  m_watchdog.setInterval(std::clamp(m_timing.stallMs / 5, 10, 500));
  QObject::connect(&m_watchdog, &QTimer::timeout, [this] { Watchdog(); });
  m_ptzTimer.setSingleShot(true);
  QObject::connect(&m_ptzTimer, &QTimer::timeout, [this] {
    PtzSendStop("its time is up");
    PtzEnd();
  });
  m_ptzWaitTimer.setSingleShot(true);
  QObject::connect(&m_ptzWaitTimer, &QTimer::timeout, [this] {
    if (m_ptzPending) m_ptzPending->Finish(PtzMove::Outcome::Failed, "No login to the DVR in time (" + StatusText() + ")");
    m_ptzPending.reset();
    PtzRelease();
  });
}

ChannelFeed::~ChannelFeed() { Shutdown(); }

void ChannelFeed::Subscribe() {
  m_used = true;
  m_viewers.fetch_add(1);
  lv::PostMessage(m_window.Handle(), kMsgDemand, 0, 0);
}

void ChannelFeed::Unsubscribe() {
  if (m_viewers.fetch_sub(1) == 1) lv::PostMessage(m_window.Handle(), kMsgRelease, 0, 0);
}

std::shared_ptr<const Picture> ChannelFeed::WaitNewer(std::uint64_t afterSequence, std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  const std::uint64_t wakeups = m_wakeups;
  m_newPicture.wait_for(lock, timeout, [&] {
    return (m_newest && m_newest->sequence > afterSequence) || m_wakeups != wakeups;
  });
  if (m_wakeups != wakeups || !m_newest || m_newest->sequence <= afterSequence) return nullptr;
  return m_newest;
}

void ChannelFeed::Wake() {
  {
    std::lock_guard lock(m_mutex);
    ++m_wakeups;
  }
  m_newPicture.notify_all();
}

FeedStatus ChannelFeed::Status() const {
  FeedStatus s;
  const auto now = Clock::now();
  {
    std::lock_guard lock(m_mutex);
    s.text = m_statusText;
    const auto recent = std::count_if(m_arrivals.begin(), m_arrivals.end(),
                                      [&](Clock::time_point t) { return now - t <= kRateWindow; });
    s.picturesPerSecond = static_cast<double>(recent) / std::chrono::duration<double>(kRateWindow).count();
    if (m_newest)
      s.newestAgeMs = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_newest->arrived).count();
  }
  s.viewers = m_viewers.load();
  s.reconnects = m_reconnects.load();
  s.used = m_used.load();
  return s;
}

void ChannelFeed::OnMessage(std::uint32_t msg, lv::WPARAM wParam, lv::LPARAM lParam) {
  const auto result = static_cast<std::uint32_t>(lParam);
  switch (msg) {
    case kMsgDemand: Demand(); return;
    case kMsgRelease:
      if (m_viewers.load() == 0 && m_phase != Phase::Idle) m_graceTimer.start(m_timing.graceMs);
      return;
    case kMsgPtz: PtzInbox(); return;
    default: break;
  }
  // Anything the session posted before it was last closed is stale, and so
  // is a socket's word about a socket that is no longer the session's.
  if (m_phase == Phase::Idle || m_phase == Phase::Waiting) return;
  const bool fromSocket =
      msg == lv::WM_DVR_CONNECT_SOCKET || msg == lv::WM_DVR_CONNECT_FAIL || msg == lv::WM_DVR_CLOSE_SOCKET;
  if (fromSocket && lParam != reinterpret_cast<lv::LPARAM>(m_session->Socket())) return;
  switch (msg) {
    case lv::WM_DVR_CONNECT_SOCKET:
      if (m_phase != Phase::Connecting) return;
      if (!m_session->BeginLogin()) return Fail("The session could not start");
      Enter(Phase::LoggingIn, "Logging in");
      return;
    case lv::WM_DVR_CONNECT_FAIL:
      return Fail(wParam == static_cast<lv::WPARAM>(lv::kErrConnRefused)
                      ? "Connection refused"
                      : "Connection failed (error " + std::to_string(wParam) + ")");
    case lv::WM_DVR_CLOSE_SOCKET: return Fail("Link lost");
    case lv::WM_DVR_REPLAY_LOGIN: {
      if (m_phase != Phase::LoggingIn) return;
      if (result != lv::kResultOk) {
        // Trying again soon could lock the account: every channel of the site waits.
        m_info->loginRefusedUntilNs = Nanos(Clock::now() + std::chrono::milliseconds(m_timing.loginRetryMs));
        return Fail("Login refused", m_timing.loginRetryMs);
      }
      m_info->cameraMask = m_session->CameraMask();
      std::uint32_t ptz = 0;
      for (int ch = 0; ch < lv::kMaxChannels; ++ch) ptz |= m_session->IsPtzCamera(ch) ? 1u << ch : 0u;
      m_info->ptzMask = ptz;
      m_info->channelCount = m_session->ChannelCount();
      Enter(Phase::Opening, "Logged in");
      PtzAfterLogin();
      if (!m_session->HasCamera(m_channel)) return EndViewers("No camera on channel " + std::to_string(m_channel + 1));
      m_session->OpenChannel(static_cast<std::uint8_t>(m_channel));
      Enter(Phase::Opening, "Opening channel");
      return;
    }
    case lv::WM_DVR_RESP_CH_OPEN:
      if (m_phase != Phase::Opening) return;
      if (result != lv::kResultOk && lv::ResultReason(result) == lv::kReasonNoPermission)
        return Fail("No permission for this channel");
      if (result != lv::kResultOk) return EndViewers("No camera on channel " + std::to_string(m_channel + 1));
      Enter(Phase::Streaming, "Streaming");
      return;
    case lv::WM_DVR_RESP_CH_CLOSE:
      if (m_phase == Phase::Streaming && result == lv::kResultOk) Fail("Channel closed by the DVR");
      return;
    default: return;
  }
}

void ChannelFeed::Demand() {
  m_graceTimer.stop();
  if (m_phase == Phase::Idle && m_viewers.load() > 0) {
    m_failures = 0;
    Connect();
  }
}

void ChannelFeed::GraceOver() {
  if (m_viewers.load() == 0) Close("Idle");
}

void ChannelFeed::Connect() {
  const std::int64_t refusedFor = m_info->loginRefusedUntilNs.load() - Nanos(Clock::now());
  if (refusedFor > 0) {
    // Another channel's login was refused: this one waits as long.
    const int delay = static_cast<int>(refusedFor / 1000000) + 1;
    if (m_session) m_session->Disconnect();
    m_watchdog.stop();
    Enter(Phase::Waiting, "Login refused; next login in " + Seconds(delay));
    m_retryTimer.start(delay);
    return;
  }
  if (m_phase == Phase::Waiting) ++m_reconnects;
  if (!m_session) {
    m_session = std::make_unique<lv::CDvrSession>(m_window.Handle());
    m_session->SetSite({lv::Utf8ToUtf16(m_site.name), lv::Utf8ToUtf16(m_site.address), m_site.port,
                        lv::Utf8ToUtf16(m_site.user), lv::Utf8ToUtf16(m_site.password)});
  }
  StartPump();
  m_picturesThisAttempt = 0;
  Enter(Phase::Connecting, "Connecting");
  m_watchdog.start();
  if (!m_session->TryConnect_DVR()) Fail("Address lookup failed");
}

void ChannelFeed::Fail(const std::string& reason, int delayMs) {
  PtzLinkLost(reason);
  m_session->Disconnect();
  if (m_picturesThisAttempt.load() > 0) m_failures = 0;
  ++m_failures;
  if (m_viewers.load() == 0 && !m_graceTimer.isActive()) return Close("Idle");
  const int shift = std::min(m_failures - 1, 16);
  const long long base = std::min<long long>(static_cast<long long>(m_timing.backoffBaseMs) << shift,
                                             m_timing.backoffMaxMs);
  // Up to a fifth either way, so bridges (and channels) that lost the same DVR
  // do not all knock again at the same moment.
  std::uniform_real_distribution<double> jitter(0.8, 1.2);
  const int delay =
      delayMs >= 0 ? delayMs : static_cast<int>(std::min<double>(base * jitter(m_random), m_timing.backoffMaxMs));
  m_watchdog.stop();
  Enter(Phase::Waiting, reason + "; reconnecting in " + Seconds(delay));
  Log(m_site.name + " channel " + std::to_string(m_channel + 1) + ": " + reason + "; reconnecting in " +
          Seconds(delay),
      Priority::Warning);
  m_retryTimer.start(delay);
}

void ChannelFeed::Close(const std::string& text) {
  m_retryTimer.stop();
  m_graceTimer.stop();
  m_watchdog.stop();
  StopPump();
  PtzSessionClosing(text);
  if (m_session) m_session->Disconnect();
  {
    std::lock_guard lock(m_mutex);
    m_newest.reset();  // a later viewer must not get a picture from this run
    m_arrivals.clear();
  }
  Enter(Phase::Idle, text);
}

void ChannelFeed::EndViewers(const std::string& reason) {
  Close(reason);
  Log(m_site.name + ": " + reason + "; its viewers are ended", Priority::Error);
  m_ends.fetch_add(1);
  Wake();
}

void ChannelFeed::Watch(std::unique_ptr<lv::ChannelMotion> motion) {
  if (m_motion || !motion) return;
  m_motion = std::move(motion);
  Subscribe();
}

void ChannelFeed::Shutdown() {
  Close("Stopped");
  m_session.reset();
}

void ChannelFeed::Watchdog() {
  const auto now = Clock::now();
  auto since = m_progress;
  if (m_phase == Phase::Streaming) {
    const Clock::time_point lastPicture(
        std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(m_lastPictureNs.load())));
    since = std::max(since, lastPicture);
  }
  if (now - since < std::chrono::milliseconds(m_timing.stallMs)) return;
  switch (m_phase) {
    case Phase::Connecting: return Fail("No answer to the connect");
    case Phase::LoggingIn: return Fail("No answer to the login");
    case Phase::Opening: return Fail("No answer to the channel open");
    case Phase::Streaming: return Fail("No picture for " + Seconds(m_timing.stallMs));
    default: return;
  }
}

void ChannelFeed::Enter(Phase phase, const std::string& text) {
  m_phase = phase;
  m_progress = Clock::now();
  std::lock_guard lock(m_mutex);
  m_statusText = text;
}

void ChannelFeed::StartPump() {
  if (m_pump.joinable()) return;
  m_pumpStop = false;
  if (!lv::StartThread(m_pump, [this] { PumpMain(); })) m_pumpStop = true;  // tried again at the next connect
}

void ChannelFeed::StopPump() {
  if (!m_pump.joinable()) return;
  m_pumpStop = true;
  m_session->WakeFrameWaiter();
  m_pump.join();
}

void ChannelFeed::PumpMain() {
  lv::CDvrSession& session = *m_session;
  while (!m_pumpStop.load()) {
    if (!session.WaitForFrame(200) || m_pumpStop.load()) continue;
    const lv::ChannelRef record = session.m_ChannelTable.Find(static_cast<std::uint32_t>(m_channel));
    if (!record || !record->frames) continue;
    while (lv::FrameRef frame = record->frames->TakeHead()) {
      if (!frame->data || frame->size == 0) continue;
      const lv::FrameRef watched = m_motion ? frame : nullptr;
      Publish(std::move(frame));
      // After the viewers have it: watching never delays a picture.
      if (watched) {
        using namespace std::chrono;
        m_motion->OnPicture(watched->data, watched->size,
                            duration_cast<microseconds>(system_clock::now().time_since_epoch()).count(),
                            duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
      }
    }
  }
}

void ChannelFeed::Publish(lv::FrameRef frame) {
  auto picture = std::make_shared<Picture>();
  picture->frame = std::move(frame);
  picture->arrived = Clock::now();
  picture->wallArrived = std::chrono::system_clock::now();
  m_lastPictureNs = Nanos(picture->arrived);
  ++m_picturesThisAttempt;
  {
    std::lock_guard lock(m_mutex);
    picture->sequence = ++m_sequence;
    m_arrivals.push_back(picture->arrived);
    while (!m_arrivals.empty() && picture->arrived - m_arrivals.front() > kRateWindow) m_arrivals.pop_front();
    m_newest = std::move(picture);
  }
  m_newPicture.notify_all();
}

std::shared_ptr<const Picture> ChannelFeed::Newest() const {
  std::lock_guard lock(m_mutex);
  return m_newest;
}

// --- PTZ (owner's thread except Ptz and CancelPtz) ---

void ChannelFeed::Ptz(std::shared_ptr<PtzMove> move) {
  {
    std::lock_guard lock(m_mutex);
    m_ptzInbox.push_back(std::move(move));
  }
  lv::PostMessage(m_window.Handle(), kMsgPtz, 0, 0);
}

void ChannelFeed::CancelPtz(const std::shared_ptr<PtzMove>& move) {
  move->Finish(PtzMove::Outcome::Cancelled);
  lv::PostMessage(m_window.Handle(), kMsgPtz, 0, 0);
}

void ChannelFeed::PtzInbox() {
  std::vector<std::shared_ptr<PtzMove>> arrived;
  {
    std::lock_guard lock(m_mutex);
    arrived.swap(m_ptzInbox);
  }
  // A move whose asker left stops at once.
  if (m_ptzCurrent && m_ptzCurrent->Current() != PtzMove::Outcome::Pending) {
    PtzSendStop("its asker went away");
    PtzEnd();
  }
  if (m_ptzPending && m_ptzPending->Current() != PtzMove::Outcome::Pending) m_ptzPending.reset();
  for (auto& move : arrived) {
    if (move->Current() != PtzMove::Outcome::Pending) continue;
    if (!m_ptzHold) {
      m_ptzHold = true;
      Subscribe();
    }
    if (LoggedIn()) {
      PtzBegin(std::move(move));
      continue;
    }
    // Only the newest move waits for the login.
    if (m_ptzPending) m_ptzPending->Finish(PtzMove::Outcome::Replaced);
    m_ptzPending = std::move(move);
    m_ptzWaitTimer.start(m_timing.snapshotWaitMs);
  }
  PtzRelease();
}

void ChannelFeed::PtzBegin(std::shared_ptr<PtzMove> move) {
  if (!m_session->IsPtzCamera(m_channel)) {
    move->Finish(PtzMove::Outcome::NoPtz, "No PTZ camera on channel " + std::to_string(m_channel + 1));
    return;
  }
  const std::uint8_t code = move->Request().code;
  if (m_ptzCurrent) {
    // A newer move replaces the one under way. The same move goes on without
    // a pause (only its time starts again); another move is preceded by a stop,
    // so that a camera that cannot take two commands at once is never left moving
    // the old way.
    if (m_ptzCurrent->Request().code != code) PtzSendStop("a newer move replaces it");
    m_ptzCurrent->Finish(PtzMove::Outcome::Replaced);
  }
  m_session->CMD_PTZ_Control(static_cast<std::uint8_t>(m_channel), code);
  m_ptzCurrent = std::move(move);
  m_ptzTimer.start(static_cast<int>(m_ptzCurrent->Request().seconds * 1000 + 0.5));
}

void ChannelFeed::PtzSendStop(const char* why) {
  if (!m_session || !LoggedIn()) return;
  Log(m_site.name + " channel " + std::to_string(m_channel + 1) + ": PTZ stop, " + why);
  m_session->CMD_PTZ_Control(static_cast<std::uint8_t>(m_channel), kPtzStop);
}

void ChannelFeed::PtzEnd() {
  m_ptzTimer.stop();
  if (m_ptzCurrent) m_ptzCurrent->Finish(PtzMove::Outcome::Done);
  m_ptzCurrent.reset();
  PtzRelease();
}

void ChannelFeed::PtzAfterLogin() {
  if (m_ptzStopOwed) {
    PtzSendStop("the link dropped during a move");
    m_ptzStopOwed = false;
  }
  if (m_ptzPending) {
    m_ptzWaitTimer.stop();
    PtzBegin(std::exchange(m_ptzPending, nullptr));
  }
  PtzRelease();
}

void ChannelFeed::PtzLinkLost(const std::string& reason) {
  if (!m_ptzCurrent) return;
  // The DVR may go on moving the camera: the stop goes out after the next login.
  m_ptzStopOwed = LoggedIn() || m_ptzStopOwed;
  m_ptzTimer.stop();
  m_ptzCurrent->Finish(PtzMove::Outcome::Failed, reason);
  m_ptzCurrent.reset();
}

void ChannelFeed::PtzSessionClosing(const std::string& text) {
  if (m_ptzCurrent || m_ptzStopOwed) {
    PtzSendStop("the session closes");
    // The session drops queued requests when it stops: let the stop leave first.
    for (int i = 0; i < kFlushMs && m_session && m_session->QueuedRequests() > 0 && m_session->SendThreadRunning(); ++i)
      lv::SleepMs(1);
  }
  m_ptzTimer.stop();
  m_ptzWaitTimer.stop();
  m_ptzStopOwed = false;
  if (m_ptzCurrent) m_ptzCurrent->Finish(PtzMove::Outcome::Failed, text);
  if (m_ptzPending) m_ptzPending->Finish(PtzMove::Outcome::Failed, text);
  m_ptzCurrent.reset();
  m_ptzPending.reset();
  if (m_ptzHold) {
    m_ptzHold = false;
    Unsubscribe();
  }
}

void ChannelFeed::PtzRelease() {
  if (!m_ptzHold || m_ptzCurrent || m_ptzPending || m_ptzStopOwed) return;
  m_ptzHold = false;
  Unsubscribe();
}

std::string ChannelFeed::StatusText() const {
  std::lock_guard lock(m_mutex);
  return m_statusText;
}

}  // namespace lvbridge
