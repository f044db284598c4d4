#include "state.h"

#include <cstdio>

namespace dvrsim {

void SharedState::Record(Request r) {
  if (cfg.verbose) std::fprintf(stderr, "[dvrsim] #%zu %s\n", r.connection, r.Describe().c_str());
  {
    std::lock_guard<std::mutex> lock(mu_);
    log_.push_back(std::move(r));
  }
  cv_.notify_all();
}

std::vector<Request> SharedState::Requests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return log_;
}

bool SharedState::WaitForRequests(size_t n, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return log_.size() >= n; });
}

void SharedState::SetPtzCode(int ch, int code) {
  if (ch < 0 || ch >= static_cast<int>(ptz_.size())) return;
  std::lock_guard<std::mutex> lock(mu_);
  ptz_[static_cast<size_t>(ch)].code = code;
}

PtzPosition SharedState::AdvancePtz(int ch) {
  if (ch < 0 || ch >= static_cast<int>(ptz_.size())) return {};
  std::lock_guard<std::mutex> lock(mu_);
  PtzPosition& p = ptz_[static_cast<size_t>(ch)];
  StepPtz(&p, p.code);
  return p;
}

PtzPosition SharedState::Ptz(int ch) const {
  if (ch < 0 || ch >= static_cast<int>(ptz_.size())) return {};
  std::lock_guard<std::mutex> lock(mu_);
  return ptz_[static_cast<size_t>(ch)];
}

}  // namespace dvrsim
