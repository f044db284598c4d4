// The DDNS reply: whatever the server (or anyone on the way) sends back, in
// one chunk of at most the 1024-byte reply buffer. An address comes out only
// from between a pair of markers, bounded, and without a terminator inside.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "net/ddns.h"
#include "platform/core/debug_out.h"
#include "protocol/text.h"

using namespace lv;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetDebugSink([](const std::string&) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto* reply = reinterpret_cast<const char*>(data);
  const auto address = DdnsAddressFromReply(reply, size);
  if (!address) return 0;
  const std::u16string text = AnsiToWide(reply, size < 1024 ? size : 1024);
  const std::u16string open = u"<!--[[DDNS_REQIP", close = u"]]-->";
  const std::size_t at = text.find(open);
  FUZZ_CHECK(at != std::u16string::npos && at >= 1);
  // The text right after the first opening marker, up to the first closing one.
  FUZZ_CHECK(!address->empty() && text.compare(at + open.size(), address->size(), *address) == 0);
  FUZZ_CHECK(text.compare(at + open.size() + address->size(), close.size(), close) == 0);
  FUZZ_CHECK(address->find(close) == std::u16string::npos && address->find(u'\0') == std::u16string::npos);
  FUZZ_CHECK(address->size() < 1024 - open.size() - close.size());
  return 0;
}
