#include "session/dvr_session.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "net/ddns.h"
#include "platform/core/debug_out.h"
#include "platform/core/callback_window.h"
#include "platform/core/resolver.h"
#include "protocol/debug_hook.h"
#include "protocol/text.h"

namespace lv {
namespace {

void InstallProtocolDebug() {
  static std::once_flag once;
  std::call_once(once, [] { SetProtocolDebugHook(&DebugWrite); });
}

// A port the socket layer can take; others would silently wrap.
bool ValidPort(int port) { return port > 0 && port <= 65535; }

// The longest host name the lookup passes on (its scratch holds 255 bytes).
constexpr std::size_t kMaxHostNameBytes = 255;

}  // namespace

CDvrSession::CDvrSession(HWND notifyWindow) : m_hNotifyWnd(notifyWindow) {
  InstallProtocolDebug();
  Reset();
}

CDvrSession::~CDvrSession() {
  m_pLookup.reset();
  Stop();
  m_SendQueue.Clear();
}

void CDvrSession::CreateSocket() {
  m_pSocket = std::make_unique<CSoc_TCP>(m_hNotifyWnd.load(), WM_DVR_SOCKET_RESERVED, WM_DVR_CONNECT_SOCKET,
                                         WM_DVR_CLOSE_SOCKET);
  m_pSocket->SetReceiveSignal(m_pParseEvent);
}

ConnectAddress ReadConnectAddress(const std::u16string& address) {
  ConnectAddress out;
  // Every layer below takes terminated code-page text: a zero character would
  // cut it and an unmapped one turn into '?', either naming another host.
  if (address.find(u'\0') != std::u16string::npos || !FitsCodePage(address)) return out;
  const std::size_t dot = address.find(u'.');
  if (dot == std::u16string::npos || dot == 0) {
    if (!DdnsIdFits(address)) return out;
    out.kind = AddressKind::DdnsId;
  } else {
    in_addr numeric{};
    out.kind = inet_pton(AF_INET, ToAnsi(address).c_str(), &numeric) == 1 ? AddressKind::IPv4 : AddressKind::HostName;
    if (out.kind == AddressKind::HostName && address.size() > kMaxHostNameBytes) {
      out.kind = AddressKind::Refused;  // cutting it would ask for another name
      return out;
    }
  }
  out.host = ToAnsi(address);
  return out;
}

// One look-up, shared by the session and its thread: the input is set
// before the thread starts, the result before the thread posts.
struct AddressLookup {
  AddressKind kind;
  std::u16string address;
  std::string hostText;  // the bytes the address rules hand on
  std::uint32_t generation = 0;
  std::optional<std::uint32_t> host;  // network byte order
  std::string resolvedText;           // what DDNS answered, for the debug line
};

namespace {
constexpr std::uint32_t kLookupDone = 1;
}  // namespace

int CDvrSession::TryConnect_DVR() {
  if (m_bStarted.load()) return 1;
  m_pSocket.reset();
  m_pLookup.reset();

  const std::string address = Utf16ToUtf8(m_strAddress);
  DebugOut(" TryConnect_DVR! => [%s] [%d]\r\n", address.c_str(), m_nPort);
  if (!ValidPort(m_nPort)) {
    DebugOut(" TryConnect_DVR! => invalid port [%d]\r\n", m_nPort);
    return 0;
  }
  const ConnectAddress target = ReadConnectAddress(m_strAddress);
  if (target.kind == AddressKind::Refused) {
    DebugOut(" TryConnect_DVR! => address refused [%s]\r\n", address.c_str());
    return 0;
  }
  if (target.kind != AddressKind::IPv4) return StartLookup(target) ? 1 : 0;
  DebugOut(" Dot Position [%d]\r\n", static_cast<int>(m_strAddress.find(u'.')));
  CreateSocket();
  return ConnectStarted(m_pSocket->ConnectByName(target.host.c_str(), static_cast<std::uint16_t>(m_nPort)));
}

bool CDvrSession::StartLookup(const ConnectAddress& target) {
  if (!m_pLookupTarget)
    m_pLookupTarget = std::make_unique<CallbackWindow>(
        [this](std::uint32_t msg, WPARAM wParam, LPARAM) {
          if (msg == kLookupDone) OnLookupDone(static_cast<std::uint32_t>(wParam));
        });
  auto lookup = std::make_shared<AddressLookup>();
  lookup->kind = target.kind;
  lookup->hostText = target.host;
  lookup->address = m_strAddress;
  lookup->generation = ++m_nLookupGeneration;
  m_pLookup = lookup;
  const HWND receiver = m_pLookupTarget->Handle();
  // The thread owns what it uses (the look-up record) and reports by posting,
  // so it is never waited for: a session stopped meanwhile forgets it.
  std::thread worker;
  const bool started = StartThread(worker, [lookup, receiver] {
    if (lookup->kind == AddressKind::DdnsId) {
      if (const auto real = ResolveDdns(lookup->address)) {
        lookup->resolvedText = Utf16ToUtf8(*real);
        lookup->host = ResolveHostV4(ToAnsi(*real));
      }
    } else {
      lookup->host = ResolveHostV4(lookup->hostText);
    }
    PostMessage(receiver, kLookupDone, lookup->generation, 0);
  });
  if (started) worker.detach();
  else m_pLookup.reset();
  return started;
}

void CDvrSession::OnLookupDone(std::uint32_t generation) {
  if (!m_pLookup || m_pLookup->generation != generation) return;  // stopped or superseded
  const std::shared_ptr<AddressLookup> lookup = std::move(m_pLookup);
  const std::string address = Utf16ToUtf8(lookup->address);
  if (!lookup->host) {
    DebugOut(lookup->kind == AddressKind::DdnsId ? " TryConnect_DVR! => DDNS lookup failed [%s]\r\n"
                                                 : " TryConnect_DVR! => name not found [%s]\r\n",
             address.c_str());
    ConnectFailed("lookup", kErrHostNotFound);
    return;
  }
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(m_nPort));
  sa.sin_addr.s_addr = *lookup->host;
  const auto* b = reinterpret_cast<const std::uint8_t*>(&sa.sin_addr.s_addr);
  if (lookup->kind == AddressKind::DdnsId) DebugOut(" Real Connect IP [%s]\r\n", lookup->resolvedText.c_str());
  else DebugOut(" TryConnect_DVR! => DomainName [%d][%d][%d][%d]\r\n", b[0], b[1], b[2], b[3]);
  CreateSocket();
  if (!ConnectStarted(m_pSocket->ConnectByAddress(sa))) {
    ConnectFailed("socket", CAsyncSocket::GetLastError());
    return;
  }
  DebugOut(" ConnectSocket OK!\r\n");
}

