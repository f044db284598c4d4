#pragma once
// A window handle for code without Qt: messages posted to it (from any
// thread) are handed to a function on the thread that made it.
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/window.h"

namespace lv {

class MessageTarget;

class CallbackWindow {
 public:
  using Handler = std::function<void(std::uint32_t msg, WPARAM wParam, LPARAM lParam)>;
  explicit CallbackWindow(Handler handler);
  ~CallbackWindow();
  CallbackWindow(const CallbackWindow&) = delete;
  CallbackWindow& operator=(const CallbackWindow&) = delete;

  HWND Handle() const;

 private:
  std::unique_ptr<MessageTarget> m_target;
};

}  // namespace lv
