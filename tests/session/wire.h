#pragma once
// Building response bytes for parser and session tests.
#include <cstdint>
#include <vector>

#include "protocol/protocol.h"

namespace lvtest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Msg(std::uint32_t id, std::uint32_t result, const Bytes& body, std::int64_t bodyLength = -1) {
  Bytes b(12 + body.size());
  lv::PutU32(b.data(), id);
  lv::PutU32(b.data() + 4, result);
  lv::PutU32(b.data() + 8, bodyLength < 0 ? static_cast<std::uint32_t>(body.size())
                                          : static_cast<std::uint32_t>(bodyLength));
  std::copy(body.begin(), body.end(), b.begin() + 12);
  return b;
}

inline Bytes LoginBody(std::uint32_t camera, std::uint32_t ptz, std::uint32_t lock, std::uint32_t function) {
  Bytes b(24, 0);
  lv::PutU32(b.data(), camera);
  lv::PutU32(b.data() + 4, ptz);
  lv::PutU32(b.data() + 8, lock);
  lv::PutU32(b.data() + 12, function);
  return b;
}

inline Bytes VideoMsg(std::uint8_t channel, std::uint32_t pictureSize, std::size_t actualPicture,
                      std::uint32_t date = 20100315, std::uint32_t time = 120000) {
  Bytes body(29, 0);
  body[0] = channel;
  lv::PutU16(body.data() + 2, 704);
  lv::PutU16(body.data() + 4, 480);
  lv::PutU32(body.data() + 6, date);
  lv::PutU32(body.data() + 10, time);
  lv::PutU32(body.data() + 14, pictureSize);
  for (std::size_t i = 0; i < actualPicture; ++i) body.push_back(static_cast<std::uint8_t>(0x10 + i));
  return Msg(lv::PID_XAV_RES_VIDEO, 1, body);
}

}  // namespace lvtest
