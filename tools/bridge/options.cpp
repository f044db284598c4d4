#include "options.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "motion/motion_detector.h"
#include "mqtt_client.h"
#include "protocol/text.h"
#include "sites/site_list.h"
#include "sites/site_store.h"

namespace lvbridge {
namespace {

bool ToInt(const std::string& text, int min, int max, int* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < min || v > max) return false;
  *out = static_cast<int>(v);
  return true;
}

bool ToNumber(const std::string& text, double* out) {
  if (text.empty()) return false;
  // Not strtod: the process's locale may take a comma for the decimal sign.
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

}  // namespace

std::string Usage() {
  return "usage: lorventa-bridge [--listen ADDR:PORT] [--site NAME]...\n"
         "                       [--dvr NAME ADDRESS PORT USER [--password-file FILE]]...\n"
         "                       [--token-file FILE] [--store DIR] [--grace S]\n"
         "                       [--max-per-address N] [--mqtt HOST[:PORT] [--mqtt-user NAME]\n"
         "                       [--mqtt-password-file FILE] [--mqtt-id ID]]\n"
         "                       [--motion SITE:N|all [--motion-settings TEXT]]...\n"
         "                       [--record DIR [--record-max-gib N]]\n"
         "Serves DVR channels over HTTP as MJPEG streams and JPEG snapshots.\n"
         "  --listen ADDR:PORT  where to listen (default 127.0.0.1:8480; IPv6 as [ADDR]:PORT);\n"
         "                      an address other than 127.x.x.x or ::1 needs --token-file\n"
         "  --site NAME         a site of the program's store, repeatable (default: every\n"
         "                      stored site, unless --dvr is given)\n"
         "  --dvr NAME ADDRESS PORT USER  a site given here under NAME, repeatable;\n"
         "                      --password-file FILE right after it reads its password\n"
         "                      from the file's first line (no password otherwise)\n"
         "  --token-file FILE   every request must carry the file's first line as\n"
         "                      'Authorization: Bearer TOKEN' or '?token=TOKEN'\n"
         "  --store DIR         the site store's folder (default ~/.config/lorventa)\n"
         "  --grace S           seconds a channel's session stays open after its last\n"
         "                      viewer left (default 10)\n"
         "  --max-per-address N\n"
         "                      connections one client address may hold (default 32;\n"
         "                      0: no limit). Behind a proxy on this machine every client\n"
         "                      comes from the proxy's address: raise it there\n"
         "  --mqtt HOST[:PORT]  report motion to an MQTT broker (port 1883 by default) with\n"
         "                      discovery entities per channel; PTZ commands are taken on\n"
         "                      lorventa/ID/SITE/N/ptz/set\n"
         "  --mqtt-user NAME    the broker's user; --mqtt-password-file FILE its password\n"
         "  --mqtt-id ID        the bridge's id in topics (default: the host name)\n"
         "  --motion SITE:N     watch channel N (1-based) of SITE for motion, repeatable;\n"
         "                      --motion all watches every channel with a camera\n"
         "  --motion-settings TEXT  the detector's settings: on[,sensitivity=1..100]\n"
         "                      [,area=PERCENT][,hold=MS][,ignore=X:Y:W:H;...] (percent of\n"
         "                      the picture); right after --motion SITE:N for that channel,\n"
         "                      elsewhere for every other watched channel\n"
         "  --record DIR        keep a clip of each motion event in DIR\n"
         "  --record-max-gib N  the most the clips in DIR may take (GiB, may be fractional)\n"
         "  -h, --help          print this help and exit\n"
         "  --version           print the version and exit\n"
         "Endpoints:\n"
         "  /                                          every site and channel, live\n"
         "  /status                                    JSON status of every channel in use\n"
         "  /sites/NAME/channels/N/stream.mjpeg        multipart/x-mixed-replace JPEG stream\n"
         "  /sites/NAME/channels/N/snapshot.jpg        the newest picture (503 when older than\n"
         "                                             10 s, unless ?stale=1)\n"
         "  /events                                    motion events as Server-Sent Events\n"
         "  /sites/NAME/channels/N/events              the same for one channel\n"
         "  POST /sites/NAME/channels/N/ptz            move=left&duration=1.5 (or JSON): moves the\n"
         "                                             camera, then stops it (duration up to 2 s)\n";
}

std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string* error) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto need = [&](std::size_t n) {
      if (i + n < args.size()) return true;
      *error = a + (n == 1 ? " needs a value" : " needs " + std::to_string(n) + " values");
      return false;
    };
    if (a == "--version") {
      o.version = true;
      return o;
    }
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--listen") {
      if (!need(1)) return std::nullopt;
      const std::string v = args[++i];
      const std::size_t colon = v.rfind(':');
      int port = 0;
      if (colon == std::string::npos || !ToInt(v.substr(colon + 1), 0, 65535, &port)) {
        *error = "--listen takes ADDR:PORT, not '" + v + "'";
        return std::nullopt;
      }
      std::string host = v.substr(0, colon);
      if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
      o.server.address = host == "localhost" ? "127.0.0.1" : host;
      o.server.port = port;
    } else if (a == "--site") {
      if (!need(1)) return std::nullopt;
      o.siteNames.push_back(args[++i]);
    } else if (a == "--dvr") {
      if (!need(4)) return std::nullopt;
      DvrArgument d;
      d.name = args[i + 1];
      d.address = args[i + 2];
      d.user = args[i + 4];
      if (!ToInt(args[i + 3], 1, 65535, &d.port)) {
        *error = "--dvr " + d.name + ": PORT must be 1..65535";
        return std::nullopt;
      }
      if (d.name.empty() || d.address.empty()) {
        *error = "--dvr needs a NAME and an ADDRESS";
        return std::nullopt;
      }
      i += 4;
      o.dvrs.push_back(d);
    } else if (a == "--password-file") {
      if (!need(1)) return std::nullopt;
      if (o.dvrs.empty() || !o.dvrs.back().passwordFile.empty()) {
        *error = "--password-file belongs right after a --dvr";
        return std::nullopt;
      }
      o.dvrs.back().passwordFile = args[++i];
    } else if (a == "--token-file") {
      if (!need(1)) return std::nullopt;
      o.tokenFile = args[++i];
    } else if (a == "--store") {
      if (!need(1)) return std::nullopt;
      o.storeFolder = args[++i];
    } else if (a == "--grace") {
      int s = 0;
      if (!need(1) || !ToInt(args[++i], 0, 3600, &s)) {
        if (error->empty()) *error = "--grace takes seconds from 0 to 3600";
        return std::nullopt;
      }
      o.timing.graceMs = s * 1000;
    } else if (a == "--max-per-address") {
      if (!need(1) || !ToInt(args[++i], 0, 100000, &o.server.maxPerAddress)) {
        if (error->empty()) *error = "--max-per-address takes a number of connections";
        return std::nullopt;
      }
    } else if (a == "--mqtt") {
      if (!need(1)) return std::nullopt;
      const std::string v = args[++i];
      std::string host = v;
      const std::size_t colon = v.rfind(':');
      // A colon outside brackets ends the host; a bare IPv6 address has several.
      if (colon != std::string::npos && (v.front() == '[' || v.find(':') == colon)) {
        host = v.substr(0, colon);
        if (!ToInt(v.substr(colon + 1), 1, 65535, &o.mqtt.port)) {
          *error = "--mqtt takes HOST[:PORT] with a port from 1 to 65535, not '" + v + "'";
          return std::nullopt;
        }
      }
      if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
      if (host.empty()) {
        *error = "--mqtt needs a host";
        return std::nullopt;
      }
      o.mqtt.host = host;
    } else if (a == "--mqtt-user") {
      if (!need(1)) return std::nullopt;
      o.mqtt.user = args[++i];
    } else if (a == "--mqtt-password-file") {
      if (!need(1)) return std::nullopt;
      o.mqtt.passwordFile = args[++i];
    } else if (a == "--mqtt-id") {
      if (!need(1)) return std::nullopt;
      o.mqtt.id = args[++i];
      if (MqttSlug(o.mqtt.id).empty()) {
        *error = "--mqtt-id needs letters or digits";
        return std::nullopt;
      }
    } else if (a == "--motion") {
      if (!need(1)) return std::nullopt;
      const std::string v = args[++i];
      const std::size_t colon = v.rfind(':');
      MotionChannel m;
      if (v == "all") {
        o.motionAll = true;
      } else if (colon == std::string::npos || colon == 0 || !ToInt(v.substr(colon + 1), 1, 16, &m.channel)) {
        *error = "--motion takes SITE:N with N from 1 to 16, or all, not '" + v + "'";
        return std::nullopt;
      } else {
        m.site = v.substr(0, colon);
        o.motion.push_back(m);
      }
    } else if (a == "--motion-settings") {
      if (!need(1)) return std::nullopt;
      const std::string v = args[++i];
      lv::MotionSettings parsed;
      std::string why;
      if (!lv::ParseMotionSettings(v, &parsed, &why)) {
        *error = "--motion-settings: " + why;
        return std::nullopt;
      }
      // Right after --motion SITE:N it tunes that channel; elsewhere every other one.
      const bool forChannel = i >= 3 && args[i - 3] == "--motion" && args[i - 2] != "all" && !o.motion.empty();
      (forChannel ? o.motion.back().settings : o.motionSettings) = v;
    } else if (a == "--record") {
      if (!need(1)) return std::nullopt;
      o.recordFolder = args[++i];
    } else if (a == "--record-max-gib") {
      if (!need(1) || !ToNumber(args[++i], &o.recordMaxGib) || o.recordMaxGib <= 0) {
        if (error->empty()) *error = "--record-max-gib takes a number of GiB above 0";
        return std::nullopt;
      }
    } else {
      *error = "unknown argument " + a;
      return std::nullopt;
    }
  }
  if ((!o.mqtt.user.empty() || !o.mqtt.passwordFile.empty() || !o.mqtt.id.empty()) && o.mqtt.host.empty()) {
    *error = "--mqtt-user, --mqtt-password-file and --mqtt-id belong with --mqtt";
    return std::nullopt;
  }
  if (o.recordMaxGib > 0 && !o.recordFolder) {
    *error = "--record-max-gib belongs with --record";
    return std::nullopt;
  }
  return o;
}

