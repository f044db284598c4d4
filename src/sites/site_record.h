#pragma once
// The stored form of one site: the record text "name+address+port+user+password+"
// and its bytes in the code page, plus the rule of what a record can carry.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "session/site_fields.h"

namespace lv {

// A field longer than this does not fit the loader's field buffer.
constexpr int kMaxSiteFieldLength = 99;
// A longer record does not fit the 256 stored bytes the loader reads (2 x L + 1).
constexpr int kMaxSiteRecordLength = 127;
// The loader reads at most this many bytes of one value.
constexpr std::size_t kSiteValueReadLimit = 256;


// "%s+%s+%d+%s+%s+" of the five fields.
std::u16string FormatSiteRecord(const SiteFields& fields);
// The record text in the code page, then zero bytes up to exactly 2 x L bytes
// (L = the text's length in UTF-16 code units).
std::vector<std::uint8_t> EncodeSiteRecord(const std::u16string& record);
// Value data back to fields: the bytes up to the first zero byte, split on
// '+'. Empty unless the text holds exactly five plus signs; anything after
// the fifth is ignored. The port is ParseDecimal of the third field.
std::optional<SiteFields> DecodeSiteRecord(const std::uint8_t* data, std::size_t size);

// Why the store cannot keep what the registration form holds.
enum class SiteFieldFault {
  None,
  PlusSign,       // the loader splits on every '+'
  NotInCodePage,  // a character the code page cannot carry would come back as '?'
  FieldTooLong,   // over kMaxSiteFieldLength characters
  RecordTooLong,  // the whole record over kMaxSiteRecordLength characters
};

struct SiteFieldProblem {
  int field = -1;  // 0 name, 1 address, 2 port, 3 user id, 4 password; -1 none
  SiteFieldFault fault = SiteFieldFault::None;
  explicit operator bool() const { return fault != SiteFieldFault::None; }
  bool operator==(const SiteFieldProblem&) const = default;
};

// The first field, in form order, that the store cannot keep as typed. The
// port is stored as the number ParseDecimal makes of its text, so only its
// length in the record counts against it. A record over the limit marks the
// longest text field, the one whose shortening helps most.
SiteFieldProblem CheckSiteFields(const std::u16string& name, const std::u16string& address,
                                 const std::u16string& portText, const std::u16string& user,
                                 const std::u16string& password);

}  // namespace lv
