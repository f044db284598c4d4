#include <QCoreApplication>
#include <mutex>
#include <unordered_map>

#include "platform/core/message_target.h"

namespace lv {
namespace {

struct Registry {
  std::mutex mutex;
  std::unordered_map<HWND, QObject*> windows;
  HWND next = 1;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // lives for the whole process
  return *registry;
}

}  // namespace

QEvent::Type PostedMessageEvent::EventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

HWND RegisterWindow(QObject* receiver) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  const HWND h = r.next++;
  r.windows.emplace(h, receiver);
  return h;
}

void UnregisterWindow(HWND hwnd) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.windows.erase(hwnd);
}

bool IsWindow(HWND hwnd) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  return r.windows.count(hwnd) != 0;
}

bool PostMessage(HWND hwnd, std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
  if (hwnd == 0) return false;
  Registry& r = TheRegistry();
  // The lock is held across postEvent so the receiver cannot be unregistered
  // (and then destroyed) between the look-up and the post; Qt drops events
  // still queued for an object when that object is destroyed.
  std::lock_guard lock(r.mutex);
  auto it = r.windows.find(hwnd);
  if (it == r.windows.end()) return false;
  auto* event = new PostedMessageEvent(msg, wParam, lParam);
#if defined(__SANITIZE_THREAD__)
  __tsan_release(event);
#endif
  QCoreApplication::postEvent(it->second, event);
  return true;
}

MessageTarget::MessageTarget(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_hwnd(RegisterWindow(this)) {}

MessageTarget::~MessageTarget() { UnregisterWindow(m_hwnd); }

bool MessageTarget::event(QEvent* e) {
  AcquirePostedEvent(e);
  if (e->type() == PostedMessageEvent::EventType()) {
    auto* m = static_cast<PostedMessageEvent*>(e);
    if (m_handler) m_handler(m->message, m->wParam, m->lParam);
    return true;
  }
  return QObject::event(e);
}

}  // namespace lv
