// The motion setting as one line of text, as the settings file and the
// command line carry it.
#include <charconv>
#include <cmath>
#include <cstdio>

#include "motion/motion_detector.h"

namespace lv {
namespace {

constexpr std::size_t kMaxIgnoreRects = 32;
constexpr int kMaxHoldMs = 3'600'000;

// The next piece of text up to sep (the rest when there is none).
std::string_view Next(std::string_view* text, char sep) {
  const std::size_t at = text->find(sep);
  const std::string_view piece = text->substr(0, at);
  text->remove_prefix(at == std::string_view::npos ? text->size() : at + 1);
  return piece;
}

bool Number(std::string_view text, double lo, double hi, double* out) {
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !(v >= lo && v <= hi)) return false;
  *out = v;
  return true;
}

// A fraction as percent with at most four decimals, trailing zeros dropped.
std::string Percent(float fraction) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4f", std::round(static_cast<double>(fraction) * 1e6) / 1e4);
  std::string s = buf;
  s.erase(s.find_last_not_of('0') + 1);
  if (s.back() == '.') s.pop_back();
  return s;
}

bool ParseRect(std::string_view text, MotionRect* out) {
  double v[4];
  for (double& d : v) {
    if (text.empty() || !Number(Next(&text, ':'), 0, 100, &d)) return false;
  }
  if (!text.empty() || v[2] <= 0 || v[3] <= 0 || v[0] + v[2] > 100 + 1e-9 || v[1] + v[3] > 100 + 1e-9) return false;
  *out = {static_cast<float>(v[0] / 100), static_cast<float>(v[1] / 100), static_cast<float>(v[2] / 100),
          static_cast<float>(v[3] / 100)};
  return true;
}

}  // namespace

bool ParseMotionSettings(std::string_view text, MotionSettings* out, std::string* error) {
  const auto fail = [&](std::string why) {
    if (error != nullptr) *error = std::move(why);
    return false;
  };
  MotionSettings s;
  if (!text.empty() && text.back() == ',') return fail("an empty setting after the last comma");
  const std::string_view head = Next(&text, ',');
  if (head == "off") {
    if (!text.empty()) return fail("nothing may follow \"off\"");
    *out = s;
    return true;
  }
  if (head != "on") return fail("motion must be \"off\" or \"on\", not \"" + std::string(head) + "\"");
  s.enabled = true;
  while (!text.empty()) {
    std::string_view value = Next(&text, ',');
    const std::string key(Next(&value, '='));
    double v = 0;
    if (key == "sensitivity") {
      if (!Number(value, 1, 100, &v) || v != std::floor(v)) return fail("sensitivity must be a whole number 1..100");
      s.sensitivity = static_cast<int>(v);
    } else if (key == "area") {
      if (!Number(value, 0, 100, &v)) return fail("area must be a percentage 0..100");
      s.minArea = static_cast<float>(v / 100);
    } else if (key == "hold") {
      if (!Number(value, 0, kMaxHoldMs, &v) || v != std::floor(v))
        return fail("hold must be whole milliseconds 0.." + std::to_string(kMaxHoldMs));
      s.holdMs = static_cast<int>(v);
    } else if (key == "ignore") {
      s.ignore.clear();
      while (!value.empty()) {
        MotionRect r;
        if (!ParseRect(Next(&value, ';'), &r))
          return fail("an ignore rectangle is X:Y:W:H in percent, inside the picture and not empty");
        s.ignore.push_back(r);
      }
      if (s.ignore.empty()) return fail("ignore needs at least one rectangle");
      if (s.ignore.size() > kMaxIgnoreRects)
        return fail("at most " + std::to_string(kMaxIgnoreRects) + " ignore rectangles");
    } else {
      return fail("unknown motion setting \"" + key + "\"");
    }
  }
  *out = std::move(s);
  return true;
}

std::string FormatMotionSettings(const MotionSettings& s) {
  if (!s.enabled) return "off";
  std::string out = "on,sensitivity=" + std::to_string(s.sensitivity) + ",area=" + Percent(s.minArea) +
                    ",hold=" + std::to_string(s.holdMs);
  for (std::size_t i = 0; i < s.ignore.size(); ++i) {
    const MotionRect& r = s.ignore[i];
    out += i == 0 ? ",ignore=" : ";";
    out += Percent(r.x) + ":" + Percent(r.y) + ":" + Percent(r.w) + ":" + Percent(r.h);
  }
  return out;
}

}  // namespace lv
