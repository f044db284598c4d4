#include "shell/termination_cleanup.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace lv {
namespace {

int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGINT, SIGTERM};

void OnTerminationSignal(int sig) {
  const int saved = errno;
  const auto byte = static_cast<unsigned char>(sig);
  [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);  // async-signal-safe
  errno = saved;
}

void SetHandlers(void (*handler)(int)) {
  struct sigaction action{};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : kSignals) ::sigaction(sig, &action, nullptr);
}

}  // namespace

TerminationCleanup::TerminationCleanup(std::filesystem::path folder) : m_folder(std::move(folder)) {
  if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;  // then the signals act as before
  m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
  QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { OnSignal(); });
  SetHandlers(&OnTerminationSignal);
}

TerminationCleanup::~TerminationCleanup() {
  if (!m_notifier) return;
  SetHandlers(SIG_DFL);
  m_notifier.reset();
  ::close(g_pipe[0]);
  ::close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

void TerminationCleanup::OnSignal() {
  unsigned char sig = 0;
  if (::read(g_pipe[0], &sig, 1) != 1) return;
  // The store is only touched by calls on this thread, so none is half-way now.
  std::error_code ignored;
  std::filesystem::remove_all(m_folder, ignored);
  SetHandlers(SIG_DFL);
  ::raise(sig);
}

}  // namespace lv
