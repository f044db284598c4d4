#pragma once
// Desktop notifications through the notification service of the session bus
// (org.freedesktop.Notifications). Each notification carries the "default"
// action, which a click on it invokes; the notifier then hands back the key
// the notification was made with. Without a bus or a service, a notification
// is dropped with one debug line (the first time) and nothing else.
//
// Threads: made, used and destroyed on the UI thread; callbacks come there.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace lv {

class DesktopNotifier {
 public:
  // busAddress: a bus to connect to (tests); empty: the session bus.
  explicit DesktopNotifier(std::string appName, std::string busAddress = {});
  ~DesktopNotifier();
  DesktopNotifier(const DesktopNotifier&) = delete;
  DesktopNotifier& operator=(const DesktopNotifier&) = delete;

  // Asks the service to show a notification; key comes back in onAction
  // when the user clicks it. The call does not wait for the service.
  void Notify(const std::u16string& summary, const std::u16string& body, std::string key);
  // The notifications shown so far (answered with an id by the service).
  int Shown() const;

  // The user clicked the notification made with key.
  std::function<void(const std::string& key)> onAction;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace lv
