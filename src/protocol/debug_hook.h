#pragma once
// The protocol layer has no platform dependency; the few debug lines it writes
// go through this hook, which the session points at the program's debug sink.
#include <string>

namespace lv {

using ProtocolDebugHook = void (*)(const std::string& line);
void SetProtocolDebugHook(ProtocolDebugHook hook);
void ProtocolDebug(const std::string& line);

}  // namespace lv