void CDvrSession::ConnectFailed(const char* why, int code) {
  DebugOut(" TryConnect_DVR! => connect fail (%s) [%d]\r\n", why, code);
  Post(WM_DVR_CONNECT_FAIL, static_cast<WPARAM>(code), 0);
}

int CDvrSession::ConnectStarted(int opened) {
  if (!opened) DebugOut(" TryConnect_DVR! => socket not created [%d]\r\n", CAsyncSocket::GetLastError());
  return opened ? 1 : 0;
}

int CDvrSession::Start() {
  if (!m_pSocket) return 0;
  if (m_bStarted.load()) return 1;
  m_pProtocol = std::make_unique<CDvrProtocol>();
  ClearProtocolFault();
  int started = 0;
  if (StartSendThread()) started = StartParseThread() ? 1 : 0;
  m_bStarted.store(started);
  return started;
}

bool CDvrSession::StartSendThread() {
  if (m_bSendStop.load() == 0) return true;
  if (m_hSendThread.joinable()) m_hSendThread.join();
  m_bSendStop.store(0);
  if (!StartThread(m_hSendThread, [this] { SendThreadMain(); })) m_bSendStop.store(1);
  return m_bSendStop.load() == 0;
}

bool CDvrSession::StartParseThread() {
  if (m_bParseStop.load() == 0) return true;
  if (m_hParseThread.joinable()) m_hParseThread.join();
  m_bParseStop.store(0);
  if (!StartThread(m_hParseThread, [this] { ParseThreadMain(); })) m_bParseStop.store(1);
  return m_bParseStop.load() == 0;
}

void CDvrSession::Stop() {
  m_pLookup.reset();  // a look-up under way no longer leads to a connect
  if (m_bParseStop.load() == 0) {
    m_bParseStop.store(1);
    m_pParseEvent->Set();
  }
  if (m_hParseThread.joinable()) m_hParseThread.join();
  if (m_bSendStop.load() == 0) {
    m_bSendStop.store(1);
    m_SendEvent.Set();
  }
  if (m_hSendThread.joinable()) m_hSendThread.join();
  if (m_pSocket) {
    m_pSocket->Disconnect();
    m_pSocket.reset();
  }
  m_bStarted.store(0);
  m_pProtocol.reset();
  m_ChannelTable.Clear();
  m_nOpenAskedCH.store(kNoChannel);
  // Requests meant for this connection must not reach the next one.
  m_SendQueue.Clear();
}

void CDvrSession::Reset() {
  // A started session is stopped first: its threads are woken and joined,
  // never waited for while asleep.
  Stop();
  for (int i = 0; i < kMaxChannels; ++i) {
    m_bCamera[i].store(0);
    m_bPTZ[i].store(0);
    m_bLock[i].store(0);
    m_bFunction[i].store(0);
  }
}

