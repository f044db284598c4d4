#pragma once
// One DVR channel as the bridge serves it: a session of its own, opened when
// the first viewer arrives and closed a grace period after the last leaves,
// kept alive by reconnecting with exponential backoff when the link drops,
// the connect is refused or the pictures stall.
//
// Threads: the session, its timers and the state machine run on the thread
// that made the feed (Qt Core's event loop). A pump thread of the feed moves
// each picture from the session's channel list to the viewers. HTTP threads
// subscribe, wait for pictures and read the status; they reach the state
// machine only by posting to the feed's window.
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "motion/channel_motion.h"
#include "platform/core/message_target.h"
#include "ptz.h"
#include "session/channel_table.h"
#include "session/dvr_session.h"

namespace lvbridge {

using Clock = std::chrono::steady_clock;

// How the bridge paces its sessions; tests shorten them.
struct Timing {
  int backoffBaseMs = 1000;   // first wait before a reconnect
  int backoffMaxMs = 30000;   // the longest wait
  int stallMs = 5000;         // no progress (connect, login, open, picture) this long: reconnect
  int graceMs = 10000;        // a session stays open this long after its last viewer left
  int snapshotWaitMs = 10000; // a snapshot waits this long for the first picture
  int loginRetryMs = 300000;  // after a refused login no session of the site logs in for this long
  int staleMs = 10000;        // a snapshot older than this is refused unless asked for as stale
};

// Where a site is and how to log in. The password is kept for the session only.
struct SiteConfig {
  std::string name;
  std::string address;
  int port = 0;
  std::string user;
  std::string password;
};

// What logins taught about a site; shared by its channel feeds.
struct SiteInfo {
  std::atomic<int> channelCount{0};        // 0 until a login reply came
  std::atomic<std::uint32_t> cameraMask{0};  // bit i = channel i has a camera
  std::atomic<std::uint32_t> ptzMask{0};     // bit i = channel i has a PTZ camera
  // Steady-clock nanoseconds until which no session of the site logs in
  // again: a DVR may lock an account that keeps trying a wrong password.
  std::atomic<std::int64_t> loginRefusedUntilNs{0};

  // Why the site takes no viewers now ("" when it does), and for how long.
  std::string LoginRefusal(Clock::time_point now) const;
};

// One picture as the DVR sent it: the JPEG stays in the received message.
struct Picture {
  lv::FrameRef frame;
  std::uint64_t sequence = 0;  // 1 for the feed's first picture, then +1
  Clock::time_point arrived;
  std::chrono::system_clock::time_point wallArrived;  // for clients: X-Timestamp, Last-Modified
  const std::uint8_t* data() const { return frame->data; }
  std::size_t size() const { return frame->size; }
};

struct FeedStatus {
  std::string text;
  double picturesPerSecond = 0;
  long long newestAgeMs = -1;  // -1: no picture yet
  int viewers = 0;
  int reconnects = 0;
  bool used = false;  // ever asked for
};

class ChannelFeed {
 public:
  // channel is 0-based. Must be made on the thread that runs the event loop.
  ChannelFeed(const SiteConfig& site, std::shared_ptr<SiteInfo> info, int channel, const Timing& timing);
  ~ChannelFeed();
  ChannelFeed(const ChannelFeed&) = delete;
  ChannelFeed& operator=(const ChannelFeed&) = delete;

  // Any thread. A viewer counts from Subscribe until its Unsubscribe.
  void Subscribe();
  void Unsubscribe();
  // Any thread. The newest picture newer than afterSequence, waiting at most
  // timeout for one; null when none came or Wake() was called.
  std::shared_ptr<const Picture> WaitNewer(std::uint64_t afterSequence, std::chrono::milliseconds timeout);
  // Any thread: releases every WaitNewer caller (shutdown).
  void Wake();
  // Counts the times the feed ended its viewers (a login showed the channel
  // has no camera): a viewer that saw the count change is done.
  std::uint64_t Ends() const { return m_ends.load(); }
  // Why the site takes no viewers now; "" when it does.
  std::string LoginRefusal() const { return m_info->LoginRefusal(Clock::now()); }
  FeedStatus Status() const;
  int Channel() const { return m_channel; }

