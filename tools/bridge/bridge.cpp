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

ChannelFeed* Bridge::Find(std::string_view name, int channel, std::string* why) const {
  for (const Site& site : m_sites) {
    if (site.config.name != name) continue;
    if (channel < 1 || channel > lv::kMaxChannels) return nullptr;
    // Once a login told which channels have a camera, the others are not served.
    const int known = std::min(site.info->channelCount.load(), lv::kMaxChannels);
    if (known > 0 && (channel > known || !(site.info->cameraMask.load() & (1u << (channel - 1))))) {
      if (why) *why = "No camera on channel " + std::to_string(channel);
      return nullptr;
    }
    return site.feeds[static_cast<std::size_t>(channel - 1)].get();
  }
  return nullptr;
}

std::vector<std::string> Bridge::SiteNames() const {
  std::vector<std::string> names;
  for (const Site& site : m_sites) names.push_back(site.config.name);
  return names;
}

const SiteInfo* Bridge::Info(std::string_view name) const {
  for (const Site& site : m_sites)
    if (site.config.name == name) return site.info.get();
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
    const std::string refusal = site.info->LoginRefusal(Clock::now());
    out += "],\"notice\":" + (refusal.empty() ? std::string("null") : JsonString(refusal)) + "}";
  }
  out += "]}\n";
  return out;
}

// The page: a tile per channel that refreshes from snapshot.jpg while it is
// on screen, and one full stream for the channel a user opens. A browser has
// six connections to a host; the tiles take two of them (one request at a
// time each), the status poll a third and the open stream a fourth.
std::string Bridge::PageHtml(const std::string& query) const {
  std::string out =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>lorventa-bridge</title>\n"
      "<style>body{font-family:sans-serif;background:#222;color:#eee;margin:8px}"
      ".tiles{display:flex;flex-wrap:wrap;gap:8px}figure{margin:0;width:240px;cursor:pointer}"
      "figure img{width:240px;height:180px;object-fit:contain;background:#000;display:block}"
      "figcaption{font-size:small}.notice{color:#f96}"
      "#live{position:fixed;inset:0;background:rgba(0,0,0,.92);display:none;flex-direction:column;"
      "align-items:center;justify-content:center}#live img{max-width:96vw;max-height:88vh}</style></head>\n"
      "<body data-query=\"" +
      HtmlEscape(query) + "\">\n";
  if (m_sites.empty()) out += "<p>No sites.</p>\n";
  for (const Site& site : m_sites) {
    const std::string index = std::to_string(&site - m_sites.data());
    // The count is the session's, already bounded; bounded again here so the
    // page never indexes past the feeds whatever fills the count.
    const int count = std::min(site.info->channelCount.load(), lv::kMaxChannels);
    const std::uint32_t cameras = site.info->cameraMask.load();
    out += "<h2>" + HtmlEscape(site.config.name) + "</h2>\n<p class=\"notice\" id=\"n" + index + "\"></p>\n";
    if (count == 0) out += "<p>The other channels show once the DVR answered.</p>\n";
    out += "<div class=\"tiles\" data-site=\"" + index + "\" data-count=\"" + std::to_string(count) + "\">\n";
    for (int ch = 0; ch < (count == 0 ? 1 : count); ++ch) {
      if (count > 0 && !(cameras & (1u << ch))) continue;
      const std::string n = std::to_string(ch + 1);
      const std::string snap = "/sites/" + UrlSegment(site.config.name) + "/channels/" + n + "/snapshot.jpg" + query;
      out += "<figure data-snap=\"" + HtmlEscape(snap) + "\"><img alt=\"channel " + n +
             "\"><figcaption>Channel " + n + ": <span id=\"s" + index + "-" + n + "\">" +
             HtmlEscape(site.feeds[static_cast<std::size_t>(ch)]->Status().text) + "</span></figcaption></figure>\n";
    }
    out += "</div>\n";
  }
  out += R"(<div id="live"><img alt="live channel"><p>Click to close</p></div>
<script>
const query=document.body.dataset.query, tiles=[...document.querySelectorAll('figure[data-snap]')];
const visible=new Set(), sleep=ms=>new Promise(r=>setTimeout(r,ms));
const seen=new IntersectionObserver(es=>es.forEach(e=>e.isIntersecting?visible.add(e.target):visible.delete(e.target)));
tiles.forEach(t=>seen.observe(t));
const liveBox=document.getElementById('live'), liveImg=liveBox.querySelector('img');
let live=null;
tiles.forEach(t=>t.onclick=()=>{live=t;liveImg.src=t.dataset.snap.replace('snapshot.jpg','stream.mjpeg');liveBox.style.display='flex';});
liveBox.onclick=()=>{live=null;liveImg.src='data:,';liveBox.style.display='none';};
// Each loop asks for one picture at a time: the visible tile refreshed longest ago, at most twice a second.
async function refresh(){
  for(;;){
    let next=null;
    for(const t of visible) if(!t.busy&&(!next||(t.last||0)<(next.last||0))) next=t;
    if(live||!next||performance.now()-(next.last||0)<500){await sleep(100);continue;}
    next.busy=true;next.last=performance.now();
    try{
      const r=await fetch(next.dataset.snap,{cache:'no-store'});
      const img=next.querySelector('img');
      // A picture the bridge calls too old stays, dimmed; the caption says why.
      img.style.opacity=r.ok?1:.4;
      if(r.ok){const old=img.src,url=URL.createObjectURL(await r.blob());
        img.onload=()=>{if(old.startsWith('blob:'))URL.revokeObjectURL(old);};img.src=url;}
      else await r.arrayBuffer();
    }catch(e){await sleep(1000);}
    next.busy=false;
  }
}
refresh();refresh();
// Captions follow /status; a site whose channel count became known loads the page anew.
async function poll(){
  try{const r=await fetch('/status'+query,{cache:'no-store'});const j=await r.json();
    j.sites.forEach((s,i)=>{
      const box=document.querySelector('.tiles[data-site="'+i+'"]');
      if(box&&s.channel_count&&+box.dataset.count!==s.channel_count)location.reload();
      const n=document.getElementById('n'+i);if(n)n.textContent=s.notice||'';
      s.channels.forEach(c=>{const e=document.getElementById('s'+i+'-'+c.channel);if(e)e.textContent=c.status;});
    });
  }catch(e){}
}
poll();setInterval(poll,2000);
</script>
</body></html>
)";
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
