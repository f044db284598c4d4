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
// True when stderr is the stream JOURNAL_STREAM ("device:inode") names; a
// child of a journal-run process may inherit the variable with another stderr.
bool StderrIsJournal(const char* journalStream);
// Writes one line, stamped when not run under the journal.
void Log(std::string_view text);

}  // namespace lvbridge
