#pragma once
// One DVR site and its connection: the site's stored fields, the TCP socket,
// the codec, the send queue with its send thread, the parse thread, what the
// DVR reported about itself and the channel table.
//
// Threads: the owner's (user-interface) thread runs connect, start, stop and
// every request; the send thread drains the queue into the socket; the parse
// thread turns received bytes into posted messages and frames. Words they
// share are atomics; everything else is used by one thread at a time, with
// thread start and join ordering the hand-overs.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "net/soc_tcp.h"
#include "platform/core/sync.h"
#include "platform/core/window.h"
#include "protocol/protocol.h"
#include "session/channel_table.h"
#include "session/send_queue.h"
#include "session/session_messages.h"
#include "session/site_fields.h"

namespace lv {

constexpr int kMaxChannels = 16;
constexpr std::uint8_t kNoChannel = 255;
// The longest the parse thread waits for bytes before it looks at the ring
// again; it wakes earlier whenever the socket stores received bytes.
constexpr int kParsePaceMs = 30;
// The longest body the parser waits for: a whole message must fit in what the
// receive path can fill (it stops while a chunk or less is free).
constexpr std::uint32_t kMaxBodyLength =
    static_cast<std::uint32_t>(kReceiveRingCapacity - kReceiveChunk) - kHeaderSize;

// What one parser step did (for tests and benchmarks).
enum class ParseStep { Idle, Incomplete, Resync, Control, Video };

class CallbackWindow;
struct AddressLookup;

// How TryConnect_DVR reads an address: a dotted IPv4 address is connected to
// at once; a DVR identifier (no dot, or a leading one) is looked up through
// DDNS and a host name through the resolver, both on a lookup thread.
// Refused: text that would reach the network as something else than typed (a
// zero character or one the code page cannot carry, a host name over 255
// bytes, an identifier too long for the DDNS request); nothing is tried.
enum class AddressKind { IPv4, HostName, DdnsId, Refused };
struct ConnectAddress {
  AddressKind kind = AddressKind::Refused;
  std::string host;  // the code-page bytes handed on: address, name or identifier
};
ConnectAddress ReadConnectAddress(const std::u16string& address);
inline AddressKind ClassifyAddress(const std::u16string& address) { return ReadConnectAddress(address).kind; }

class CDvrSession {
 public:
  explicit CDvrSession(HWND notifyWindow = 0);
  ~CDvrSession();
  CDvrSession(const CDvrSession&) = delete;
  CDvrSession& operator=(const CDvrSession&) = delete;

  // Connection control (owner's thread). TryConnect_DVR returns 1 when the
  // attempt is under way: a name or DVR identifier is looked up on a thread
  // of its own first, so a slow name server never holds up the windows; the
  // outcome arrives as WM_DVR_CONNECT_SOCKET or WM_DVR_CONNECT_FAIL. 0 when it
  // could not start (an invalid port).
  int TryConnect_DVR();
  bool LookupPending() const { return m_pLookup != nullptr; }
  int Start();
  void Stop();
  void Reset();
  void Disconnect();

  // Requests: each queues nothing while no codec exists (not connected).
  void ReqHwInfo();
  void ReqOsInfo();
  void ReqProtoVer();
  void ReqLogin();
  void OpenChannel(std::uint8_t channel, std::uint8_t b1 = 1, std::uint8_t b2 = 0, std::uint32_t w1 = 0,
                   std::uint32_t w2 = 0);
  void CloseChannel(std::uint8_t channel);
  void Req010105(std::uint8_t v1, std::uint8_t v2);
  void CMD_PTZ_Control(std::uint8_t channel, std::uint8_t control);
  // Queues a whole message for the send thread; 0 when refused.
  int SendToDvr(Message message);

  // --- what every client of a DVR asks (owner's thread, or any thread for
  // the read-outs). Numbers from the DVR are bounded here, once: a channel
  // outside 0 .. ChannelCount()-1 has no camera, no PTZ and cannot be opened.
  //
  // Starts the threads and queues the hardware, OS, protocol-version and
  // login requests; false when the session could not start.
  bool BeginLogin();
  // The DVR's highest channel count, clamped to kMaxChannels.
  int ChannelCount() const;
  bool HasCamera(int channel) const;
  bool IsLocked(int channel) const;
  bool IsPtzCamera(int channel) const;
  // A channel the DVR has, with a camera the user is not locked out of.
  bool MayOpen(int channel) const;
  // The first channel that may be opened after a login; -1 when none.
  int FirstChannelToOpen() const;
  // Bit i set: channel i has a camera.
  std::uint32_t CameraMask() const;
  // The five site fields, copied in and out in one place.
  SiteFields Site() const;
  void SetSite(const SiteFields& site);
  // Bytes received on the current link (0 without one): a link that
  // delivers bytes is alive, even while a large message is still arriving.
  std::uint64_t BytesReceived() const;
  // Why the parse thread ended the link as a protocol fault; empty if it did not.
  std::string ProtocolFault() const;

  // One message out of the ring: what the parse thread repeats.
  ParseStep ParseOneMessage();
  // One pass of the parse thread without its wait: every complete message in
  // the ring (garbage skipped on the way); returns how many were handled.
  int ParsePass();

