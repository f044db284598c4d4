#pragma once
// Window messages the parse thread posts to the site view. (The socket's own
// 5024..5026 are in net/soc_tcp.h.)
#include <cstdint>

namespace lv {

constexpr std::uint32_t WM_DVR_REPLAY_LOGIN = 7035;
constexpr std::uint32_t WM_DVR_RESP_010002 = 7036;
constexpr std::uint32_t WM_DVR_RESP_CH_OPEN = 7037;
constexpr std::uint32_t WM_DVR_RESP_CH_CLOSE = 7038;
constexpr std::uint32_t WM_DVR_REPLAY_HEARTBEAT = 7039;
constexpr std::uint32_t WM_DVR_REPLAY_HWINFO = 7040;
constexpr std::uint32_t WM_DVR_REPLAY_OSINFO = 7041;
constexpr std::uint32_t WM_DVR_REQ_010105 = 7042;
constexpr std::uint32_t WM_DVR_REPLAY_PROTOINFO = 7043;

}  // namespace lv
