#include "mqtt_client.h"

#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "log.h"
#include "ptz.h"

namespace lvbridge {
namespace {

constexpr int kKeepaliveS = 30;
constexpr auto kWatchTick = std::chrono::milliseconds(250);
constexpr auto kOfflineWait = std::chrono::seconds(2);

MqttReporter* Self(void* obj) { return static_cast<MqttReporter*>(obj); }

void OnConnectCb(mosquitto*, void* obj, int rc) { Self(obj)->OnConnect(rc); }
void OnDisconnectCb(mosquitto*, void* obj, int) { Self(obj)->OnDisconnect(); }
void OnPublishCb(mosquitto*, void* obj, int mid) { Self(obj)->OnPublished(mid); }
void OnMessageCb(mosquitto*, void* obj, const mosquitto_message* m) { Self(obj)->OnMessage(m); }

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "bridge";
  return name;
}

// The library is set up once per process and never torn down (other
// clients may still use it).
void InitLibrary() {
  static const int once = mosquitto_lib_init();
  (void)once;
}

}  // namespace

std::string MqttSlug(std::string_view text) {
  std::string out;
  bool any = false;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') {
      out += static_cast<char>(u - 'A' + 'a');
      any = true;
    } else if ((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')) {
      out += c;
      any = true;
    } else {
      out += c == '-' ? '-' : '_';
    }
  }
  return any ? out : "";
}

MqttReporter::MqttReporter(Bridge& bridge, MqttOptions options, std::string baseUrl)
    : m_bridge(bridge), m_options(std::move(options)), m_baseUrl(std::move(baseUrl)) {
  m_id = MqttSlug(m_options.id.empty() ? HostName() : m_options.id);
  if (m_id.empty()) m_id = "bridge";
  m_availability = "lorventa/" + m_id + "/availability";
  for (const std::string& name : m_bridge.SiteNames()) {
    auto site = std::make_unique<SiteTopics>();
    site->name = name;
    std::string slug = MqttSlug(name);
    if (slug.empty()) slug = "site";
    // Two names may make one slug: the later site gets a number.
    std::string unique = slug;
    for (int n = 2; std::any_of(m_sites.begin(), m_sites.end(), [&](const auto& s) { return s->slug == unique; }); ++n)
      unique = slug + "_" + std::to_string(n);
    site->slug = unique;
    for (auto& m : site->motion) m = -1;
    m_sites.push_back(std::move(site));
  }
}

MqttReporter::~MqttReporter() { Stop(); }

std::string MqttReporter::Topic(const SiteTopics& site, int channel, const std::string& leaf) const {
  return "lorventa/" + m_id + "/" + site.slug + "/" + std::to_string(channel + 1) + "/" + leaf;
}

bool MqttReporter::Start(std::string* error) {
  InitLibrary();
  m_client = mosquitto_new(("lorventa-bridge-" + m_id).c_str(), true, this);
  if (!m_client) {
    *error = "cannot make an MQTT client";
    return false;
  }
  mosquitto_connect_callback_set(m_client, &OnConnectCb);
  mosquitto_disconnect_callback_set(m_client, &OnDisconnectCb);
  mosquitto_publish_callback_set(m_client, &OnPublishCb);
  mosquitto_message_callback_set(m_client, &OnMessageCb);
  mosquitto_reconnect_delay_set(m_client, 1, 30, true);
  const char* user = m_options.user.empty() ? nullptr : m_options.user.c_str();
  const char* password = m_options.password.empty() ? nullptr : m_options.password.c_str();
  int rc = mosquitto_username_pw_set(m_client, user, password);
  if (rc == MOSQ_ERR_SUCCESS)
    rc = mosquitto_will_set(m_client, m_availability.c_str(), 7, "offline", 1, true);
  if (rc != MOSQ_ERR_SUCCESS) {
    *error = std::string("MQTT: ") + mosquitto_strerror(rc);
    return false;
  }
  // A broker that is not there yet is tried again by the network thread.
  rc = mosquitto_connect_async(m_client, m_options.host.c_str(), m_options.port, kKeepaliveS);
  if (rc != MOSQ_ERR_SUCCESS)
    Log("MQTT broker " + m_options.host + ":" + std::to_string(m_options.port) + ": " + mosquitto_strerror(rc) +
        "; trying again");
  rc = mosquitto_loop_start(m_client);
  if (rc != MOSQ_ERR_SUCCESS) {
    *error = std::string("MQTT: ") + mosquitto_strerror(rc);
    return false;
  }
  m_bridge.Events().AddListener([this](const lv::MotionEvent& e) { OnEvent(e); });
  m_watch = std::thread([this] { WatchMain(); });
  m_started = true;
  return true;
}

