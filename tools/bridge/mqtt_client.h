#pragma once
// The bridge on an MQTT broker (libmosquitto, its own network thread):
//
//   lorventa/ID/availability             "online" / "offline" (retained; the
//                                        broker sends "offline" as the last
//                                        will when the bridge dies)
//   lorventa/ID/SITE/N/motion            "ON" / "OFF" (retained)
//   lorventa/ID/SITE/N/snapshot          the channel's newest JPEG at each motion start (retained)
//   lorventa/ID/SITE/N/event             each motion event as JSON
//   lorventa/ID/SITE/N/attributes        the channel's URLs (retained)
//   lorventa/ID/SITE/N/ptz/set           PTZ commands in: "left", "left 1.5" or JSON
//   homeassistant/{binary_sensor,camera,select}/ID_SITE_N.../config
//                                        discovery (retained), per channel with a
//                                        camera; the select only for a PTZ camera
//
// SITE and ID are slugs (lower case letters, digits, '-' and '_'). A site's
// channels are announced once a login told which have a camera; a site no
// viewer has logged in to yet is logged in to briefly to learn that.
#include <array>
#include <atomic>
#include <memory>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge.h"
#include "options.h"

struct mosquitto;
struct mosquitto_message;

namespace lvbridge {

// Lower case letters, digits, '-' and '_'; every other byte becomes '_'.
// "" when text has no letter or digit.
std::string MqttSlug(std::string_view text);

class MqttReporter {
 public:
  // baseUrl: where HTTP clients reach the bridge ("http://host:port").
  MqttReporter(Bridge& bridge, MqttOptions options, std::string baseUrl);
  ~MqttReporter();
  MqttReporter(const MqttReporter&) = delete;
  MqttReporter& operator=(const MqttReporter&) = delete;

  // Connects in the background (and again whenever the link drops); false
  // with *error set when the settings are refused.
  bool Start(std::string* error);
  // Says "offline", disconnects and joins the threads. Safe to call twice.
  void Stop();
  const std::string& Id() const { return m_id; }
  bool Connected() const { return m_connected.load(); }

  // The library's callbacks (public for its C interface only).
  void OnConnect(int rc);
  void OnDisconnect();
  void OnPublished(int mid);
  void OnMessage(const mosquitto_message* message);

 private:
  struct SiteTopics {
    std::string name, slug;
    std::uint32_t announcedCameras = 0, announcedPtz = 0;
    bool announced = false;
    std::array<std::atomic<int>, 16> motion{};  // -1 unknown, 0 off, 1 on: sent again after a reconnect
  };
  std::string Topic(const SiteTopics& site, int channel, const std::string& leaf) const;
  bool Publish(const std::string& topic, const std::string& payload, bool retain, int* mid = nullptr);
  void OnEvent(const lv::MotionEvent& event);
  void Announce(SiteTopics& site, std::uint32_t cameras, std::uint32_t ptz);
  void WatchMain();

  Bridge& m_bridge;
  const MqttOptions m_options;
  const std::string m_baseUrl;
  std::string m_id;
  std::string m_availability;
  std::vector<std::unique_ptr<SiteTopics>> m_sites;
  mosquitto* m_client = nullptr;
  std::atomic<bool> m_connected{false};
  std::atomic<bool> m_started{false};

  std::mutex m_mutex;  // guards the flags below
  std::condition_variable m_wake;
  bool m_stop = false;
  bool m_reannounce = false;
  int m_offlineMid = -1;
  bool m_offlineSent = false;
  std::thread m_watch;  // announces sites as their channels become known
};

}  // namespace lvbridge
