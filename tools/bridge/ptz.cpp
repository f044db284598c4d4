#include "ptz.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <utility>

namespace lvbridge {
namespace {

// The same codes the site view's PTZ buttons send.
constexpr std::array<std::pair<std::string_view, std::uint8_t>, 14> kMoves = {{
    {"left", 1},       {"right", 2},     {"up", 3},          {"down", 4},         {"up-left", 5},
    {"up-right", 6},   {"down-left", 7}, {"down-right", 8},  {"zoom-in", 9},      {"zoom-out", 10},
    {"focus-near", 11}, {"focus-far", 12}, {"iris-open", 13}, {"iris-close", 14},
}};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string UrlDecode(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '+') {
      out += ' ';
    } else if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::strtol(std::string(s.substr(i + 1, 2)).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// The value of a key in a flat JSON object: a string's text or a number's
// digits. Enough for the two keys a move has; nested values are not read.
std::optional<std::string> JsonValue(std::string_view json, std::string_view key) {
  const std::string quoted = "\"" + std::string(key) + "\"";
  std::size_t at = json.find(quoted);
  if (at == std::string_view::npos) return std::nullopt;
  at = json.find_first_not_of(" \t\r\n", at + quoted.size());
  if (at == std::string_view::npos || json[at] != ':') return std::nullopt;
  at = json.find_first_not_of(" \t\r\n", at + 1);
  if (at == std::string_view::npos) return std::nullopt;
  if (json[at] == '"') {
    const std::size_t end = json.find('"', at + 1);
    if (end == std::string_view::npos) return std::nullopt;
    return std::string(json.substr(at + 1, end - at - 1));
  }
  const std::size_t end = json.find_first_of(",} \t\r\n", at);
  return std::string(json.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
}

}  // namespace

std::optional<std::uint8_t> PtzCode(std::string_view move) {
  for (const auto& [name, code] : kMoves)
    if (name == move) return code;
  return std::nullopt;
}

std::vector<std::string_view> PtzMoveNames() {
  std::vector<std::string_view> names;
  for (const auto& move : kMoves) names.push_back(move.first);
  return names;
}

std::optional<PtzRequest> ParsePtz(std::string_view body, double defaultSeconds, std::string* error) {
  body = Trim(body);
  std::optional<std::string> move, duration;
  if (!body.empty() && body.front() == '{') {
    move = JsonValue(body, "move");
    duration = JsonValue(body, "duration");
  } else if (body.find('=') != std::string_view::npos) {
    while (!body.empty()) {
      const std::size_t amp = body.find('&');
      const std::string_view pair = body.substr(0, amp);
      const std::size_t eq = pair.find('=');
      const std::string key = UrlDecode(pair.substr(0, eq));
      const std::string value = eq == std::string_view::npos ? "" : UrlDecode(pair.substr(eq + 1));
      if (key == "move") move = value;
      if (key == "duration") duration = value;
      body = amp == std::string_view::npos ? std::string_view{} : body.substr(amp + 1);
    }
  } else {
    const std::size_t space = body.find_first_of(" \t");
    move = std::string(body.substr(0, space));
    if (space != std::string_view::npos) duration = std::string(Trim(body.substr(space)));
  }
  PtzRequest r;
  r.move = move ? std::string(Trim(*move)) : "";
  const auto code = PtzCode(r.move);
  if (!code) {
    *error = r.move.empty() ? "no move given" : "unknown move '" + r.move + "'";
    return std::nullopt;
  }
  r.code = *code;
  r.seconds = defaultSeconds;
  if (duration) {
    // Not strtod: the process's locale may take a comma for the decimal sign.
    const std::string text(Trim(*duration));
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), r.seconds);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) r.seconds = -1;
  }
  if (!(r.seconds > 0 && r.seconds <= kPtzMaxSeconds)) {
    *error = "duration must be above 0 and at most 2 seconds";
    return std::nullopt;
  }
  return r;
}

void PtzMove::Finish(Outcome outcome, std::string why) {
  {
    std::lock_guard lock(m_mutex);
    if (m_outcome != Outcome::Pending) return;
    m_outcome = outcome;
    m_why = std::move(why);
  }
  m_finished.notify_all();
}

PtzMove::Outcome PtzMove::Wait(std::chrono::milliseconds timeout, std::string* why) {
  std::unique_lock lock(m_mutex);
  m_finished.wait_for(lock, timeout, [&] { return m_outcome != Outcome::Pending; });
  if (why) *why = m_why;
  return m_outcome;
}

PtzMove::Outcome PtzMove::Current() const {
  std::lock_guard lock(m_mutex);
  return m_outcome;
}

}  // namespace lvbridge