void MqttReporter::Stop() {
  if (!m_client) return;
  if (m_started.exchange(false)) {
    m_bridge.Events().ClearListeners();
    {
      std::lock_guard lock(m_mutex);
      m_stop = true;
    }
    m_wake.notify_all();
    m_watch.join();
    // "offline" is said before leaving, and the leaving waits for it to go out.
    // (The lock is held from the publish on, so its acknowledgement cannot come unseen.)
    std::unique_lock lock(m_mutex);
    if (m_connected.load() && Publish(m_availability, "offline", true, &m_offlineMid))
      m_wake.wait_for(lock, kOfflineWait, [&] { return m_offlineSent; });
    lock.unlock();
    // Read before the disconnect, whose callback clears it. A connected client
    // leaves at once; one still reaching for its broker may sit in a connect
    // that only the keepalive time ends, so its thread is cancelled instead.
    const bool connected = m_connected.load();
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, !connected);
  }
  mosquitto_destroy(m_client);
  m_client = nullptr;
}

bool MqttReporter::Publish(const std::string& topic, const std::string& payload, bool retain, int* mid) {
  const int rc = mosquitto_publish(m_client, mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                                   retain);
  return rc == MOSQ_ERR_SUCCESS;
}

void MqttReporter::OnConnect(int rc) {
  if (rc != 0) {
    Log(std::string("MQTT broker refused the connection: ") + mosquitto_connack_string(rc));
    return;
  }
  Log("MQTT: connected to " + m_options.host + ":" + std::to_string(m_options.port) + " as " + m_id);
  m_connected = true;
  Publish(m_availability, "online", true);
  const std::string commands = "lorventa/" + m_id + "/+/+/ptz/set";
  mosquitto_subscribe(m_client, nullptr, commands.c_str(), 1);
  // A restarted home automation server asks for the announcements again.
  mosquitto_subscribe(m_client, nullptr, "homeassistant/status", 1);
  {
    std::lock_guard lock(m_mutex);
    m_reannounce = true;
  }
  m_wake.notify_all();
}

void MqttReporter::OnDisconnect() { m_connected = false; }

void MqttReporter::OnPublished(int mid) {
  {
    std::lock_guard lock(m_mutex);
    if (mid != m_offlineMid) return;
    m_offlineSent = true;
  }
  m_wake.notify_all();
}

void MqttReporter::OnMessage(const mosquitto_message* message) {
  const std::string topic = message->topic ? message->topic : "";
  const std::string payload(static_cast<const char*>(message->payload), static_cast<std::size_t>(message->payloadlen));
  if (topic == "homeassistant/status") {
    if (payload == "online") {
      std::lock_guard lock(m_mutex);
      m_reannounce = true;
    }
    m_wake.notify_all();
    return;
  }
  // lorventa/ID/SITE/N/ptz/set
  std::vector<std::string> parts;
  for (std::size_t at = 0;;) {
    const std::size_t slash = topic.find('/', at);
    parts.push_back(topic.substr(at, slash - at));
    if (slash == std::string::npos) break;
    at = slash + 1;
  }
  if (parts.size() != 6 || parts[4] != "ptz" || parts[5] != "set") return;
  const SiteTopics* site = nullptr;
  for (const auto& s : m_sites)
    if (s->slug == parts[2]) site = s.get();
  const int channel = parts[3].size() <= 2 ? std::atoi(parts[3].c_str()) : 0;
  ChannelFeed* feed = site ? m_bridge.Find(site->name, channel) : nullptr;
  if (!feed) return Log("MQTT: no channel for " + topic);
  std::string error;
  const auto request = ParsePtz(payload, kPtzDefaultSeconds, &error);
  if (!request) return Log("MQTT: " + topic + ": " + error);
  if (feed->KnownWithoutPtz()) return Log("MQTT: " + topic + ": no PTZ camera on that channel");
  // Nobody waits for the outcome: the feed stops the move when its time is up.
  feed->Ptz(std::make_shared<PtzMove>(*request));
}

void MqttReporter::OnEvent(const lv::MotionEvent& event) {
  if (event.channel < 0 || event.channel >= 16) return;
  for (const auto& s : m_sites) {
    if (s->name != event.site) continue;
    s->motion[static_cast<std::size_t>(event.channel)] = event.started ? 1 : 0;
    if (!m_connected.load()) return;  // the state goes out at the next connect
    if (event.started) {
      ChannelFeed* feed = m_bridge.Find(event.site, event.channel + 1);
      if (const auto picture = feed ? feed->Newest() : nullptr)
        Publish(Topic(*s, event.channel, "snapshot"),
                std::string(reinterpret_cast<const char*>(picture->data()), picture->size()), true);
    }
    Publish(Topic(*s, event.channel, "motion"), event.started ? "ON" : "OFF", true);
    Publish(Topic(*s, event.channel, "event"), MotionEventJson(event), false);
    return;
  }
}

