#include "log.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>

namespace lvbridge {

std::string LogLine(std::string_view text, bool journalStamps, std::chrono::system_clock::time_point now,
                    Priority priority) {
  std::string line;
  if (journalStamps) {
    line = "<" + std::to_string(static_cast<int>(priority)) + ">";
  } else {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    localtime_r(&seconds, &tm);
    char stamp[40];
    const std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    std::snprintf(stamp + n, sizeof stamp - n, ".%03d ", static_cast<int>(ms));
    line = stamp;
  }
  line += "lorventa-bridge: ";
  line += text;
  line += '\n';
  return line;
}

bool StderrIsJournal(const char* journalStream) {
  unsigned long long device = 0, inode = 0;
  struct stat st{};
  return journalStream && std::sscanf(journalStream, "%llu:%llu", &device, &inode) == 2 && fstat(2, &st) == 0 &&
         static_cast<unsigned long long>(st.st_dev) == device && static_cast<unsigned long long>(st.st_ino) == inode;
}

void Log(std::string_view text, Priority priority) {
  static const bool journal = StderrIsJournal(std::getenv("JOURNAL_STREAM"));
  const std::string line = LogLine(text, journal, std::chrono::system_clock::now(), priority);
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace lvbridge
