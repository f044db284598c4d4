#pragma once
// The five fields that say where a DVR site is and how to log in to it.
#include <cstdint>
#include <string>

namespace lv {

struct SiteFields {
  std::u16string name;
  std::u16string address;
  std::int32_t port = 0;
  std::u16string user;
  std::u16string password;
};

}  // namespace lv
