#include "sites/site_record.h"

#include <algorithm>
#include <array>

#include "protocol/text.h"

namespace lv {
namespace {

std::u16string DecimalText(std::int32_t value) {
  const std::string digits = std::to_string(value);
  return {digits.begin(), digits.end()};
}

}  // namespace

std::u16string FormatSiteRecord(const SiteFields& f) {
  std::u16string record;
  for (const std::u16string* field : {&f.name, &f.address}) record += *field + u'+';
  record += DecimalText(f.port) + u'+';
  for (const std::u16string* field : {&f.user, &f.password}) record += *field + u'+';
  return record;
}

std::vector<std::uint8_t> EncodeSiteRecord(const std::u16string& record) {
  const int stored = static_cast<int>(record.size()) * 2;
  // WideToAnsi clears 256 bytes and writes a zero at [stored]: room for both,
  // so an overlong record is stored whole instead of overrunning the buffer.
  std::vector<char> buffer(std::max<std::size_t>(kSiteValueReadLimit, static_cast<std::size_t>(stored) + 1), 0);
  WideToAnsi(record.c_str(), buffer.data(), stored);
  return {buffer.begin(), buffer.begin() + stored};
}

std::optional<SiteFields> DecodeSiteRecord(const std::uint8_t* data, std::size_t size) {
  const std::u16string text = AnsiToWide(reinterpret_cast<const char*>(data), size);
  std::array<std::u16string, 5> fields;
  int plusSigns = 0;
  for (char16_t c : text) {
    if (c == u'+')
      ++plusSigns;
    else if (plusSigns < 5)
      fields[static_cast<std::size_t>(plusSigns)] += c;
  }
  if (plusSigns != 5) return std::nullopt;
  return SiteFields{fields[0], fields[1], ParseDecimal(fields[2]), fields[3], fields[4]};
}

SiteFieldProblem CheckSiteFields(const std::u16string& name, const std::u16string& address,
                                 const std::u16string& portText, const std::u16string& user,
                                 const std::u16string& password) {
  const std::array<const std::u16string*, 5> fields{&name, &address, &portText, &user, &password};
  for (int i = 0; i < 5; ++i) {
    if (i == 2) continue;  // stored as a number
    const std::u16string& text = *fields[static_cast<std::size_t>(i)];
    if (text.find(u'+') != std::u16string::npos) return {i, SiteFieldFault::PlusSign};
    if (!FitsCodePage(text)) return {i, SiteFieldFault::NotInCodePage};
    if (text.size() > static_cast<std::size_t>(kMaxSiteFieldLength)) return {i, SiteFieldFault::FieldTooLong};
  }
  const std::u16string record = FormatSiteRecord({name, address, ParseDecimal(portText), user, password});
  if (record.size() > static_cast<std::size_t>(kMaxSiteRecordLength)) {
    int longest = 0;
    for (int i : {1, 3, 4})
      if (fields[static_cast<std::size_t>(i)]->size() > fields[static_cast<std::size_t>(longest)]->size()) longest = i;
    return {longest, SiteFieldFault::RecordTooLong};
  }
  return {};
}

}  // namespace lv
