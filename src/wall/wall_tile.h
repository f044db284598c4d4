#pragma once
// One tile of a wall: a session of its own to the DVR for one channel, a
// decode thread that turns the channel's newest picture into one scaled for
// the tile, and the painting of that picture with the site's name, the
// channel, the status in words and, when no picture came for 2 s, its age.
//
// Threads: the session's state machine, the timers and the painting run on
// the widget's thread. The decode thread only takes frames from the
// session's channel list, decodes them and leaves the result under a lock
// with a flag; the wall looks at the flags at screen pace and repaints the
// tiles that have something new. The decode thread never touches a widget.
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "platform/core/message_target.h"
#include "session/dvr_session.h"
#include "session/site_fields.h"
#include "video/picture_watch.h"

namespace lv {

// How a tile paces its attempts; tests shorten them.
struct WallTiming {
  int backoffBaseMs = 1000;
  int backoffMaxMs = 30000;
  int refusedMs = 30000;  // the least wait after a refused login
  int stallMs = 10000;    // a step (connect, login, open, picture) with no answer this long ends the link
  int staleMs = 2000;     // no picture this long: the tile shows the picture's age
};

class WallTile : public QWidget {
 public:
  enum class Phase { Connecting, LoggingIn, Opening, Receiving, Waiting, Stopped };

  // channel: 0-based, or -1 for the first channel the user may open.
  WallTile(const SiteFields& site, int channel, const WallTiming& timing, QWidget* parent = nullptr);
  ~WallTile() override;
  WallTile(const WallTile&) = delete;
  WallTile& operator=(const WallTile&) = delete;

  // Called once, after the first successful login, with the session (the
  // wall reads the channels it may show from it).
  std::function<void(WallTile&, const CDvrSession&)> onFirstLogin;
  // Double-click or Enter: open this channel in the site view.
  std::function<void(WallTile&)> onOpen;
  // Told of each picture on the tile's decoding thread; set before Start.
  PictureWatch onPicture;

  void Start();
  // Ends the session and the decode thread; the tile shows "Disconnected".
  void Stop();

  // Whether pictures are decoded (false while the wall is hidden or minimised:
  // frames are still taken, so the DVR's stream never backs up, but dropped).
  void SetDecoding(bool on) { m_decodeWanted.store(on); }
  // Widget thread: true (once) when a new picture is ready to paint.
  bool TakeFresh() { return m_fresh.exchange(false); }
  // Widget thread, about twice a second: repaints when the age or countdown shows.
  void Tick();

  // Motion in the tile's channel: a red border and a red dot in the title
  // band while on. Repaints the tile only when it changes.
  void SetMotion(bool active);
  bool Motion() const { return m_motion; }

  const SiteFields& Site() const { return m_site; }
  int Channel() const { return m_channel.load(); }
  Phase CurrentPhase() const { return m_phase; }
  std::u16string StatusWords() const;
  // "No picture for N s" once the last picture is staleMs old; empty before.
  std::u16string AgeWords() const;
  // Read-outs for tests and the benchmark.
  std::uint64_t PicturesReceived() const { return m_received.load(); }
  std::uint64_t PicturesDecoded() const { return m_decoded.load(); }
  std::uint64_t PicturesPainted() const { return m_painted; }
  int Reconnects() const { return m_reconnects; }
  // Steady-clock nanoseconds when the painted picture was taken from the
  // session (0: none painted); the benchmark's latency.
  std::int64_t PaintedPictureTakenNs() const { return m_paintedTakenNs; }
  // Called on the widget thread when a new picture is painted, with the
  // frame it came in (the benchmark reads the send stamp).
  std::function<void(WallTile&, const FrameRecord&)> onPainted;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  using Clock = std::chrono::steady_clock;
  enum class Why { None, Refused, NoPermission, NoCamera, Dropped, Closed, NoAnswer, Failed };

  void OnMessage(std::uint32_t msg, WPARAM wParam, LPARAM lParam);
  void Connect();
  void Fail(Why why);
  void Enter(Phase phase);
  void Watchdog();
  void StartDecoder();
  void StopDecoder();
  void DecodeMain();
  void Announce();
  std::u16string Title() const;

  const SiteFields m_site;
  const WallTiming m_timing;
  std::atomic<int> m_channel;

  // Widget thread only.
  std::unique_ptr<CDvrSession> m_session;
  Phase m_phase = Phase::Stopped;
  Why m_why = Why::None;
  int m_failures = 0;
  int m_reconnects = 0;
  bool m_loggedInOnce = false;
  Clock::time_point m_progress;
  Clock::time_point m_retryAt;
  QTimer m_retryTimer;
  std::mt19937 m_random;
  std::uint64_t m_painted = 0;
  bool m_motion = false;
  std::int64_t m_paintedTakenNs = 0;

  // Shared with the decode thread.
  std::thread m_decoder;
  std::atomic<bool> m_decoderStop{true};
  std::atomic<bool> m_decodeWanted{true};
  std::atomic<int> m_targetWidth{1};
  std::atomic<int> m_targetHeight{1};
  std::atomic<bool> m_fresh{false};
  std::atomic<std::int64_t> m_lastPictureNs{0};  // steady clock; 0: none this run
  std::atomic<std::uint64_t> m_received{0};
  std::atomic<std::uint64_t> m_decoded{0};
  std::atomic<int> m_picturesThisRun{0};
  std::mutex m_pictureMutex;  // guards the two below
  QImage m_picture;           // scaled to fit the tile
  std::int64_t m_pictureTakenNs = 0;
  FrameRef m_pictureFrame;    // the message the picture came in

  MessageTarget m_target;  // last: its handler uses everything above
};

}  // namespace lv
