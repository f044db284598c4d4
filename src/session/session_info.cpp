// What a session tells its clients about the DVR, bounded once for all of
// them, and the login script they all start with.
#include <sys/socket.h>

#include <algorithm>

#include "platform/core/debug_out.h"
#include "session/dvr_session.h"

namespace lv {
namespace {

bool InRange(int channel, int count) { return channel >= 0 && channel < count; }

}  // namespace

bool CDvrSession::BeginLogin() {
  if (!Start()) return false;
  ReqHwInfo();
  ReqOsInfo();
  ReqProtoVer();
  ReqLogin();
  return true;
}

int CDvrSession::ChannelCount() const { return std::min<int>(m_nMaxChannel.load(), kMaxChannels); }

bool CDvrSession::HasCamera(int channel) const {
  return InRange(channel, ChannelCount()) && m_bCamera[static_cast<std::size_t>(channel)].load() != 0;
}

bool CDvrSession::IsLocked(int channel) const {
  return InRange(channel, kMaxChannels) && m_bLock[static_cast<std::size_t>(channel)].load() != 0;
}

bool CDvrSession::IsPtzCamera(int channel) const {
  return InRange(channel, ChannelCount()) && m_bPTZ[static_cast<std::size_t>(channel)].load() != 0;
}

bool CDvrSession::MayOpen(int channel) const { return HasCamera(channel) && !IsLocked(channel); }

int CDvrSession::FirstChannelToOpen() const {
  for (int ch = 0; ch < ChannelCount(); ++ch)
    if (MayOpen(ch)) return ch;
  return -1;
}

std::uint32_t CDvrSession::CameraMask() const {
  std::uint32_t mask = 0;
  for (int ch = 0; ch < ChannelCount(); ++ch)
    if (HasCamera(ch)) mask |= 1u << ch;
  return mask;
}

SiteFields CDvrSession::Site() const {
  return {m_strSiteName, m_strAddress, m_nPort, m_strUserID, m_strPassword};
}

void CDvrSession::SetSite(const SiteFields& site) {
  m_strSiteName = site.name;
  m_strAddress = site.address;
  m_nPort = site.port;
  m_strUserID = site.user;
  m_strPassword = site.password;
}

std::uint64_t CDvrSession::BytesReceived() const { return m_pSocket ? m_pSocket->BytesReceived() : 0; }

std::string CDvrSession::ProtocolFault() const {
  std::lock_guard lock(m_FaultMutex);
  return m_strFault;
}

void CDvrSession::ClearProtocolFault() {
  std::lock_guard lock(m_FaultMutex);
  m_strFault.clear();
  m_bProtocolFault.store(false);
}

void CDvrSession::FailProtocol(const char* why) {
  DebugOut("[DVR Data] Protocol fault, the link ends: %s\r\n", why);
  {
    std::lock_guard lock(m_FaultMutex);
    if (m_strFault.empty()) m_strFault = why;
  }
  m_bProtocolFault.store(true);
  // The owner sees the link close as if the DVR had closed it; the socket
  // itself is closed there, after this thread is joined.
  if (m_pSocket && m_pSocket->Handle() >= 0) ::shutdown(m_pSocket->Handle(), SHUT_RDWR);
}

}  // namespace lv
