#pragma once
// Message ids. A request id has the form 0x0B0GNNNN; its response is the same
// value with the top byte 0xAB. Groups: 0x00 device information and heartbeat,
// 0x01 login and channels, 0x02 video, 0x03 PTZ control.
#include <cstdint>

namespace lv {

constexpr std::uint32_t PID_XAV_REQ_HW_INFO = 0x0B000001;
constexpr std::uint32_t PID_XAV_REQ_OS_INFO = 0x0B000002;
constexpr std::uint32_t PID_XAV_REQ_PROTO_VER = 0x0B000003;
constexpr std::uint32_t PID_XAV_REQ_LOGIN = 0x0B010001;
constexpr std::uint32_t PID_XAV_REQ_CH_OPEN = 0x0B010003;
constexpr std::uint32_t PID_XAV_REQ_CH_CLOSE = 0x0B010004;
constexpr std::uint32_t PID_XAV_REQ_010101 = 0x0B010101;
constexpr std::uint32_t PID_XAV_REQ_010102 = 0x0B010102;
constexpr std::uint32_t PID_XAV_REQ_010103 = 0x0B010103;
constexpr std::uint32_t PID_XAV_REQ_010104 = 0x0B010104;
constexpr std::uint32_t PID_XAV_REQ_010105 = 0x0B010105;
constexpr std::uint32_t PID_XAV_REQ_CONTROL_PTZ = 0x0B030001;
constexpr std::uint32_t PID_XAV_REQ_030002 = 0x0B030002;

constexpr std::uint32_t PID_XAV_RES_HEARTBEAT = 0xAB000000;
constexpr std::uint32_t PID_XAV_RES_HW_INFO = 0xAB000001;
constexpr std::uint32_t PID_XAV_RES_OS_INFO = 0xAB000002;
constexpr std::uint32_t PID_XAV_RES_PROTO_VER = 0xAB000003;
constexpr std::uint32_t PID_XAV_RES_LOGIN = 0xAB010001;
constexpr std::uint32_t PID_XAV_RES_010002 = 0xAB010002;
constexpr std::uint32_t PID_XAV_RES_CH_OPEN = 0xAB010003;
constexpr std::uint32_t PID_XAV_RES_CH_CLOSE = 0xAB010004;
constexpr std::uint32_t PID_XAV_RES_010101 = 0xAB010101;
constexpr std::uint32_t PID_XAV_RES_010102 = 0xAB010102;
constexpr std::uint32_t PID_XAV_RES_010103 = 0xAB010103;
constexpr std::uint32_t PID_XAV_RES_010104 = 0xAB010104;
constexpr std::uint32_t PID_XAV_RES_010105 = 0xAB010105;
constexpr std::uint32_t PID_XAV_RES_VIDEO = 0xAB020001;
constexpr std::uint32_t PID_XAV_RES_020002 = 0xAB020002;
constexpr std::uint32_t PID_XAV_RES_CONTROL_PTZ = 0xAB030001;

// Result words: 1 is success; otherwise the upper 16 bits carry a reason.
constexpr std::uint32_t kResultOk = 1;
constexpr std::uint32_t kReasonAccountRejected = 0xF001;
constexpr std::uint32_t kReasonNoPermission = 0xF002;
constexpr std::uint32_t kReasonNoCamera = 0xF003;
constexpr std::uint32_t ResultReason(std::uint32_t result) { return result >> 16; }

}  // namespace lv
