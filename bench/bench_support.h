#pragma once
// What the streaming benchmarks share: the simulator as a process of its own
// (so its work is not counted as the client's), the client's CPU time and
// resident memory, percentiles, and the send time the simulator stamps into
// every video message.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lv {
class CDvrSession;
}

namespace lvbench {

// Points site at the simulator on port with its default account.
void UseSimulator(lv::CDvrSession& site, int port);

// Starts the simulator with args on a free loopback port and waits until it
// listens; pid 0 when it could not be started.
struct SimProcess {
  pid_t pid = 0;
  int port = 0;
  explicit SimProcess(std::vector<std::string> args);
  ~SimProcess();
};

double CpuSeconds();
long RssKiB();
double Percentile(std::vector<double> v, double p);
std::uint64_t NowMicros();
// Microseconds from the simulator's send of the video message to now (or
// to the steady-clock time given in microseconds).
double MicrosSinceSent(const std::uint8_t* message, std::uint64_t nowMicros = NowMicros());

}  // namespace lvbench
