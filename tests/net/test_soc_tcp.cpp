#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "net/soc_tcp.h"
#include "platform/core/resolver.h"
#include "support/pump.h"

using namespace lv;
using lvtest::MessageRecorder;
using lvtest::PumpFor;
using lvtest::PumpUntil;

namespace {

// A plain blocking listener on 127.0.0.1 with an ephemeral port.
class Listener {
 public:
  Listener() {
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(::listen(m_fd, 4), 0);
    socklen_t len = sizeof a;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
    m_port = ntohs(a.sin_port);
  }
  ~Listener() {
    if (m_peer >= 0) ::close(m_peer);
    ::close(m_fd);
  }
  std::uint16_t Port() const { return m_port; }
  // Accepts while pumping the client's event loop.
  bool Accept() {
    return PumpUntil([&] {
      pollfd p{m_fd, POLLIN, 0};
      if (::poll(&p, 1, 0) != 1) return false;
      m_peer = ::accept(m_fd, nullptr, nullptr);
      return m_peer >= 0;
    });
  }
  int Peer() const { return m_peer; }
  void ClosePeer() {
    ::close(m_peer);
    m_peer = -1;
  }
  void ResetPeer() {
    linger l{1, 0};
    ::setsockopt(m_peer, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ClosePeer();
  }

 private:
  int m_fd = -1;
  int m_peer = -1;
  std::uint16_t m_port = 0;
};

std::uint16_t UnusedPort() {
  Listener l;
  return l.Port();  // closed again when l goes: nothing listens there
}

}  // namespace

TEST(SocTcp, ConnectPostsOnceAndPeerClosePostsClose) {
  Listener listener;
  MessageRecorder view;
  CSoc_TCP sock(view.Handle(), WM_DVR_SOCKET_RESERVED, WM_DVR_CONNECT_SOCKET, WM_DVR_CLOSE_SOCKET);
  ASSERT_EQ(sock.ConnectByName("127.0.0.1", listener.Port()), 1);
  ASSERT_TRUE(listener.Accept());
  ASSERT_TRUE(PumpUntil([&] { return view.Count(WM_DVR_CONNECT_SOCKET) == 1; }));
  EXPECT_EQ(sock.IsConnected(), 1);
  const auto* m = view.Find(WM_DVR_CONNECT_SOCKET);
  EXPECT_EQ(m->wParam, 0u);
  EXPECT_EQ(m->lParam, reinterpret_cast<LPARAM>(&sock));

  // A reader waiting for bytes is woken when they are stored, not before.
  auto signal = std::make_shared<AutoResetEvent>();
  sock.SetReceiveSignal(signal);
  PumpFor(20);  // nothing arrives meanwhile: the reader must not be woken
  EXPECT_FALSE(signal->WaitFor(0));
  const char hello[] = "hello";
  ASSERT_EQ(::send(listener.Peer(), hello, 5, 0), 5);
  ASSERT_TRUE(PumpUntil([&] { return sock.Ring().DataSize() == 5; }));
  EXPECT_TRUE(signal->WaitFor(0));
  char got[5];
  sock.Ring().Read(got, 5);
  EXPECT_EQ(std::string(got, 5), "hello");

  listener.ClosePeer();
  ASSERT_TRUE(PumpUntil([&] { return view.Count(WM_DVR_CLOSE_SOCKET) >= 1; }));
  PumpFor(50);  // a while for a second close that must not come
  EXPECT_EQ(view.Count(WM_DVR_CLOSE_SOCKET), 1u);
  EXPECT_EQ(view.Count(WM_DVR_CONNECT_SOCKET), 1u);
  EXPECT_EQ(view.Count(WM_DVR_SOCKET_RESERVED), 0u);
  EXPECT_EQ(view.Find(WM_DVR_CLOSE_SOCKET)->lParam, reinterpret_cast<LPARAM>(&sock));
  sock.Disconnect();
  EXPECT_EQ(sock.IsConnected(), 0);
}

TEST(SocTcp, DataSentBeforeTheCloseStillArrives) {
  Listener listener;
  MessageRecorder view;
  CSoc_TCP sock(view.Handle(), WM_DVR_SOCKET_RESERVED, WM_DVR_CONNECT_SOCKET, WM_DVR_CLOSE_SOCKET);
  sock.ConnectByAddress([&] {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(listener.Port());
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
  }());
  ASSERT_TRUE(listener.Accept());
  std::vector<char> data(20000, 'z');
  ASSERT_EQ(::send(listener.Peer(), data.data(), data.size(), 0), static_cast<ssize_t>(data.size()));
  listener.ClosePeer();
  ASSERT_TRUE(PumpUntil([&] { return view.Count(WM_DVR_CLOSE_SOCKET) == 1; }));
  EXPECT_EQ(sock.Ring().DataSize(), 20000);
}

TEST(SocTcp, PeerResetPostsCloseOnce) {
  Listener listener;
  MessageRecorder view;
  CSoc_TCP sock(view.Handle(), WM_DVR_SOCKET_RESERVED, WM_DVR_CONNECT_SOCKET, WM_DVR_CLOSE_SOCKET);
  sock.ConnectByName("127.0.0.1", listener.Port());
  ASSERT_TRUE(listener.Accept());
  ASSERT_TRUE(PumpUntil([&] { return sock.IsConnected() == 1; }));
  listener.ResetPeer();
  ASSERT_TRUE(PumpUntil([&] { return view.Count(WM_DVR_CLOSE_SOCKET) == 1; }));
  PumpFor(50);  // a while for a second close that must not come
  EXPECT_EQ(view.Count(WM_DVR_CLOSE_SOCKET), 1u);
}

// A connect that cannot complete is reported once, with its error code.
TEST(SocTcp, ConnectThatCannotCompletePostsConnectFail) {
  SetResolverHook([](const std::string&) { return std::optional<std::uint32_t>{}; });  // no name resolves
  struct Case {
    const char* host;
    std::uint16_t port;
    int error;
  } cases[] = {
      {"127.0.0.1", UnusedPort(), kErrConnRefused},
      {"no.such.host", 80, kErrHostNotFound},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    lvtest::DebugCapture debug;
    MessageRecorder view;
    CSoc_TCP sock(view.Handle(), WM_DVR_SOCKET_RESERVED, WM_DVR_CONNECT_SOCKET, WM_DVR_CLOSE_SOCKET);
    EXPECT_EQ(sock.ConnectByName(c.host, c.port), 1);  // the socket opened; the connect fails later
    ASSERT_TRUE(PumpUntil([&] { return view.Count(WM_DVR_CONNECT_FAIL) == 1; }));
    PumpFor(50);  // a while for any further message, which must not come
    ASSERT_EQ(view.Messages().size(), 1u);
    EXPECT_EQ(view.Messages()[0].wParam, static_cast<WPARAM>(c.error));
    EXPECT_EQ(view.Messages()[0].lParam, reinterpret_cast<LPARAM>(&sock));
    EXPECT_EQ(sock.ConnectError(), c.error);
    EXPECT_TRUE(debug.Contains(" ConnectSocket Fail! [" + std::to_string(c.error) + "]\r\n"));
    EXPECT_EQ(sock.IsConnected(), 0);
    sock.Disconnect();  // does nothing: never connected
    EXPECT_EQ(sock.IsConnected(), 0);
  }
  SetResolverHook({});
}

TEST(SocTcp, WithoutWindowNothingIsPosted) {
  Listener listener;
  MessageRecorder bystander;
  CSoc_TCP sock(0, 0, 0, 0);
  sock.ConnectByName("127.0.0.1", listener.Port());
  ASSERT_TRUE(listener.Accept());
  ASSERT_TRUE(PumpUntil([&] { return sock.IsConnected() == 1; }));
  listener.ClosePeer();
  PumpFor(100);  // the close is seen meanwhile, and must post nothing
  EXPECT_TRUE(bystander.Messages().empty());
  // Direct receive, as the DDNS exchange does: orderly shutdown reads 0.
  char b;
  EXPECT_EQ(sock.Receive(&b, 1), 0);
}

TEST(SocTcp, DestroyingTheSocketInsideItsCloseHandlingIsSafe) {
  Listener listener;
  std::unique_ptr<CSoc_TCP> sock;
  int closes = 0;
  lv::MessageTarget view([&](std::uint32_t msg, WPARAM, LPARAM) {
    if (msg == WM_DVR_CLOSE_SOCKET) {
      ++closes;
      sock.reset();
    }
  });
  sock = std::make_unique<CSoc_TCP>(view.Handle(), WM_DVR_SOCKET_RESERVED, WM_DVR_CONNECT_SOCKET,
                                    WM_DVR_CLOSE_SOCKET);
  sock->ConnectByName("127.0.0.1", listener.Port());
  ASSERT_TRUE(listener.Accept());
  listener.ClosePeer();
  ASSERT_TRUE(PumpUntil([&] { return closes == 1; }));
  PumpFor(50);  // a while for a second close that must not come
  EXPECT_EQ(closes, 1);
}

// With the reader stopped and the ring nearly full, one receive notification
// waits 11 times, logs the counter 1..10 then 0, and leaves the bytes in the
// socket; once the reader frees room the rest arrives intact.
TEST(SocTcp, FullRingWaitsThenCatchesUp) {
  CSoc_TCP::SetWaitPauseForTests(2);
  lvtest::DebugCapture debug;
  Listener listener;
  MessageRecorder view;
  CSoc_TCP sock(view.Handle(), WM_DVR_SOCKET_RESERVED, WM_DVR_CONNECT_SOCKET, WM_DVR_CLOSE_SOCKET);
  sock.ConnectByName("127.0.0.1", listener.Port());
  ASSERT_TRUE(listener.Accept());
  ASSERT_TRUE(PumpUntil([&] { return sock.IsConnected() == 1; }));

  const int total = kReceiveRingCapacity + 300000;
  std::thread peer([&] {
    std::vector<std::uint8_t> data(static_cast<size_t>(total));
    for (int i = 0; i < total; ++i) data[static_cast<size_t>(i)] = static_cast<std::uint8_t>(i % 251);
    size_t sent = 0;
    while (sent < data.size()) {
      const ssize_t n = ::send(listener.Peer(), data.data() + sent, data.size() - sent, 0);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
  });

  // Let the ring fill: receiving stops while 8192 bytes or fewer are free.
  ASSERT_TRUE(PumpUntil(
      [&] {
        for (const auto& l : debug.Lines())
          if (l.find("g_DataNotExist[0]") != std::string::npos) return true;
        return false;
      },
      20000));
  EXPECT_LE(sock.Ring().EmptySize(), kReceiveChunk);
  EXPECT_GE(sock.Ring().EmptySize(), 1);  // the receive path never fills it completely

  std::vector<int> counters;
  for (const auto& l : debug.Lines()) {
    const auto pos = l.find("g_DataNotExist[");
    ASSERT_NE(pos, std::string::npos) << l;
    ASSERT_EQ(l.rfind("Save Buffer isn't enough, so Wait saving...EmptySize[", 0), 0u) << l;
    counters.push_back(std::stoi(l.substr(pos + 15)));
    if (counters.back() == 0) break;
  }
  EXPECT_EQ(counters, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0}));
  EXPECT_EQ(g_DataNotExist, 0);

  // Now drain as the parser would, from the main thread between events.
  int got = 0;
  bool intact = true;
  std::vector<std::uint8_t> buf(65536);
  ASSERT_TRUE(PumpUntil(
      [&] {
        int n;
        while ((n = std::min(sock.Ring().DataSize(), 65536)) > 0) {
          sock.Ring().Read(buf.data(), n);
          for (int i = 0; i < n; ++i) intact &= buf[static_cast<size_t>(i)] == (got + i) % 251;
          got += n;
        }
        return got == total;
      },
      30000));
  peer.join();
  EXPECT_TRUE(intact);
  EXPECT_EQ(got, total);
  CSoc_TCP::SetWaitPauseForTests(100);
}