  // Owner's thread: closes the session now, whoever watches (shutdown).
  void Shutdown();
  // Owner's thread, before the feed first connects: watches the channel's
  // pictures for motion (on the pump thread), which keeps the session open
  // without viewers; the watcher counts as one in the status.
  void Watch(std::unique_ptr<lv::ChannelMotion> motion);

  // Any thread: hands a move to the feed's thread, which logs in first when
  // no session is open and keeps the session while the move lasts. The feed
  // finishes the move; its stop always follows (see ptz.h).
  void Ptz(std::shared_ptr<PtzMove> move);
  // Any thread: the asker went away; the move stops now.
  void CancelPtz(const std::shared_ptr<PtzMove>& move);

  // Any thread: a login showed that the channel has no PTZ camera.
  bool KnownWithoutPtz() const {
    return m_info->channelCount.load() > 0 && !(m_info->ptzMask.load() & (1u << m_channel));
  }
  // Any thread: the newest picture there is, however old; null when none.
  std::shared_ptr<const Picture> Newest() const;

 private:
  enum class Phase { Idle, Connecting, LoggingIn, Opening, Streaming, Waiting };

  void OnMessage(std::uint32_t msg, lv::WPARAM wParam, lv::LPARAM lParam);
  void Demand();
  void GraceOver();
  void Connect();
  // Waits delayMs before the next attempt; the backoff's time when negative.
  void Fail(const std::string& reason, int delayMs = -1);
  void Close(const std::string& text);
  void EndViewers(const std::string& reason);
  void Watchdog();
  void Enter(Phase phase, const std::string& text);
  void StartPump();
  void StopPump();
  void PumpMain();
  void Publish(lv::FrameRef frame);
  // PTZ, owner's thread.
  bool LoggedIn() const { return m_phase == Phase::Opening || m_phase == Phase::Streaming; }
  void PtzInbox();
  void PtzBegin(std::shared_ptr<PtzMove> move);
  void PtzSendStop(const char* why);
  void PtzEnd();
  void PtzAfterLogin();
  void PtzLinkLost(const std::string& reason);
  void PtzSessionClosing(const std::string& text);
  void PtzRelease();
  std::string StatusText() const;

  const SiteConfig m_site;
  const std::shared_ptr<SiteInfo> m_info;
  const int m_channel;
  const Timing m_timing;

  // Owner's thread only.
  std::unique_ptr<lv::CDvrSession> m_session;
  Phase m_phase = Phase::Idle;
  int m_failures = 0;  // consecutive failed attempts, for the backoff
  Clock::time_point m_progress;  // last step forward of the current attempt
  QTimer m_retryTimer;
  QTimer m_graceTimer;
  QTimer m_watchdog;
  std::mt19937 m_random;
  std::unique_ptr<lv::ChannelMotion> m_motion;  // read by the pump thread only
  std::thread m_pump;
  std::shared_ptr<PtzMove> m_ptzCurrent;  // moving now; its stop is owed
  std::shared_ptr<PtzMove> m_ptzPending;  // waits for a login
  bool m_ptzStopOwed = false;             // the link dropped mid-move: stop after the next login
  bool m_ptzHold = false;                 // the feed counts itself a viewer while PTZ needs the session
  QTimer m_ptzTimer;                      // the current move's time
  QTimer m_ptzWaitTimer;                  // how long a pending move waits for a login

  std::atomic<int> m_viewers{0};
  std::atomic<int> m_reconnects{0};
  std::atomic<bool> m_used{false};
  std::atomic<bool> m_pumpStop{true};
  std::atomic<std::int64_t> m_lastPictureNs{0};  // steady clock, for the watchdog
  std::atomic<int> m_picturesThisAttempt{0};
  std::atomic<std::uint64_t> m_ends{0};

  // Guards the newest picture, the arrival times and the status text.
  mutable std::mutex m_mutex;
  std::condition_variable m_newPicture;
  std::shared_ptr<const Picture> m_newest;
  std::uint64_t m_sequence = 0;
  std::uint64_t m_wakeups = 0;
  std::deque<Clock::time_point> m_arrivals;  // the last two seconds
  std::string m_statusText = "Idle";
  std::vector<std::shared_ptr<PtzMove>> m_ptzInbox;  // handed over by other threads

  lv::MessageTarget m_window;  // last: its handler uses everything above
};

}  // namespace lvbridge
