#pragma once
// The bridge's sites and their channel feeds, and the two views of them that
// HTTP serves: the status as JSON and the page with every channel live.
//
// The set of feeds is made once, on the event loop's thread, and never
// changes while the bridge runs, so HTTP threads look feeds up without a lock.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "event_hub.h"
#include "feed.h"

namespace lvbridge {

class Bridge {
 public:
  Bridge(std::vector<SiteConfig> sites, const Timing& timing);
  ~Bridge();
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  // The feed of a site's channel (1-based), or null when there is no such
  // site, the channel is outside 1..16, or a login showed it has no camera
  // (then *why says so).
  ChannelFeed* Find(std::string_view site, int channel, std::string* why = nullptr) const;
  const Timing& timing() const { return m_timing; }

  std::string StatusJson() const;
  // query is appended to every link (carries a token given as ?token=).
  std::string PageHtml(const std::string& query) const;

  // Any thread: a motion event of a served channel, to every event stream
  // and listener (MQTT). The channel's feed is looked up by the listeners.
  void PublishMotion(const lv::MotionEvent& event) { m_events.Publish(event); }
  EventHub& Events() { return m_events; }
  // The served sites' names, in order.
  std::vector<std::string> SiteNames() const;
  // What logins taught about a site; null for an unknown site.
  const SiteInfo* Info(std::string_view site) const;

  // Any thread: releases every viewer that waits for a picture.
  void WakeAll();
  // Owner's thread: closes every session.
  void Shutdown();

 private:
  struct Site {
    SiteConfig config;
    std::shared_ptr<SiteInfo> info;
    std::vector<std::unique_ptr<ChannelFeed>> feeds;  // channels 1..16
  };
  const Timing m_timing;
  std::vector<Site> m_sites;
  EventHub m_events;
};

// For the page and the status: text made safe for HTML, JSON and URL paths.
std::string HtmlEscape(std::string_view text);
std::string JsonString(std::string_view text);
std::string UrlSegment(std::string_view text);
// "12.5" whatever the process's locale (Qt adopts the user's, where a comma may be the decimal sign).
std::string OneDecimal(double value);

}  // namespace lvbridge
