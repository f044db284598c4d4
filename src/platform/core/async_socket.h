#pragma once
// Asynchronous TCP socket: a non-blocking POSIX socket whose connect-complete,
// receive-ready and closed notifications are delivered as virtual calls on the
// thread that created it, through that thread's Qt event loop.
//
// Error codes follow the Winsock numbering the rest of the program expects;
// the would-block code is 10035.
#include <netinet/in.h>

#include <cstdint>
#include <memory>

namespace lv {

constexpr int kErrWouldBlock = 10035;
constexpr int kErrNotConnected = 10057;
constexpr int kErrConnRefused = 10061;
constexpr int kErrConnReset = 10054;
constexpr int kErrTimedOut = 10060;
constexpr int kErrHostNotFound = 11001;

// Maps an errno value to its Winsock-numbered code.
int WinsockError(int errnoValue);

class CAsyncSocket {
 public:
  CAsyncSocket();
  virtual ~CAsyncSocket();
  CAsyncSocket(const CAsyncSocket&) = delete;
  CAsyncSocket& operator=(const CAsyncSocket&) = delete;

  // Opens a non-blocking stream socket. False (and GetLastError set) on failure.
  bool Create();
  // Starts a non-blocking connect; host is dotted text or a name (resolved
  // here, blocking). Like the platform's, returns false with kErrWouldBlock
  // while the connect is under way; completion arrives through OnConnect.
  bool Connect(const char* host, std::uint16_t port);
  bool Connect(const sockaddr_in& address);
  // One non-blocking send or receive; -1 with GetLastError set on error.
  int Send(const void* data, int length, int flags = 0);
  int Receive(void* buffer, int length, int flags = 0);
  // Closes the handle; no notification follows.
  void Close();

  bool IsOpen() const;
  int Handle() const;
  // Last error of a call made on this thread.
  static int GetLastError();

 protected:
  virtual void OnConnect(int errorCode);
  virtual void OnReceive(int errorCode);
  virtual void OnSend(int errorCode);
  virtual void OnClose(int errorCode);

 private:
  struct Notifiers;
  void Arm();
  void HandleWritable();
  void HandleReadable();

  int m_fd = -1;
  bool m_connecting = false;
  std::unique_ptr<Notifiers> m_notifiers;
};

}  // namespace lv