void MqttReporter::Announce(SiteTopics& site, std::uint32_t cameras, std::uint32_t ptz) {
  const std::string availability = ",\"availability_topic\":" + JsonString(m_availability) +
                                   ",\"payload_available\":\"online\",\"payload_not_available\":\"offline\"";
  for (int ch = 0; ch < 16; ++ch) {
    const std::string object = m_id + "_" + site.slug + "_" + std::to_string(ch + 1);
    const bool camera = cameras & (1u << ch);
    const bool hasPtz = camera && (ptz & (1u << ch));
    const bool had = site.announced && (site.announcedCameras & (1u << ch));
    const bool hadPtz = site.announced && (site.announcedPtz & (1u << ch));
    const std::string binaryTopic = "homeassistant/binary_sensor/" + object + "/config";
    const std::string cameraTopic = "homeassistant/camera/" + object + "/config";
    const std::string selectTopic = "homeassistant/select/" + object + "_ptz/config";
    // A channel that lost its camera (or PTZ) is taken back with an empty retained config.
    if (!camera && had) {
      Publish(binaryTopic, "", true);
      Publish(cameraTopic, "", true);
    }
    if (!hasPtz && hadPtz) Publish(selectTopic, "", true);
    if (!camera) continue;
    const std::string n = std::to_string(ch + 1);
    const std::string path = m_baseUrl + "/sites/" + UrlSegment(site.name) + "/channels/" + n;
    const std::string device = ",\"device\":{\"identifiers\":[" + JsonString("lorventa_" + object) +
                               "],\"name\":" + JsonString(site.name + " channel " + n) +
                               ",\"manufacturer\":\"Lorventa\",\"model\":\"lorventa-bridge channel\""
                               ",\"configuration_url\":" + JsonString(m_baseUrl + "/") + "}";
    const std::string attributes = ",\"json_attributes_topic\":" + JsonString(Topic(site, ch, "attributes"));
    Publish(Topic(site, ch, "attributes"),
            "{\"site\":" + JsonString(site.name) + ",\"channel\":" + n + ",\"mjpeg_url\":" +
                JsonString(path + "/stream.mjpeg") + ",\"snapshot_url\":" + JsonString(path + "/snapshot.jpg") +
                ",\"events_url\":" + JsonString(path + "/events") + ",\"ptz\":" + (hasPtz ? "true" : "false") + "}",
            true);
    Publish(binaryTopic,
            "{\"name\":\"Motion\",\"unique_id\":" + JsonString(object + "_motion") +
                ",\"device_class\":\"motion\",\"state_topic\":" + JsonString(Topic(site, ch, "motion")) +
                ",\"payload_on\":\"ON\",\"payload_off\":\"OFF\"" + availability + attributes + device + "}",
            true);
    Publish(cameraTopic,
            "{\"name\":\"Camera\",\"unique_id\":" + JsonString(object + "_camera") +
                ",\"topic\":" + JsonString(Topic(site, ch, "snapshot")) + availability + attributes + device + "}",
            true);
    if (hasPtz) {
      std::string options;
      for (const std::string_view move : PtzMoveNames())
        options += std::string(options.empty() ? "" : ",") + "\"" + std::string(move) + "\"";
      Publish(selectTopic,
              "{\"name\":\"PTZ\",\"unique_id\":" + JsonString(object + "_ptz") +
                  ",\"command_topic\":" + JsonString(Topic(site, ch, "ptz/set")) + ",\"options\":[" + options +
                  "],\"optimistic\":true" + availability + device + "}",
              true);
    }
  }
  site.announced = true;
  site.announcedCameras = cameras;
  site.announcedPtz = ptz;
}

void MqttReporter::WatchMain() {
  // A site no viewer has logged in to yet: a login tells its channels. It is
  // held (the feed retrying as it does for a viewer) until the DVR answers,
  // so a site down when the bridge starts is announced when it comes up.
  std::vector<ChannelFeed*> probes(m_sites.size(), nullptr);
  for (std::size_t i = 0; i < m_sites.size(); ++i) {
    const SiteInfo* info = m_bridge.Info(m_sites[i]->name);
    if (info && info->channelCount.load() == 0 && (probes[i] = m_bridge.Find(m_sites[i]->name, 1)))
      probes[i]->Subscribe();
  }
  std::unique_lock lock(m_mutex);
  while (!m_stop) {
    m_wake.wait_for(lock, kWatchTick);
    if (m_stop) break;
    const bool again = std::exchange(m_reannounce, false);
    lock.unlock();
    for (std::size_t i = 0; i < m_sites.size(); ++i) {
      SiteTopics& site = *m_sites[i];
      const SiteInfo* info = m_bridge.Info(site.name);
      const bool known = info && info->channelCount.load() > 0;
      if (probes[i] && known) {
        probes[i]->Unsubscribe();
        probes[i] = nullptr;
      }
      if (!known || !m_connected.load()) continue;
      const std::uint32_t cameras = info->cameraMask.load(), ptz = info->ptzMask.load();
      if (again || !site.announced || cameras != site.announcedCameras || ptz != site.announcedPtz)
        Announce(site, cameras, ptz);
      if (again)
        for (int ch = 0; ch < 16; ++ch)
          if (const int state = site.motion[static_cast<std::size_t>(ch)].load(); state >= 0)
            Publish(Topic(site, ch, "motion"), state ? "ON" : "OFF", true);
    }
    lock.lock();
  }
  for (ChannelFeed* feed : probes)
    if (feed) feed->Unsubscribe();
}

}  // namespace lvbridge
