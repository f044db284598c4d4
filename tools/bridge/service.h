#pragma once
// What the bridge tells its service manager (sd_notify): ready once it
// listens with its sites resolved, a one-line status, watchdog pings and
// that it is stopping. Without NOTIFY_SOCKET every call does nothing.
#include <chrono>
#include <string>

namespace lvbridge {

void NotifyReady(const std::string& status);
void NotifyStatus(const std::string& status);
void NotifyStopping();
void NotifyWatchdog();

// Half the watchdog's interval when the manager watches this process
// (WATCHDOG_USEC, and WATCHDOG_PID when set, names it); zero otherwise.
std::chrono::milliseconds WatchdogPingInterval();

}  // namespace lvbridge
