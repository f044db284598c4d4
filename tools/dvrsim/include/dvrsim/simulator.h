// A DVR on loopback: answers the client's requests, streams JPEG pictures of
// the open channels, sends heartbeats, and breaks the stream on purpose when a
// fault is switched on. The end-to-end tests, the benchmarks and the demo site
// use it.
//
// Threads: one acceptor, and one thread per client connection that both
// reads the requests and writes replies, pictures and heartbeats (so every
// message goes out whole, never interleaved). Stop() and the destructor stop
// and join them all.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dvrsim/picture.h"

namespace dvrsim {

struct Account {
  std::string user;
  std::string password;
};

// Faults, all off by default. "Picture" counts are per connection and count
// the well-formed video messages; the first picture is number 1.
struct Faults {
  int garbageEveryN = 0;       // after every Nth message: 1..16 random bytes, none of them 0xAB
  bool drip = false;           // every byte in a send() call of its own
  int dripPauseUs = 100;       // pause after each dripped byte
  bool wrongBodyLength = false;      // HW_INFO reply with a 3-byte body, LOGIN reply with 20 bytes
  bool oversizedBodyLength = false;  // after a successful login reply: one heartbeat header that
                                     // claims 0x7FFFFFF0 body bytes and carries none
  bool shortVideoBody = false;  // before the first picture: a video message with a 20-byte body,
                                // then one whose picture size runs past its body
  int corruptPictureEveryN = 0;  // pictures N, 2N, ...: every JPEG byte scrambled
  int closeChannelAfterFrames = 0;  // unasked CH_CLOSE after N pictures of one channel opening
  int dropAfterFrames = 0;          // connection closed after N pictures
  bool refuseLogin = false;         // every login answered 0xF0010000
  bool dropOnLogin = false;         // connection closed when a login request arrives
  bool silentLogin = false;         // login requests get no reply; the link stays open
  int stallAfterFrames = 0;   // after N pictures: the next one's 12-byte header, then nothing at all
  int slowPictureAfterFrames = 0;  // after N pictures: the next one sent at 1 byte per second
  int resetMidPictureAfterFrames = 0;  // after N pictures: half of the next one, then a reset (RST)
  uint32_t padPictureTo = 0;
  int openReplyChannel = -1;  // 0..255: every CH_OPEN reply names this channel instead of the asked one
  bool silentOpen = false;    // CH_OPEN and CH_CLOSE requests get no reply; the link stays open  // video bodies padded to this many bytes (zeros after the picture's end)
};

struct Config {
  std::vector<Account> accounts{{"admin", "1234"}};
  uint8_t hardwareType = 0;
  uint8_t channelCount = 16;
  std::array<uint8_t, 4> osVersion{5, 0, 2, 0};
  std::array<uint8_t, 4> protoVersion{2, 0, 3, 4};
  // Channel i is bit (31 - i).
  uint32_t cameraMask = 0xFFFF0000;
  uint32_t ptzMask = 0;
  uint32_t lockMask = 0;
  uint32_t functionMask = 0xFFFF0000;
  std::set<int> noPermission;  // CH_OPEN answered 0xF0020000
  std::set<int> noCamera;      // CH_OPEN answered 0xF0030000
  int width = 704, height = 480, fps = 25, jpegQuality = 80;
  int heartbeatMs = 0;             // 0 = none; else a heartbeat (result 1) every heartbeatMs
  bool sendUnasked010002 = false;
  // 0 = no limit; else a login while this many connections are logged in is
  // refused (0xF0010000), as a DVR that allows only so many users at once.
  int maxSessions = 0;  // one 0xAB010002 (result 1, empty body) after each successful login
  Faults faults;
  SceneScript scene;     // times in seconds since Start()
  uint32_t seed = 1;     // random garbage and scrambling; connection k uses seed + k
  bool verbose = false;  // one line per request on stderr
};

// One request as it arrived. Decoded fields are set for the ids that carry
// them and left at their defaults otherwise.
struct Request {
  size_t connection = 0;  // 0-based, in order of acceptance
  uint32_t id = 0;
  uint32_t result = 0;
  uint32_t bodyLength = 0;
  std::vector<uint8_t> raw;  // the whole message, header included
  bool wellFormed = true;    // false: the body does not fit the id's layout (no reply was sent)
  std::string user, password;  // LOGIN, bytes as sent
  uint8_t loginFlag = 0;       // LOGIN
  int channel = -1;            // CH_OPEN, CH_CLOSE, CONTROL_PTZ
  int ptzCode = -1;            // CONTROL_PTZ
  uint8_t v1 = 0, v2 = 0;      // 010105
  // "LOGIN user=admin password=1234 flag=1" and the like.
  std::string Describe() const;
};

class Simulator {
 public:
  explicit Simulator(Config cfg);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Listens on 127.0.0.1:port (0 = any free port). False when the port cannot
  // be bound or the simulator already runs; Error() tells why.
  bool Start(uint16_t port = 0);
  uint16_t Port() const;
  // Closes every connection and joins every thread. Safe to call twice.
  void Stop();
  std::string Error() const;
  const Config& config() const;

  std::vector<Request> Requests() const;
  bool WaitForRequests(size_t n, int timeoutMs) const;
  size_t Connections() const;        // accepted so far
  size_t OpenConnections() const;    // accepted and not yet closed
  bool WaitForConnections(size_t n, int timeoutMs) const;
  uint64_t FramesSent() const;       // well-formed video messages begun, all connections
  bool WaitForFrames(uint64_t n, int timeoutMs) const;
  uint64_t SendCalls() const;        // send() calls made on client connections
  uint64_t BytesSent() const;
  PtzPosition Ptz(int channel) const;

  // Live actions on every open connection, carried out by each connection's
  // thread between two messages. Each returns the number of connections it
  // was handed to.
  size_t SendGarbage(std::vector<uint8_t> bytes);  // empty: 16 filler bytes, none of them 0xAB
  size_t CloseChannelUnasked(int channel);  // CH_CLOSE result 1 [channel]; the channel's video stops
  size_t DropConnection();
  // Drops only the connections streaming the channel.
  size_t DropConnectionsOf(int channel);
  size_t SendHeartbeat(uint32_t result = 1);
  size_t SendRaw(std::vector<uint8_t> bytes);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dvrsim