void CDvrSession::Disconnect() {
  Stop();
  Reset();
}

void CDvrSession::AttachOffline(std::unique_ptr<CSoc_TCP> socket) {
  Stop();
  m_pSocket = std::move(socket);
  if (m_pSocket) m_pSocket->SetReceiveSignal(m_pParseEvent);
  m_pProtocol = std::make_unique<CDvrProtocol>();
  ClearProtocolFault();
}

bool CDvrSession::WaitForFrame(int timeoutMs) { return m_FrameEvent.WaitFor(std::max(0, timeoutMs)); }

void CDvrSession::WakeFrameWaiter() { m_FrameEvent.Set(); }

// --- requests ---

void CDvrSession::Request(std::uint32_t id, const RequestParams& params) {
  if (!m_pProtocol) return;
  Message m = CDvrProtocol::BuildRequest(id, params);
  if (m) SendToDvr(std::move(m));
}

void CDvrSession::ReqHwInfo() { Request(PID_XAV_REQ_HW_INFO); }
void CDvrSession::ReqOsInfo() { Request(PID_XAV_REQ_OS_INFO); }
void CDvrSession::ReqProtoVer() { Request(PID_XAV_REQ_PROTO_VER); }

void CDvrSession::ReqLogin() { Request(PID_XAV_REQ_LOGIN, LoginParams{m_strUserID, m_strPassword, 1}); }

void CDvrSession::OpenChannel(std::uint8_t channel, std::uint8_t b1, std::uint8_t b2, std::uint32_t w1,
                              std::uint32_t w2) {
  if (!m_pProtocol) return;
  m_nOpenAskedCH.store(channel);
  Request(PID_XAV_REQ_CH_OPEN, ChannelOpenParams{channel, b1, b2, w1, w2});
}

void CDvrSession::CloseChannel(std::uint8_t channel) { Request(PID_XAV_REQ_CH_CLOSE, ByteParams{channel}); }

void CDvrSession::Req010105(std::uint8_t v1, std::uint8_t v2) { Request(PID_XAV_REQ_010105, TwoByteParams{v1, v2}); }

void CDvrSession::CMD_PTZ_Control(std::uint8_t channel, std::uint8_t control) {
  if (!m_pProtocol) return;
  DebugOut("CMD_PTZ_Control Ch[%d] Control[%d]\r\n", channel, control);
  Request(PID_XAV_REQ_CONTROL_PTZ, TwoByteParams{channel, control});
}

int CDvrSession::SendToDvr(Message message) {
  if (m_bSendStop.load() != 0 || message.length == 0 || !message) return 0;
  const int before = m_SendQueue.Push(std::move(message));
  if (before == 0) m_SendEvent.Set();
  return 1;
}

// --- send thread ---

bool CDvrSession::SendWhole(const Message& message) {
  // A non-blocking send may take part of a message; finish it, waiting for
  // room in the socket, so a request is never half-sent.
  std::uint32_t sent = 0;
  while (sent < message.length) {
    const int n = m_pSocket->Send(message.data.get() + sent, static_cast<int>(message.length - sent), 0);
    if (n > 0) {
      sent += static_cast<std::uint32_t>(n);
      continue;
    }
    if (n < 0 && CAsyncSocket::GetLastError() != kErrWouldBlock) return false;
    if (m_bSendStop.load() != 0) return false;
    pollfd p{m_pSocket->Handle(), POLLOUT, 0};
    ::poll(&p, 1, 50);
  }
  return true;
}

void CDvrSession::SendThreadMain() {
  while (m_bSendStop.load() == 0) {
    if (m_SendQueue.Count() == 0) {
      m_SendEvent.Wait();
      if (m_bSendStop.load() != 0) break;
    }
    Message m;
    int before = 0;
    if (m_SendQueue.Pop(m, before)) {
      if (!SendWhole(m)) DebugOut("Send To DVR Fail! [%d]Bytes error[%d]\r\n", m.length, CAsyncSocket::GetLastError());
      DebugOut("Send To DVR : [%d]Bytes! RemainCnt[%d]\r\n\r\n", m.length, before);
    }
    SleepMs(1);
  }
}

// --- parse thread ---

void CDvrSession::Post(std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
  PostMessage(m_hNotifyWnd.load(), msg, wParam, lParam);
}

void CDvrSession::ParseThreadMain() {
  while (m_bParseStop.load() == 0) {
    ParsePass();
    // Sleeps until the socket stores more bytes (or a stop), at most the pace.
    m_pParseEvent->WaitFor(kParsePaceMs);
  }
}

}  // namespace lv
