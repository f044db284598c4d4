// The address rules of a connect: any site address text to its kind and the
// bytes handed on. What is not refused reaches the network exactly as typed.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "net/ddns.h"
#include "protocol/text.h"
#include "session/dvr_session.h"

using namespace lv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string address;
  // Mostly one byte per character (addresses are mostly ASCII); a 0xFF byte
  // takes the next two as one UTF-16 unit.
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF && i + 2 < size) {
      address.push_back(static_cast<char16_t>(data[i + 1] | (data[i + 2] << 8)));
      i += 2;
    } else {
      address.push_back(data[i]);
    }
  }
  const ConnectAddress target = ReadConnectAddress(address);
  FUZZ_CHECK(ClassifyAddress(address) == target.kind);
  if (target.kind == AddressKind::Refused) {
    FUZZ_CHECK(target.host.empty());
    return 0;
  }
  // The bytes are the text itself: nothing cut, nothing replaced.
  FUZZ_CHECK(target.host.find('\0') == std::string::npos);
  FUZZ_CHECK(AnsiToWide(target.host.data(), target.host.size()) == address);
  const std::size_t dot = address.find(u'.');
  const bool ddns = dot == std::u16string::npos || dot == 0;
  FUZZ_CHECK((target.kind == AddressKind::DdnsId) == ddns);
  if (ddns) {
    FUZZ_CHECK(DdnsIdFits(address) && address.size() <= 217);
    return 0;
  }
  in_addr numeric{};
  FUZZ_CHECK((target.kind == AddressKind::IPv4) == (inet_pton(AF_INET, target.host.c_str(), &numeric) == 1));
  FUZZ_CHECK(target.host.size() <= 255);
  return 0;
}
