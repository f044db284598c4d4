#include "service.h"

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>

namespace lvbridge {

void NotifyReady(const std::string& status) { sd_notify(0, ("READY=1\nSTATUS=" + status).c_str()); }
void NotifyStatus(const std::string& status) { sd_notify(0, ("STATUS=" + status).c_str()); }
void NotifyStopping() { sd_notify(0, "STOPPING=1\nSTATUS=Stopping"); }
void NotifyWatchdog() { sd_notify(0, "WATCHDOG=1"); }

std::chrono::milliseconds WatchdogPingInterval() {
  std::uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) <= 0) return std::chrono::milliseconds(0);
  // Never zero, so a tiny interval still pings instead of turning pings off.
  return std::max(std::chrono::milliseconds(1), std::chrono::milliseconds(usec / 2000));
}

}  // namespace lvbridge
