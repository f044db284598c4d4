#include "net/soc_tcp.h"

#include <sys/socket.h>

#include <atomic>
#include <cstring>

#include "platform/core/debug_out.h"
#include "platform/core/sync.h"

namespace lv {

std::int32_t g_DataNotExist = 0;

namespace {
std::atomic<int> g_waitPauseMs{100};
constexpr std::int32_t kMaxWaits = 10;
}  // namespace

void CSoc_TCP::SetWaitPauseForTests(int ms) { g_waitPauseMs.store(ms); }

CSoc_TCP::CSoc_TCP(HWND notifyWindow, std::uint32_t receiveMessage, std::uint32_t connectMessage,
                   std::uint32_t closeMessage)
    : m_notifyWindow(notifyWindow),
      m_receiveMessage(receiveMessage),
      m_connectMessage(connectMessage),
      m_closeMessage(closeMessage),
      m_ring(std::make_unique<CRingBuffer>(kReceiveRingCapacity)) {
  (void)m_receiveMessage;  // kept for the owner; the socket never posts it
}

CSoc_TCP::~CSoc_TCP() {
  if (m_connected.load() == 1) {
    Close();
    m_connected.store(0);
  }
  // The base destructor closes a handle whose connect never completed.
}

int CSoc_TCP::ConnectByName(const char* host, std::uint16_t port) {
  if (!Create()) {
    (void)GetLastError();
    return 0;
  }
  // Completion is reported through OnConnect, except for a name that does not
  // resolve: no connect is under way then, so report it here.
  if (!Connect(host, port) && GetLastError() == kErrHostNotFound) ConnectFailed(kErrHostNotFound);
  return 1;
}

int CSoc_TCP::ConnectByAddress(const sockaddr_in& address) {
  if (!Create()) {
    (void)GetLastError();
    return 0;
  }
  Connect(address);
  return 1;
}

void CSoc_TCP::Disconnect() {
  if (m_connected.load() != 1) return;
  // Closing with unread bytes resets the link, and a reset may take the last
  // requests (a PTZ stop) with it: end the sending side first, so they are
  // followed by an orderly end, and take what already waits to be read.
  if (const int fd = Handle(); fd >= 0) {
    ::shutdown(fd, SHUT_WR);
    char sink[65536];
    for (int i = 0; i < 64 && ::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0; ++i) {
    }
  }
  Close();
  m_connected.store(0, std::memory_order_release);
}

void CSoc_TCP::ConnectFailed(int errorCode) {
  m_connectError.store(errorCode, std::memory_order_release);
  DebugOut(" ConnectSocket Fail! [%d]\r\n", errorCode);
  if (m_notifyWindow)
    PostMessage(m_notifyWindow, WM_DVR_CONNECT_FAIL, static_cast<WPARAM>(errorCode), reinterpret_cast<LPARAM>(this));
}

void CSoc_TCP::OnConnect(int errorCode) {
  if (errorCode != 0) {
    ConnectFailed(errorCode);
    return;
  }
  m_connected.store(1, std::memory_order_release);
  if (m_notifyWindow) PostMessage(m_notifyWindow, m_connectMessage, 0, reinterpret_cast<LPARAM>(this));
}

void CSoc_TCP::OnReceive(int errorCode) {
  if (errorCode != 0) return;
  std::uint8_t chunk[kReceiveChunk];
  std::memset(chunk, 0, sizeof chunk);
  for (;;) {
    // Receive only while a whole chunk fits with a byte to spare.
    if (m_ring->EmptySize() > kReceiveChunk) {
      int error = 0;
      const int n = ReceiveChunk(chunk, kReceiveChunk, &error);
      if (n < 0) {
        if (error != kErrWouldBlock && m_notifyWindow)
          PostMessage(m_notifyWindow, m_closeMessage, 0, reinterpret_cast<LPARAM>(this));
      } else if (n > 0) {
        m_ring->Write(chunk, n);
        m_received.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
        if (m_receiveSignal) m_receiveSignal->Set();
      }
      g_DataNotExist = 0;
      return;
    }
    // No room: wait for the parser, at most 11 pauses. The bytes stay in the
    // socket and the next read-ready notification tries again.
    SleepMs(g_waitPauseMs.load());
    bool last = false;
    if (++g_DataNotExist > kMaxWaits) {
      g_DataNotExist = 0;
      last = true;
    }
    DebugOut("Save Buffer isn't enough, so Wait saving...EmptySize[%d] g_DataNotExist[%d]",
             m_ring->EmptySize(), g_DataNotExist);
    if (last) return;
  }
}

int CSoc_TCP::ReceiveChunk(void* buffer, int length, int* error) {
  if (m_byteSource) {
    const int n = m_byteSource(buffer, length, error);
    return n > length ? length : n;  // a source can never make the step overrun its chunk
  }
  const int n = Receive(buffer, length, 0);
  if (n < 0) *error = GetLastError();
  return n;
}

void CSoc_TCP::OnClose(int errorCode) {
  if (!m_notifyWindow) return;
  DebugOut("OnClose ErrorCode[%d] [%d](CSoc_TCP::OnClose)", errorCode, 0);
  PostMessage(m_notifyWindow, m_closeMessage, 0, reinterpret_cast<LPARAM>(this));
}

}  // namespace lv
