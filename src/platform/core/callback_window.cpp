#include "platform/core/callback_window.h"

#include "platform/core/message_target.h"

namespace lv {

CallbackWindow::CallbackWindow(Handler handler) : m_target(std::make_unique<MessageTarget>(std::move(handler))) {}
CallbackWindow::~CallbackWindow() = default;
HWND CallbackWindow::Handle() const { return m_target->Handle(); }

}  // namespace lv
