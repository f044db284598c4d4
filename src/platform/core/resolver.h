#pragma once
// Blocking IPv4 name lookup, with a seam so tests can answer from a table
// (no dotted host name resolves to loopback on a machine without DNS).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace lv {

// The IPv4 address of host in network byte order; dotted-decimal text is
// converted without a lookup. nullopt when the name cannot be resolved.
std::optional<std::uint32_t> ResolveHostV4(const std::string& host);

// While set, the hook answers every look-up of a non-numeric name.
using ResolverHook = std::function<std::optional<std::uint32_t>(const std::string& host)>;
void SetResolverHook(ResolverHook hook);

}  // namespace lv
