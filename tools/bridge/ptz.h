#pragma once
// PTZ moves asked for from outside (HTTP, MQTT): what they say and how one
// move's outcome reaches the one who asked.
//
// A move is carried out on its channel feed's thread (ChannelFeed::Ptz) and
// is always followed by a stop that the bridge sends: when its time is up,
// when a newer move replaces it, when its asker goes away, when the bridge
// shuts down.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lvbridge {

inline constexpr double kPtzMaxSeconds = 2.0;
inline constexpr double kPtzDefaultSeconds = 0.5;  // a move that names no duration
inline constexpr std::uint8_t kPtzStop = 0;

// The DVR's control code for a move name ("left", "zoom-in", ...); nullopt for
// an unknown name.
std::optional<std::uint8_t> PtzCode(std::string_view move);

// Every move name PtzCode knows, in the order of their codes.
std::vector<std::string_view> PtzMoveNames();

struct PtzRequest {
  std::string move;
  std::uint8_t code = 0;
  double seconds = 0;
};

// Reads {"move":"left","duration":1.5}, move=left&duration=1.5 or "left 1.5"
// (the duration may be left out when defaultSeconds > 0). nullopt with *error
// set for an unknown move or a duration outside 0 < d <= 2 s.
std::optional<PtzRequest> ParsePtz(std::string_view body, double defaultSeconds, std::string* error);

// One move as its asker sees it. The feed's thread finishes it; the asker
// waits for that or cancels it.
class PtzMove {
 public:
  enum class Outcome { Pending, Done, Replaced, Cancelled, NoPtz, Failed };

  explicit PtzMove(PtzRequest request) : m_request(std::move(request)) {}
  const PtzRequest& Request() const { return m_request; }

  // Feed's thread. The first outcome stays; why explains a failure.
  void Finish(Outcome outcome, std::string why = {});
  // Any thread: waits at most timeout for an outcome; Pending when none yet.
  Outcome Wait(std::chrono::milliseconds timeout, std::string* why = nullptr);
  Outcome Current() const;

 private:
  const PtzRequest m_request;
  mutable std::mutex m_mutex;
  std::condition_variable m_finished;
  Outcome m_outcome = Outcome::Pending;
  std::string m_why;
};

}  // namespace lvbridge
