#pragma once
// The bridge's log lines on stderr. Under systemd the journal stamps each
// line itself (and says so in JOURNAL_STREAM); anywhere else a line carries
// its own local time.
#include <chrono>
#include <string>
#include <string_view>

namespace lvbridge {

// "lorventa-bridge: text", after "YYYY-MM-DD HH:MM:SS.mmm " unless stamped.
std::string LogLine(std::string_view text, bool journalStamps, std::chrono::system_clock::time_point now);
// Writes one line, stamped when not run under the journal.
void Log(std::string_view text);

}  // namespace lvbridge
