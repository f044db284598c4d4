// A stored site value (up to the 256 bytes the loader reads) to site fields,
// and the fields back to stored bytes: what loads must save and load again
// unchanged, at exactly two bytes per character.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "sites/site_record.h"

using namespace lv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kSiteValueReadLimit) size = kSiteValueReadLimit;
  const auto fields = DecodeSiteRecord(data, size);
  if (!fields) return 0;
  for (const std::u16string* text : {&fields->name, &fields->address, &fields->user, &fields->password})
    FUZZ_CHECK(text->find(u'+') == std::u16string::npos && text->find(u'\0') == std::u16string::npos);

  const std::u16string record = FormatSiteRecord(*fields);
  const std::vector<std::uint8_t> stored = EncodeSiteRecord(record);
  FUZZ_CHECK(stored.size() == 2 * record.size());
  const auto again = DecodeSiteRecord(stored.data(), stored.size());
  FUZZ_CHECK(again.has_value());
  FUZZ_CHECK(again->name == fields->name && again->address == fields->address && again->port == fields->port &&
             again->user == fields->user && again->password == fields->password);
  return 0;
}
