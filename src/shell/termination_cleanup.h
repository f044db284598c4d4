#pragma once
// A folder that must not outlive the process, even one ended by SIGINT or
// SIGTERM: while this object lives, either signal removes the folder and then
// ends the process as the signal would have. The handler only writes to a
// pipe; the removal runs on the main thread's event loop.
#include <filesystem>
#include <memory>

class QSocketNotifier;

namespace lv {

class TerminationCleanup {
 public:
  explicit TerminationCleanup(std::filesystem::path folder);
  ~TerminationCleanup();
  TerminationCleanup(const TerminationCleanup&) = delete;
  TerminationCleanup& operator=(const TerminationCleanup&) = delete;

 private:
  void OnSignal();

  std::filesystem::path m_folder;
  std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace lv