  // Gives the session a socket and a fresh codec without connecting or
  // starting threads, so the parser can be driven step by step on bytes
  // written straight into the socket's ring (tests, benchmarks).
  void AttachOffline(std::unique_ptr<CSoc_TCP> socket);

  // Render thread side. Waits at most timeoutMs for a frame to be handed to
  // any channel list since the last call (auto-reset: one waiter, signal
  // consumed); true when one was.
  bool WaitForFrame(int timeoutMs);
  // Wakes a WaitForFrame caller at once (used to stop the waiter); it returns true.
  void WakeFrameWaiter();

  // --- site fields ---
  std::atomic<HWND> m_hNotifyWnd{0};
  int m_nSiteIndex = -1;
  std::u16string m_strSiteName;
  std::u16string m_strAddress;
  int m_nPort = 0;
  std::u16string m_strUserID;
  std::u16string m_strPassword;
  CDvrSession* m_pNext = nullptr;  // site list links (the list owns the objects)
  CDvrSession* m_pPrev = nullptr;

  // --- what the DVR reported ---
  std::atomic<int> m_bStarted{0};
  std::atomic<std::uint8_t> m_nCurrentCH{0};
  std::atomic<std::uint8_t> m_nMaxChannel{0};
  std::atomic<std::uint8_t> m_nHwType{0};
  std::array<std::atomic<std::uint8_t>, 4> m_OsVer{};
  std::atomic<int> m_nOsVersion{0};
  std::array<std::atomic<std::uint8_t>, 4> m_ProtoVer{};
  std::atomic<int> m_nProtoVersion{0};
  std::array<std::atomic<int>, kMaxChannels> m_bCamera{};
  std::array<std::atomic<int>, kMaxChannels> m_bPTZ{};
  std::array<std::atomic<int>, kMaxChannels> m_bLock{};
  std::array<std::atomic<int>, kMaxChannels> m_bFunction{};

  // The channel of the latest open request (kNoChannel: none); an open
  // reply must name it.
  std::atomic<std::uint8_t> m_nOpenAskedCH{kNoChannel};

  ChannelTable m_ChannelTable;
  // Whole messages taken from the DVR so far (a stream that stops is seen by
  // this count standing still).
  std::atomic<std::uint32_t> m_nMessagesParsed{0};

  CSoc_TCP* Socket() const { return m_pSocket.get(); }
  CDvrProtocol* Protocol() const { return m_pProtocol.get(); }
  int QueuedRequests() const { return m_SendQueue.Count(); }
  bool SendThreadRunning() const { return m_bSendStop.load() == 0; }
  bool ParseThreadRunning() const { return m_bParseStop.load() == 0; }

 private:
  void CreateSocket();
  bool StartLookup(const ConnectAddress& target);
  void OnLookupDone(std::uint32_t generation);
  void ConnectFailed(const char* why, int code);
  int ConnectStarted(int opened);
  bool StartSendThread();
  bool StartParseThread();
  void SendThreadMain();
  void ParseThreadMain();
  bool SendWhole(const Message& message);
  void Post(std::uint32_t msg, WPARAM wParam, LPARAM lParam);
  void Dispatch(std::uint32_t result);
  void VersionReply(const char* name, const std::array<std::uint8_t, 4>& digits,
                    std::array<std::atomic<std::uint8_t>, 4>& keep, std::atomic<int>& number, std::uint32_t msg,
                    std::uint32_t result, std::uint32_t bodyLength);
  void HandleVideo(Message&& message, std::uint32_t result);
  void SetChannelFlags();
  // Ends the link from the parse thread: nothing more is parsed and the
  // socket is shut down, so the owner sees the link close.
  void FailProtocol(const char* why);
  void ClearProtocolFault();
  void Request(std::uint32_t id, const RequestParams& params = std::monostate{});

  std::unique_ptr<CSoc_TCP> m_pSocket;
  std::unique_ptr<CDvrProtocol> m_pProtocol;
  DecodeResult m_DecodeResult;  // the parse thread's scratch
  SendQueue m_SendQueue;
  // The three events live as long as the session: threads started after a
  // stop, a reset or an offline attach wait on the same objects, and the
  // render thread may wait on the frame event across any of those.
  AutoResetEvent m_SendEvent{true};
  std::shared_ptr<AutoResetEvent> m_pParseEvent = std::make_shared<AutoResetEvent>();  // shared with the socket
  AutoResetEvent m_FrameEvent;
  std::atomic<int> m_bParseStop{1};
  std::atomic<int> m_bSendStop{1};
  std::thread m_hParseThread;
  // The name look-up under way (null: none) and the receiver of its result
  // on the owner's thread. A stopped session forgets the look-up; its thread
  // ends on its own and its result is ignored.
  std::shared_ptr<AddressLookup> m_pLookup;
  std::unique_ptr<CallbackWindow> m_pLookupTarget;
  std::uint32_t m_nLookupGeneration = 0;
  std::thread m_hSendThread;
  std::atomic<bool> m_bProtocolFault{false};
  mutable std::mutex m_FaultMutex;
  std::string m_strFault;
};

}  // namespace lv
