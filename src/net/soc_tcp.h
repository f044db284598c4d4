#pragma once
// The client's TCP connection: tells one window when it connects and closes,
// and moves every received byte into its own receive ring, from which the
// parse thread takes whole messages.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "net/ring_buffer.h"
#include "platform/core/async_socket.h"
#include "platform/core/sync.h"
#include "platform/core/window.h"

namespace lv {

constexpr std::uint32_t WM_DVR_CONNECT_SOCKET = 5024;
constexpr std::uint32_t WM_DVR_SOCKET_RESERVED = 5025;
constexpr std::uint32_t WM_DVR_CLOSE_SOCKET = 5026;
// A connect that completed with an error (refused, unreachable, name not
// found): wParam = the error code, lParam = the socket.
constexpr std::uint32_t WM_DVR_CONNECT_FAIL = 5027;

constexpr std::int32_t kReceiveChunk = 8192;
constexpr std::int32_t kReceiveRingCapacity = 1 << 20;

// Consecutive 100 ms waits of the current OnReceive for room in the ring.
// Touched only on the thread that owns the sockets.
extern std::int32_t g_DataNotExist;

class CSoc_TCP : public CAsyncSocket {
 public:
  CSoc_TCP(HWND notifyWindow, std::uint32_t receiveMessage, std::uint32_t connectMessage,
           std::uint32_t closeMessage);
  ~CSoc_TCP() override;

  // Open the socket and start a non-blocking connect. 1 if the socket could be
  // opened (whatever the connect's immediate outcome), else 0. A connect that
  // cannot complete (refused, name not found) is reported with
  // WM_DVR_CONNECT_FAIL, never left without an answer.
  int ConnectByName(const char* host, std::uint16_t port);
  int ConnectByAddress(const sockaddr_in& address);
  // Closes the socket if connected; otherwise does nothing.
  void Disconnect();

  int IsConnected() const { return m_connected.load(std::memory_order_acquire); }
  // The error code of a connect that completed with an error (0 otherwise).
  int ConnectError() const { return m_connectError.load(std::memory_order_acquire); }
  // Bytes taken from the network into the ring so far.
  std::uint64_t BytesReceived() const { return m_received.load(std::memory_order_relaxed); }
  CRingBuffer& Ring() { return *m_ring; }
  HWND NotifyWindow() const { return m_notifyWindow; }
  // The event set whenever received bytes have been stored in the ring, so a
  // reader waiting on it wakes at once (owner's thread; none by default).
  void SetReceiveSignal(std::shared_ptr<AutoResetEvent> signal) { m_receiveSignal = std::move(signal); }

  // Length of one wait for room in the ring (100 ms; tests may shorten it).
  static void SetWaitPauseForTests(int ms);

  // Where the receive-ready step takes its bytes from: the socket itself,
  // unless a source is given. A source fills at most length bytes and returns
  // how many, or -1 with *error set to the failure's code. It lets the step
  // run without a connection (fuzzers, tests).
  using ByteSource = std::function<int(void* buffer, int length, int* error)>;
  void SetByteSourceForTests(ByteSource source) { m_byteSource = std::move(source); }
  // One receive-ready notification without error, as the event loop delivers it.
  void ReceiveReadyForTests() { OnReceive(0); }

 protected:
  void OnConnect(int errorCode) override;
  void OnReceive(int errorCode) override;
  void OnClose(int errorCode) override;

 private:
  std::atomic<int> m_connected{0};
  std::atomic<int> m_connectError{0};
  std::atomic<std::uint64_t> m_received{0};
  const HWND m_notifyWindow;
  const std::uint32_t m_receiveMessage;
  const std::uint32_t m_connectMessage;
  const std::uint32_t m_closeMessage;
  std::unique_ptr<CRingBuffer> m_ring;
  std::shared_ptr<AutoResetEvent> m_receiveSignal;
  ByteSource m_byteSource;

  void ConnectFailed(int errorCode);
  // One receive into buffer; -1 with *error set on failure.
  int ReceiveChunk(void* buffer, int length, int* error);
};

}  // namespace lv