bool ReadSecretFile(const std::string& path, std::string* secret, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  std::string line;
  if (!file || !std::getline(file, line)) {
    *error = "cannot read " + path;
    return false;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) {
    *error = path + " starts with an empty line";
    return false;
  }
  *secret = line;
  return true;
}

bool ResolveSites(Options* o, std::vector<SiteConfig>* sites, std::string* error) {
  if (!o->tokenFile.empty() && !ReadSecretFile(o->tokenFile, &o->server.token, error)) return false;
  if (!o->mqtt.passwordFile.empty() && !ReadSecretFile(o->mqtt.passwordFile, &o->mqtt.password, error)) return false;
  if (o->server.token.empty() && !IsLoopback(o->server.address)) {
    *error = "listening on " + o->server.address + " needs --token-file";
    return false;
  }
  if (!o->siteNames.empty() || o->dvrs.empty()) {
    lv::SiteStore store = o->storeFolder ? lv::SiteStore(*o->storeFolder) : lv::SiteStore();
    lv::SiteList list;
    const lv::StoreResult loaded = store.LoadSites(list, 0);
    if (loaded == lv::StoreResult::Busy || loaded == lv::StoreResult::Failed) {
      *error = "cannot read the site store: " + lv::Utf16ToUtf8(store.Message());
      return false;
    }
    // A store moved aside leaves no sites; say where it went before a name is missed.
    if (loaded == lv::StoreResult::Recovered)
      std::fprintf(stderr, "lorventa-bridge: %s\n", lv::Utf16ToUtf8(store.Message()).c_str());
    auto add = [&](const lv::CDvrSession& s) {
      const lv::SiteFields f = s.Site();
      sites->push_back({lv::Utf16ToUtf8(f.name), lv::Utf16ToUtf8(f.address), f.port, lv::Utf16ToUtf8(f.user),
                        lv::Utf16ToUtf8(f.password)});
    };
    if (o->siteNames.empty()) {
      for (const lv::CDvrSession* s = list.First(); s; s = s->m_pNext) add(*s);
    }
    for (const std::string& name : o->siteNames) {
      const lv::CDvrSession* s = list.First();
      while (s && lv::Utf16ToUtf8(s->m_strSiteName) != name) s = s->m_pNext;
      if (!s) {
        *error = "no site named '" + name + "' in " + store.FilePath().string();
        return false;
      }
      add(*s);
    }
  }
  for (const DvrArgument& d : o->dvrs) {
    SiteConfig site{d.name, d.address, d.port, d.user, {}};
    if (!d.passwordFile.empty() && !ReadSecretFile(d.passwordFile, &site.password, error)) return false;
    sites->push_back(site);
  }
  for (std::size_t i = 0; i < sites->size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if ((*sites)[i].name == (*sites)[j].name) {
        *error = "two sites are named '" + (*sites)[i].name + "'";
        return false;
      }
  for (const MotionChannel& m : o->motion)
    if (std::none_of(sites->begin(), sites->end(), [&](const SiteConfig& s) { return s.name == m.site; })) {
      *error = "--motion names no served site '" + m.site + "'";
      return false;
    }
  return true;
}

}  // namespace lvbridge
