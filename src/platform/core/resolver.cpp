#include "platform/core/resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <mutex>

namespace lv {
namespace {
std::mutex g_hookMutex;
ResolverHook g_hook;
}  // namespace

void SetResolverHook(ResolverHook hook) {
  std::lock_guard lock(g_hookMutex);
  g_hook = std::move(hook);
}

std::optional<std::uint32_t> ResolveHostV4(const std::string& host) {
  in_addr numeric{};
  if (inet_pton(AF_INET, host.c_str(), &numeric) == 1) return numeric.s_addr;
  ResolverHook hook;
  {
    std::lock_guard lock(g_hookMutex);
    hook = g_hook;
  }
  // Called outside the lock: a slow answer must not hold up other look-ups.
  if (hook) return hook(host);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) return std::nullopt;
  const std::uint32_t addr = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(result);
  return addr;
}

}  // namespace lv
