#include "platform/core/debug_out.h"

#include <QLoggingCategory>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

// Category "lorventa", debug level off by default: QT_LOGGING_RULES="lorventa.debug=true"
// turns the debug lines on (the rule names the category and its debug level).
Q_LOGGING_CATEGORY(lcLorventaDebug, "lorventa", QtWarningMsg)

namespace lv {
namespace {
std::mutex g_sinkMutex;
DebugSink g_sink;  // empty = Qt logging category
}  // namespace

void DebugWrite(const std::string& line) {
  std::lock_guard lock(g_sinkMutex);
  if (g_sink) {
    g_sink(line);
    return;
  }
  if (lcLorventaDebug().isDebugEnabled()) {
    QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r'))) text.chop(1);
    qCDebug(lcLorventaDebug).noquote() << text;
  }
}

void DebugOut(const char* fmt, ...) {
  char small[512];
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  const int n = std::vsnprintf(small, sizeof small, fmt, ap);
  va_end(ap);
  if (n < 0) {
    va_end(ap2);
    return;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    va_end(ap2);
    DebugWrite(std::string(small, static_cast<size_t>(n)));
    return;
  }
  std::vector<char> big(static_cast<size_t>(n) + 1);
  std::vsnprintf(big.data(), big.size(), fmt, ap2);
  va_end(ap2);
  DebugWrite(std::string(big.data(), static_cast<size_t>(n)));
}

DebugSink SetDebugSink(DebugSink sink) {
  std::lock_guard lock(g_sinkMutex);
  DebugSink old = std::move(g_sink);
  g_sink = std::move(sink);
  return old;
}

}  // namespace lv
