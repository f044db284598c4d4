#pragma once
// The bridge's log lines on stderr. Under systemd the journal stamps each
// line itself (and says so in JOURNAL_STREAM); anywhere else a line carries
// its own local time. Into the journal each line also carries its priority
// ("<3>" error ... "<7>" debug), which journalctl -p filters on.
#include <chrono>
#include <string>
#include <string_view>

namespace lvbridge {

// The journal's priorities (syslog's numbers).
enum class Priority { Error = 3, Warning = 4, Info = 6, Debug = 7 };

// "lorventa-bridge: text", after "YYYY-MM-DD HH:MM:SS.mmm " unless stamped,
// and after "<N>" when for the journal.
std::string LogLine(std::string_view text, bool journalStamps, std::chrono::system_clock::time_point now,
                    Priority priority = Priority::Info);
// True when stderr is the stream JOURNAL_STREAM ("device:inode") names; a
// child of a journal-run process may inherit the variable with another stderr.
bool StderrIsJournal(const char* journalStream);
// Writes one line, stamped when not run under the journal.
void Log(std::string_view text, Priority priority = Priority::Info);

}  // namespace lvbridge
