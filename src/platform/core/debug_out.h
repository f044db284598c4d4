#pragma once
// Diagnostic output. Lines go to one process-wide sink; by default the Qt
// logging category "lorventa" at debug level, off unless QT_LOGGING_RULES
// has "lorventa.debug=true".
// Lines are passed on exactly as formatted, including their "\r\n".
#include <functional>
#include <string>

namespace lv {

using DebugSink = std::function<void(const std::string& line)>;

// printf-style; %s arguments are UTF-8 narrow strings.
void DebugOut(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void DebugWrite(const std::string& line);

// Replaces the sink (an empty function restores the default); returns the old one.
DebugSink SetDebugSink(DebugSink sink);

}  // namespace lv
