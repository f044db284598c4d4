#include "bridge.h"

#include <charconv>
#include <cstdio>

#include "session/dvr_session.h"

namespace lvbridge {

Bridge::Bridge(std::vector<SiteConfig> sites, const Timing& timing) : m_timing(timing) {
  m_sites.reserve(sites.size());
  for (auto& config : sites) {
    Site site;
    site.config = std::move(config);
    site.info = std::make_shared<SiteInfo>();
    for (int ch = 0; ch < lv::kMaxChannels; ++ch)
      site.feeds.push_back(std::make_unique<ChannelFeed>(site.config, site.info, ch, m_timing));
    m_sites.push_back(std::move(site));
  }
}

Bridge::~Bridge() { Shutdown(); }

ChannelFeed* Bridge::Find(std::string_view name, int channel) const {
  for (const Site& site : m_sites) {
    if (site.config.name != name) continue;
    if (channel < 1 || channel > lv::kMaxChannels) return nullptr;
    // Once a login told which channels have a camera, the others are not served.
    const int known = std::min(site.info->channelCount.load(), lv::kMaxChannels);
    if (known > 0 && (channel > known || !(site.info->cameraMask.load() & (1u << (channel - 1))))) return nullptr;
    return site.feeds[static_cast<std::size_t>(channel - 1)].get();
  }
  return nullptr;
}

void Bridge::WakeAll() {
  for (const Site& site : m_sites)
    for (const auto& feed : site.feeds) feed->Wake();
}

void Bridge::Shutdown() {
  for (const Site& site : m_sites)
    for (const auto& feed : site.feeds) feed->Shutdown();
}

std::string Bridge::StatusJson() const {
  std::string out = "{\"sites\":[";
  for (std::size_t i = 0; i < m_sites.size(); ++i) {
    const Site& site = m_sites[i];
    if (i) out += ',';
    out += "{\"name\":" + JsonString(site.config.name) +
           ",\"channel_count\":" + std::to_string(site.info->channelCount.load()) + ",\"channels\":[";
    bool first = true;
    for (const auto& feed : site.feeds) {
      const FeedStatus s = feed->Status();
      if (!s.used) continue;
      if (!first) out += ',';
      first = false;
      out += "{\"channel\":" + std::to_string(feed->Channel() + 1) + ",\"status\":" + JsonString(s.text) +
             ",\"pictures_per_second\":" + OneDecimal(s.picturesPerSecond) +
             ",\"newest_age_ms\":" + (s.newestAgeMs < 0 ? std::string("null") : std::to_string(s.newestAgeMs)) +
             ",\"viewers\":" + std::to_string(s.viewers) + ",\"reconnects\":" + std::to_string(s.reconnects) + "}";
    }
    out += "]}";
  }
  out += "]}\n";
  return out;
}

std::string Bridge::PageHtml(const std::string& query) const {
  std::string out =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>lorventa-bridge</title>\n"
      "<style>body{font-family:sans-serif;background:#222;color:#eee}figure{display:inline-block;margin:8px}"
      "img{width:352px;background:#000}figcaption{font-size:small}</style></head><body>\n";
  if (m_sites.empty()) out += "<p>No sites.</p>\n";
  for (const Site& site : m_sites) {
    out += "<h2>" + HtmlEscape(site.config.name) + "</h2>\n";
    // The count is the session's, already bounded; bounded again here so the
    // page never indexes past the feeds whatever fills the count.
    const int count = std::min(site.info->channelCount.load(), lv::kMaxChannels);
    const std::uint32_t cameras = site.info->cameraMask.load();
    if (count == 0) out += "<p>The channel list shows after the first login; reload then.</p>\n";
    for (int ch = 0; ch < (count == 0 ? 1 : count); ++ch) {
      if (count > 0 && !(cameras & (1u << ch))) continue;
      const std::string base = "/sites/" + UrlSegment(site.config.name) + "/channels/" + std::to_string(ch + 1);
      const std::string id = std::to_string(&site - m_sites.data()) + "-" + std::to_string(ch + 1);
      out += "<figure><img src=\"" + HtmlEscape(base + "/stream.mjpeg" + query) + "\" alt=\"channel " +
             std::to_string(ch + 1) + "\"><figcaption>Channel " + std::to_string(ch + 1) + ": <span id=\"s" + id +
             "\">" + HtmlEscape(site.feeds[static_cast<std::size_t>(ch)]->Status().text) +
             "</span></figcaption></figure>\n";
    }
  }
  // Captions follow /status.
  out += "<script>\nasync function poll(){try{const r=await fetch('/status" + HtmlEscape(query) +
         "');const j=await r.json();j.sites.forEach((s,i)=>s.channels.forEach(c=>{"
         "const e=document.getElementById('s'+i+'-'+c.channel);if(e)e.textContent=c.status;}));}catch(e){}}\n"
         "setInterval(poll,2000);\n</script>\n</body></html>\n";
  return out;
}

std::string OneDecimal(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1).ptr;
  return std::string(text, end);
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", u);
      out += esc;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string UrlSegment(std::string_view text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += hex[u >> 4];
      out += hex[u & 15];
    }
  }
  return out;
}

}  // namespace lvbridge
