#include "dvrsim/command_line.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <functional>
#include <sstream>

namespace dvrsim {
namespace {

bool ParseInt(const std::string& text, long long lo, long long hi, long long* out, int base = 10) {
  std::string t = text;
  if (base == 16 && (t.rfind("0x", 0) == 0 || t.rfind("0X", 0) == 0)) t = t.substr(2);
  long long v = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
  if (ec != std::errc() || end != t.data() + t.size() || t.empty() || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ParseVersion(const std::string& text, std::array<uint8_t, 4>* out) {
  std::array<uint8_t, 4> v{};
  std::istringstream in(text);
  std::string part;
  size_t i = 0;
  while (std::getline(in, part, '.')) {
    long long d = 0;
    if (i >= 4 || !ParseInt(part, 0, 255, &d)) return false;
    v[i++] = static_cast<uint8_t>(d);
  }
  if (i != 4) return false;
  *out = v;
  return true;
}

bool ParseChannelList(const std::string& text, std::set<int>* out) {
  std::istringstream in(text);
  std::string part;
  std::set<int> s;
  while (std::getline(in, part, ',')) {
    long long ch = 0;
    if (!ParseInt(part, 0, 255, &ch)) return false;
    s.insert(static_cast<int>(ch));
  }
  if (s.empty()) return false;
  out->insert(s.begin(), s.end());
  return true;
}

// Seconds since the start: a plain decimal number, up to 30 days.
bool ParseSeconds(const std::string& text, double* out) {
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !(v >= 0 && v <= 30 * 86400.0))
    return false;
  *out = v;
  return true;
}

}  // namespace

bool ApplyFault(const std::string& text, Faults* f, std::string* error) {
  const size_t eq = text.find('=');
  const std::string name = text.substr(0, eq);
  const bool hasN = eq != std::string::npos;
  long long n = 0;
  if (hasN && !ParseInt(text.substr(eq + 1), (name == "drip" || name == "open-reply-channel") ? 0 : 1, 1'000'000, &n)) {
    *error = "bad number in --fault " + text;
    return false;
  }
  const int count = static_cast<int>(n);
  struct Counted {
    const char* name;
    int* field;
    int fallback;  // when no =N is given
  };
  const Counted counted[] = {
      {"garbage", &f->garbageEveryN, 5},
      {"corrupt-picture", &f->corruptPictureEveryN, 10},
      {"close-channel-after", &f->closeChannelAfterFrames, 0},
      {"drop-after", &f->dropAfterFrames, 0},
      {"stall-after", &f->stallAfterFrames, 0},
      {"slow-picture-after", &f->slowPictureAfterFrames, 0},
      {"reset-mid-picture-after", &f->resetMidPictureAfterFrames, 0},
  };
  if (name == "open-reply-channel") {
    if (!hasN || n > 255) {
      *error = "--fault open-reply-channel needs =N, 0..255";
      return false;
    }
    f->openReplyChannel = count;
    return true;
  }
  for (const Counted& c : counted) {
    if (name != c.name) continue;
    if (!hasN && c.fallback == 0) {
      *error = "--fault " + name + " needs =N";
      return false;
    }
    *c.field = hasN ? count : c.fallback;
    return true;
  }
  struct Flag {
    const char* name;
    bool* field;
  };
  const Flag flags[] = {
      {"drip", &f->drip},
      {"wrong-length", &f->wrongBodyLength},
      {"oversized-length", &f->oversizedBodyLength},
      {"short-video", &f->shortVideoBody},
      {"refuse-login", &f->refuseLogin},
      {"drop-on-login", &f->dropOnLogin},
      {"silent-login", &f->silentLogin},
      {"silent-open", &f->silentOpen},
  };
  for (const Flag& fl : flags) {
    if (name != fl.name) continue;
    if (hasN && name != "drip") {
      *error = "--fault " + name + " takes no number";
      return false;
    }
    *fl.field = true;
    if (hasN) f->dripPauseUs = std::min(count, 999'999);
    return true;
  }
  *error = "unknown fault: " + name;
  return false;
}

std::optional<Options> ParseCommandLine(const std::vector<std::string>& args, std::string* error) {
  Options o;
  Config& c = o.config;
  bool userGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string flag = args[i];
    std::optional<std::string> inlineValue;
    if (const size_t eq = flag.find('='); flag.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue = flag.substr(eq + 1);
      flag = flag.substr(0, eq);
    }
    auto value = [&](std::string* out) {
      if (inlineValue) {
        *out = *inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) {
        *error = flag + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    auto number = [&](long long lo, long long hi, long long* out, int base = 10) {
      std::string v;
      if (!value(&v)) return false;
      if (!ParseInt(v, lo, hi, out, base)) {
        *error = "bad value for " + flag + ": " + v;
        return false;
      }
      return true;
    };
    auto bad = [&](const std::string& v) {
      *error = "bad value for " + flag + ": " + v;
      return std::nullopt;
    };
    std::string v;
    long long n = 0;

    if (flag == "--help" || flag == "-h") {
      o.help = true;
    } else if (flag == "--verbose") {
      c.verbose = true;
    } else if (flag == "--unasked-010002") {
      c.sendUnasked010002 = true;
    } else if (flag == "--port") {
      if (!number(0, 65535, &n)) return std::nullopt;
      o.port = static_cast<uint16_t>(n);
    } else if (flag == "--user") {
      if (!value(&v)) return std::nullopt;
      if (!userGiven) c.accounts = {{v, ""}};
      else c.accounts.front().user = v;
      userGiven = true;
    } else if (flag == "--password") {
      if (!value(&v)) return std::nullopt;
      if (!userGiven) c.accounts = {{"admin", v}};
      else c.accounts.front().password = v;
      userGiven = true;
    } else if (flag == "--account") {
      if (!value(&v)) return std::nullopt;
      const size_t colon = v.find(':');
      if (colon == std::string::npos) return bad(v);
      c.accounts.push_back({v.substr(0, colon), v.substr(colon + 1)});
    } else if (flag == "--hw-type") {
      if (!number(0, 255, &n)) return std::nullopt;
      c.hardwareType = static_cast<uint8_t>(n);
    } else if (flag == "--channels") {
      if (!number(1, 255, &n)) return std::nullopt;
      c.channelCount = static_cast<uint8_t>(n);
    } else if (flag == "--os-version" || flag == "--proto-version") {
      if (!value(&v)) return std::nullopt;
      if (!ParseVersion(v, flag == "--os-version" ? &c.osVersion : &c.protoVersion)) return bad(v);
    } else if (flag == "--camera-mask" || flag == "--ptz-mask" || flag == "--lock-mask" ||
               flag == "--function-mask") {
      if (!number(0, 0xFFFFFFFFLL, &n, 16)) return std::nullopt;
      uint32_t* field = flag == "--camera-mask" ? &c.cameraMask
                        : flag == "--ptz-mask"  ? &c.ptzMask
                        : flag == "--lock-mask" ? &c.lockMask
                                                : &c.functionMask;
      *field = static_cast<uint32_t>(n);
    } else if (flag == "--no-permission" || flag == "--no-camera") {
      if (!value(&v)) return std::nullopt;
      if (!ParseChannelList(v, flag == "--no-permission" ? &c.noPermission : &c.noCamera)) return bad(v);
    } else if (flag == "--size") {
      if (!value(&v)) return std::nullopt;
      const size_t x = v.find('x');
      long long w = 0, h = 0;
      if (x == std::string::npos || !ParseInt(v.substr(0, x), 16, 4096, &w) ||
          !ParseInt(v.substr(x + 1), 16, 4096, &h))
        return bad(v);
      c.width = static_cast<int>(w);
      c.height = static_cast<int>(h);
    } else if (flag == "--fps") {
      if (!number(1, 200, &n)) return std::nullopt;
      c.fps = static_cast<int>(n);
    } else if (flag == "--quality") {
      if (!number(1, 100, &n)) return std::nullopt;
      c.jpegQuality = static_cast<int>(n);
    } else if (flag == "--heartbeat") {
      if (!number(0, 3'600'000, &n)) return std::nullopt;
      c.heartbeatMs = static_cast<int>(n);
    } else if (flag == "--seed") {
      if (!number(0, 0xFFFFFFFFLL, &n)) return std::nullopt;
      c.seed = static_cast<uint32_t>(n);
    } else if (flag == "--scene") {
      if (!value(&v)) return std::nullopt;
      if (v != "still" && v != "moving") return bad(v);
      c.scene.still = v == "still";
    } else if (flag == "--object-at") {
      if (!value(&v)) return std::nullopt;
      std::istringstream in(v);
      std::string part;
      std::vector<double> times;
      while (std::getline(in, part, ',')) {
        double t = 0;
        if (!ParseSeconds(part, &t)) return bad(v);
        times.push_back(t);
      }
      if (times.empty() || v.back() == ',') return bad(v);
      c.scene.objectAt.insert(c.scene.objectAt.end(), times.begin(), times.end());
    } else if (flag == "--brightness-at") {
      if (!value(&v)) return std::nullopt;
      if (!ParseSeconds(v, &c.scene.brightnessAt)) return bad(v);
    } else if (flag == "--fault") {
      if (!value(&v) || !ApplyFault(v, &c.faults, error)) return std::nullopt;
    } else if (flag == "--ddns-port") {
      if (!number(0, 65535, &n)) return std::nullopt;
      o.ddnsPort = static_cast<uint16_t>(n);
    } else if (flag == "--ddns-map") {
      if (!value(&v)) return std::nullopt;
      const size_t eq = v.find('=');
      if (eq == std::string::npos || eq == 0) return bad(v);
      o.ddnsMap[v.substr(0, eq)] = v.substr(eq + 1);
    } else {
      *error = "unknown argument: " + args[i];
      return std::nullopt;
    }
    if (inlineValue && (flag == "--help" || flag == "-h" || flag == "--verbose" || flag == "--unasked-010002")) {
      *error = flag + " takes no value";
      return std::nullopt;
    }
  }
  if (!o.ddnsMap.empty() && !o.ddnsPort) {
    *error = "--ddns-map needs --ddns-port";
    return std::nullopt;
  }
  return o;
}

std::string Usage() {
  return R"(Usage: lorventa-dvrsim [options]
A simulated DVR on 127.0.0.1 that streams JPEG pictures; runs until SIGINT or SIGTERM.

Options:
  --port P                 DVR port (default 9000; 0 = any free port)
  --user U --password P    the account that may log in (default admin / 1234)
  --account U:P            one more account (repeatable)
  --hw-type N              hardware type (default 0)
  --channels N             channel count, 1..255 (default 16)
  --os-version A.B.C.D     OS version digits (default 5.0.2.0)
  --proto-version A.B.C.D  protocol version digits (default 2.0.3.4)
  --camera-mask HEX        channels with a camera, channel i = bit 31-i (default FFFF0000)
  --ptz-mask HEX           channels with a PTZ camera (default 0)
  --lock-mask HEX          channels the user is locked out of (default 0)
  --function-mask HEX      device functions (default FFFF0000)
  --no-permission LIST     channels whose opening is refused with 0xF002 (e.g. 1,4)
  --no-camera LIST         channels whose opening is refused with 0xF003
  --size WxH               picture size (default 704x480)
  --fps F                  pictures per second per open channel (default 25)
  --quality Q              JPEG quality 1..100 (default 80)
  --heartbeat MS           heartbeat every MS milliseconds (default 0 = none)
  --scene still|moving     still: no moving bar and no sequence number, only the clock
                           changes (default moving)
  --object-at S[,S...]     at S seconds after the start a dark block 1/6 of the picture
                           high enters at the left and is gone at the right 3 s later,
                           in every channel (repeatable)
  --brightness-at S        from S seconds after the start every channel's picture is
                           brighter and grey, as a camera switching to night mode
  --unasked-010002         send one 0xAB010002 after each successful login
  --seed N                 seed of the random garbage and scrambling (default 1)
  --fault NAME[=N]         switch a fault on (repeatable):
      garbage[=N]            1..16 random bytes (never 0xAB) after every Nth message (default 5)
      drip[=US]              every byte in its own send call, US microseconds apart (default 100)
      wrong-length           HW_INFO reply with a 3-byte body, LOGIN reply with 20 bytes
      oversized-length       after the login reply, a heartbeat header claiming 0x7FFFFFF0 body bytes
      short-video            before the first picture, a video body of 20 bytes and one whose
                             picture size runs past the body
      corrupt-picture[=N]    every Nth picture's JPEG bytes scrambled (default 10)
      close-channel-after=N  unasked channel close after N pictures of the channel
      drop-after=N           connection closed after N pictures
      refuse-login           every login refused with 0xF0010000
      drop-on-login          connection closed when the login request arrives
      silent-login           login requests get no reply; the connection stays open
      stall-after=N          after N pictures, the next one's header only, then nothing at all
      slow-picture-after=N   after N pictures, the next one at 1 byte per second
      reset-mid-picture-after=N  after N pictures, half of the next one, then a reset
      open-reply-channel=N   every channel-open reply names channel N, whatever was asked
      silent-open            channel open and close requests get no reply; the link stays open
  --ddns-port P            also answer DDNS requests on port P
  --ddns-map ID=ADDR       DDNS: the address of identifier ID (repeatable)
  --verbose                one line per request on stderr
  --help                   this text
  --version                the version
)";
}

}  // namespace dvrsim
