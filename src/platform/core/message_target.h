#pragma once
// The Qt side of window handles: the posted-message event, registration of a
// receiving object, and a small ready-made receiver that calls a function.
#include <QEvent>
#include <QObject>
#include <cstdint>
#include <functional>

#include "platform/core/window.h"

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace lv {

// A posted event is made on the posting thread and read on the receiver's;
// Qt's queue, which orders the two, is not visible to ThreadSanitizer. Every
// event() that may receive a PostedMessageEvent calls this first.
inline void AcquirePostedEvent([[maybe_unused]] QEvent* e) {
#if defined(__SANITIZE_THREAD__)
  __tsan_acquire(e);
#endif
}

class PostedMessageEvent : public QEvent {
 public:
  PostedMessageEvent(std::uint32_t msg, WPARAM wParam, LPARAM lParam)
      : QEvent(EventType()), message(msg), wParam(wParam), lParam(lParam) {}
  static QEvent::Type EventType();

  const std::uint32_t message;
  const WPARAM wParam;
  const LPARAM lParam;
};

// Registers receiver; posted messages arrive at it as PostedMessageEvent on
// its thread. The receiver must call UnregisterWindow before it is destroyed.
HWND RegisterWindow(QObject* receiver);
void UnregisterWindow(HWND hwnd);

// Receives posted messages and hands each to a handler on its own thread.
class MessageTarget : public QObject {
 public:
  using Handler = std::function<void(std::uint32_t msg, WPARAM wParam, LPARAM lParam)>;
  explicit MessageTarget(Handler handler, QObject* parent = nullptr);
  ~MessageTarget() override;

  HWND Handle() const { return m_hwnd; }

 protected:
  bool event(QEvent* e) override;

 private:
  Handler m_handler;
  HWND m_hwnd;
};

}  // namespace lv
