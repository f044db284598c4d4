#include "connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "wire.h"

namespace dvrsim {

Connection::Connection(SharedState& shared, int fd, size_t index, std::function<void()> ended)
    : s_(shared),
      cfg_(shared.cfg),
      fd_(fd),
      index_(index),
      ended_(std::move(ended)),
      rng_(shared.cfg.seed + static_cast<uint32_t>(index)) {}

Connection::~Connection() {
  Stop();
  Join();
  net::Close(&fd_);
}

void Connection::Start() {
  s_.openConnections.fetch_add(1);
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {  // no thread to serve it: the client sees it closed
    net::Close(&fd_);
    finished_.store(true, std::memory_order_release);
    if (ended_) ended_();
  }
}

void Connection::Post(Command c) {
  {
    std::lock_guard<std::mutex> lock(cmdMu_);
    cmds_.push_back(std::move(c));
  }
  wake_.Signal();
}

void Connection::Stop() {
  stop_.store(true);
  wake_.Signal();
}

void Connection::Join() {
  if (thread_.joinable()) thread_.join();
}

void Connection::Run() {
  const auto picturePeriod = std::chrono::microseconds(1'000'000 / std::max(1, cfg_.fps));
  const auto heartbeatPeriod = std::chrono::milliseconds(cfg_.heartbeatMs);
  auto nextHeartbeat = Clock::now() + heartbeatPeriod;
  auto msUntil = [](Clock::time_point t) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(t - Clock::now()).count();
    return us <= 0 ? 0 : static_cast<int>((us + 999) / 1000);
  };

  while (!stop_.load()) {
    if (!RunCommands()) break;
    int timeout = -1;
    if (!open_.empty()) timeout = msUntil(nextPicture_);
    if (cfg_.heartbeatMs > 0) {
      const int t = msUntil(nextHeartbeat);
      timeout = timeout < 0 ? t : std::min(timeout, t);
    }
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_.fd(), POLLIN, 0}};
    const int n = ::poll(fds, 2, timeout);
    if (n < 0 && errno != EINTR) break;
    if (n > 0 && (fds[1].revents & POLLIN)) wake_.Drain();
    if (n > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !ReadRequests()) break;
    if (stop_.load()) break;

    const auto now = Clock::now();
    if (cfg_.heartbeatMs > 0 && now >= nextHeartbeat) {
      if (!Reply(wire::kResHeartbeat, wire::kResultOk, {})) break;
      nextHeartbeat += heartbeatPeriod;
      if (nextHeartbeat < now) nextHeartbeat = now + heartbeatPeriod;
    }
    if (!open_.empty() && now >= nextPicture_) {
      if (!SendPictures()) break;
      nextPicture_ += picturePeriod;
      if (nextPicture_ < now) nextPicture_ = now + picturePeriod;  // fell behind: skip rather than burst
    }
  }
  ::shutdown(fd_, SHUT_RDWR);
  if (cfg_.verbose) std::fprintf(stderr, "[dvrsim] connection %zu closed\n", index_);
  if (loggedIn_) s_.loggedIn.fetch_sub(1);
  // The owner reaps it and counts it closed once its descriptors are.
  finished_.store(true, std::memory_order_release);
  if (ended_) ended_();
}

bool Connection::RunCommands() {
  std::deque<Command> cmds;
  {
    std::lock_guard<std::mutex> lock(cmdMu_);
    cmds.swap(cmds_);
  }
  for (Command& c : cmds) {
    switch (c.kind) {
      case Command::Kind::kRaw:
        if (!Write(c.bytes.data(), c.bytes.size())) return false;
        break;
      case Command::Kind::kHeartbeat:
        if (!Reply(wire::kResHeartbeat, c.result, {})) return false;
        break;
      case Command::Kind::kCloseChannel:
        if (!CloseChannel(c.channel)) return false;
        break;
      case Command::Kind::kDrop:
        return false;
      case Command::Kind::kDropIfStreaming:
        if (std::find(open_.begin(), open_.end(), c.channel) != open_.end()) return false;
        break;
    }
  }
  return true;
}

bool Connection::ReadRequests() {
  uint8_t buf[4096];
  for (;;) {
    const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n > 0) {
      in_.insert(in_.end(), buf, buf + n);
      continue;
    }
    if (n == 0) return false;  // the client closed
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) break;
    return false;
  }
  size_t pos = 0;
  bool keep = true;
  while (keep && in_.size() - pos >= wire::kHeaderSize) {
    const uint8_t* h = in_.data() + pos;
    const uint32_t bodyLength = wire::GetU32(h + 8);
    if (bodyLength > wire::kMaxRequestBody) {
      // No request is this long: the stream is broken. Log the header and hang up.
      Request r;
      r.connection = index_;
      r.id = wire::GetU32(h);
      r.result = wire::GetU32(h + 4);
      r.bodyLength = bodyLength;
      r.raw.assign(h, h + wire::kHeaderSize);
      r.wellFormed = false;
      s_.Record(std::move(r));
      return false;
    }
    if (in_.size() - pos < wire::kHeaderSize + bodyLength) break;
    keep = Handle(h, wire::kHeaderSize + bodyLength);
    pos += wire::kHeaderSize + bodyLength;
  }
  in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(pos));
  return keep;
}

// Decodes, logs and answers one whole request. False closes the connection.
bool Connection::Handle(const uint8_t* msg, size_t len) {
  Request r;
  r.connection = index_;
  r.id = wire::GetU32(msg);
  r.result = wire::GetU32(msg + 4);
  r.bodyLength = wire::GetU32(msg + 8);
  r.raw.assign(msg, msg + len);
  const uint8_t* body = msg + wire::kHeaderSize;
  const size_t n = r.bodyLength;

  switch (r.id) {
    case wire::kReqHwInfo:
    case wire::kReqOsInfo:
    case wire::kReqProtoVer:
      r.wellFormed = n == 0;
      break;
    case wire::kReqLogin: {
      r.wellFormed = false;
      if (n >= 5) {
        const size_t n1 = wire::GetU16(body);
        if (2 + n1 + 2 <= n) {
          const size_t n2 = wire::GetU16(body + 2 + n1);
          if (n1 + n2 + 5 == n) {
            r.wellFormed = true;
            r.user.assign(reinterpret_cast<const char*>(body + 2), n1);
            r.password.assign(reinterpret_cast<const char*>(body + 4 + n1), n2);
            r.loginFlag = body[4 + n1 + n2];
          }
        }
      }
      break;
    }
    case wire::kReqChOpen:
      r.wellFormed = n == 11;
      if (n >= 1) r.channel = body[0];
      break;
    case wire::kReqChClose:
      r.wellFormed = n == 1;
      if (n >= 1) r.channel = body[0];
      break;
    case wire::kReq010105:
      r.wellFormed = n == 2;
      if (n == 2) {
        r.v1 = body[0];
        r.v2 = body[1];
      }
      break;
    case wire::kReqControlPtz:
      r.wellFormed = n == 2;
      if (n == 2) {
        r.channel = body[0];
        r.ptzCode = body[1];
      }
      break;
    default:
      break;  // unknown: logged and ignored
  }
  const Request logged = r;
  s_.Record(std::move(r));
  if (!logged.wellFormed) return true;

  switch (logged.id) {
    case wire::kReqHwInfo: {
      std::vector<uint8_t> b{cfg_.hardwareType, cfg_.channelCount};
      if (cfg_.faults.wrongBodyLength) b.push_back(0);
      return Reply(wire::kResHwInfo, wire::kResultOk, b);
    }
    case wire::kReqOsInfo:
      return Reply(wire::kResOsInfo, wire::kResultOk, {cfg_.osVersion.begin(), cfg_.osVersion.end()});
    case wire::kReqProtoVer:
      return Reply(wire::kResProtoVer, wire::kResultOk, {cfg_.protoVersion.begin(), cfg_.protoVersion.end()});
    case wire::kReqLogin:
      return Login(logged);
    case wire::kReqChOpen:
      return OpenChannel(logged);
    case wire::kReqChClose: {
      std::erase(open_, logged.channel);
      return Reply(wire::kResChClose, wire::kResultOk, {static_cast<uint8_t>(logged.channel)});
    }
    case wire::kReq010105:
      return Reply(wire::kRes010105, wire::kResultOk, {logged.v1, logged.v2});
    case wire::kReqControlPtz:
      if (ChannelBit(cfg_.ptzMask, logged.channel)) s_.SetPtzCode(logged.channel, logged.ptzCode);
      return Reply(wire::kResControlPtz, wire::kResultOk, {});
    default:
      return true;
  }
}

bool Connection::Login(const Request& r) {
  if (cfg_.faults.dropOnLogin) return false;
  if (cfg_.faults.silentLogin) return true;
  const bool match = std::any_of(cfg_.accounts.begin(), cfg_.accounts.end(), [&](const Account& a) {
    return a.user == r.user && a.password == r.password;
  });
  const size_t bodySize = cfg_.faults.wrongBodyLength ? 20 : 24;
  bool full = false;
  if (match && !loggedIn_ && cfg_.maxSessions > 0) {
    int now = s_.loggedIn.load();
    do {
      full = now >= cfg_.maxSessions;
    } while (!full && !s_.loggedIn.compare_exchange_weak(now, now + 1));
  }
  if (!match || cfg_.faults.refuseLogin || full) {
    return Reply(wire::kResLogin, wire::kResultAccountRejected, std::vector<uint8_t>(bodySize, 0));
  }
  if (!loggedIn_ && cfg_.maxSessions <= 0) s_.loggedIn.fetch_add(1);
  loggedIn_ = true;
  std::vector<uint8_t> body(24, 0);
  wire::PutU32(&body[0], cfg_.cameraMask);
  wire::PutU32(&body[4], cfg_.ptzMask);
  wire::PutU32(&body[8], cfg_.lockMask);
  wire::PutU32(&body[12], cfg_.functionMask);
  body.resize(bodySize);
  if (!Reply(wire::kResLogin, wire::kResultOk, body)) return false;
  if (cfg_.sendUnasked010002 && !Reply(wire::kRes010002, wire::kResultOk, {})) return false;
  if (cfg_.faults.oversizedBodyLength) {
    uint8_t h[wire::kHeaderSize];
    wire::PutHeader(h, wire::kResHeartbeat, wire::kResultOk, 0x7FFFFFF0);
    if (!SendMessage(h, sizeof h)) return false;
  }
  return true;
}

bool Connection::OpenChannel(const Request& r) {
  if (cfg_.faults.silentOpen) return true;
  const int ch = r.channel;
  uint32_t result = wire::kResultOk;
  if (!loggedIn_) {
    result = wire::kResultNoPermission;
  } else if (ch >= cfg_.channelCount || !ChannelBit(cfg_.cameraMask, ch) || cfg_.noCamera.count(ch) != 0) {
    result = wire::kResultNoCamera;
  } else if (cfg_.noPermission.count(ch) != 0 || ChannelBit(cfg_.lockMask, ch)) {
    result = wire::kResultNoPermission;
  }
  const int named = cfg_.faults.openReplyChannel >= 0 ? cfg_.faults.openReplyChannel : ch;
  if (!Reply(wire::kResChOpen, result, {static_cast<uint8_t>(named), 0, 0})) return false;
  if (result == wire::kResultOk && std::find(open_.begin(), open_.end(), ch) == open_.end()) {
    if (open_.empty()) nextPicture_ = Clock::now();
    open_.push_back(ch);
    framesThisOpening_[static_cast<size_t>(ch)] = 0;
  }
  return true;
}

bool Connection::CloseChannel(int ch) {
  if (cfg_.faults.silentOpen) return true;
  std::erase(open_, ch);
  return Reply(wire::kResChClose, wire::kResultOk, {static_cast<uint8_t>(ch)});
}

bool Connection::SendPictures() {
  const std::vector<int> channels = open_;
  for (int ch : channels) {
    if (std::find(open_.begin(), open_.end(), ch) == open_.end()) continue;
    if (!SendPicture(ch)) return false;
    if (dropNow_) return false;
  }
  return true;
}

// Video body: [channel][attribute 0][width u16][height u16][date u32][time u32]
// [picture size u32][sequence u32][send time: steady clock in microseconds,
// low 56 bits, 7 bytes big-endian] then the JPEG.
bool Connection::SendPicture(int ch) {
  if (!maker_) maker_ = std::make_unique<PictureMaker>(cfg_.width, cfg_.height, cfg_.jpegQuality);
  PtzPosition ptz;
  const bool isPtz = ChannelBit(cfg_.ptzMask, ch);
  if (isPtz) ptz = s_.AdvancePtz(ch);

  const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
  localtime_r(&t, &tm);
  PictureStamp stamp;
  stamp.channel = ch;
  stamp.sequence = pictures_ + 1;
  stamp.year = tm.tm_year + 1900;
  stamp.month = tm.tm_mon + 1;
  stamp.day = tm.tm_mday;
  stamp.hour = tm.tm_hour;
  stamp.minute = tm.tm_min;
  stamp.second = tm.tm_sec;
  stamp.ptz = isPtz ? &ptz : nullptr;
  stamp.script = &cfg_.scene;
  const int64_t nowUs =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
  stamp.seconds = static_cast<double>(nowUs - s_.startedUs.load()) / 1e6;
  const std::span<const uint8_t> jpeg = maker_->Make(stamp);
  if (jpeg.empty()) {
    std::fprintf(stderr, "[dvrsim] picture not made: %s\n", maker_->Error().c_str());
    return true;
  }

  // Padding after the picture's end marker is ignored by decoders.
  const size_t size = std::max<size_t>(jpeg.size(), cfg_.faults.padPictureTo > wire::kVideoHeaderSize
                                                        ? cfg_.faults.padPictureTo - wire::kVideoHeaderSize
                                                        : 0);
  video_.assign(wire::kHeaderSize + wire::kVideoHeaderSize + size, 0);
  uint8_t* m = video_.data();
  wire::PutHeader(m, wire::kResVideo, wire::kResultOk, static_cast<uint32_t>(wire::kVideoHeaderSize + size));
  uint8_t* v = m + wire::kHeaderSize;
  v[0] = static_cast<uint8_t>(ch);
  v[1] = 0;
  wire::PutU16(v + 2, static_cast<uint16_t>(maker_->Width()));
  wire::PutU16(v + 4, static_cast<uint16_t>(maker_->Height()));
  wire::PutU32(v + 6, static_cast<uint32_t>(stamp.year * 10000 + stamp.month * 100 + stamp.day));
  wire::PutU32(v + 10, static_cast<uint32_t>(stamp.hour * 10000 + stamp.minute * 100 + stamp.second));
  wire::PutU32(v + 14, static_cast<uint32_t>(size));
  wire::PutU32(v + 18, 0);  // sequence, once the picture is sure to go out
  std::copy(jpeg.begin(), jpeg.end(), v + wire::kVideoHeaderSize);

  if (cfg_.faults.shortVideoBody && !shortVideoSent_) {
    shortVideoSent_ = true;
    if (!SendShortVideo({v, wire::kVideoHeaderSize}, jpeg)) return false;
  }

  const uint32_t seq = ++pictures_;
  wire::PutU32(v + 18, seq);
  if (cfg_.faults.corruptPictureEveryN > 0 && seq % static_cast<uint32_t>(cfg_.faults.corruptPictureEveryN) == 0) {
    std::uniform_int_distribution<int> nonZero(1, 255);
    for (size_t i = 0; i < size; ++i) v[wire::kVideoHeaderSize + i] ^= static_cast<uint8_t>(nonZero(rng_));
  }
  const uint64_t us = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count());
  for (int i = 0; i < 7; ++i) v[22 + i] = static_cast<uint8_t>(us >> (8 * (6 - i)));
  // Counted before it goes out, so a client never holds more pictures than
  // the counter says.
  s_.framesSent.fetch_add(1);
  if (SendHostilePicture(m, video_.size(), seq)) return !dropNow_;
  if (!SendMessage(m, video_.size())) return false;

  int& count = framesThisOpening_[static_cast<size_t>(ch)];
  ++count;
  if (cfg_.faults.closeChannelAfterFrames > 0 && count == cfg_.faults.closeChannelAfterFrames &&
      !CloseChannel(ch))
    return false;
  if (cfg_.faults.dropAfterFrames > 0 && seq == static_cast<uint32_t>(cfg_.faults.dropAfterFrames)) dropNow_ = true;
  return true;
}

// Two broken video messages: one whose body stops after 20 of the 29 header
// bytes, and one whose picture size names the whole picture while the body
// holds only the first part of it.
bool Connection::SendShortVideo(std::span<const uint8_t> frameHeader, std::span<const uint8_t> jpeg) {
  std::vector<uint8_t> m(wire::kHeaderSize + 20);
  wire::PutHeader(m.data(), wire::kResVideo, wire::kResultOk, 20);
  std::copy(frameHeader.begin(), frameHeader.begin() + 20, m.begin() + wire::kHeaderSize);
  if (!SendMessage(m.data(), m.size())) return false;

  const size_t part = std::min<size_t>(64, jpeg.size() / 2);
  m.assign(wire::kHeaderSize + wire::kVideoHeaderSize + part, 0);
  wire::PutHeader(m.data(), wire::kResVideo, wire::kResultOk, static_cast<uint32_t>(wire::kVideoHeaderSize + part));
  std::copy(frameHeader.begin(), frameHeader.end(), m.begin() + wire::kHeaderSize);
  std::copy(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(part),
            m.begin() + static_cast<std::ptrdiff_t>(wire::kHeaderSize + wire::kVideoHeaderSize));
  return SendMessage(m.data(), m.size());
}

// The picture after the Nth as one of the hostile cases, if one is switched
// on: true when it went out that way (a reset also ends the connection).
bool Connection::SendHostilePicture(const uint8_t* m, size_t n, uint32_t seq) {
  const Faults& f = cfg_.faults;
  const auto after = [seq](int frames) { return frames > 0 && seq == static_cast<uint32_t>(frames) + 1; };
  if (after(f.stallAfterFrames)) {
    Write(m, wire::kHeaderSize);
    stalled_ = true;
    return true;
  }
  if (after(f.slowPictureAfterFrames)) {
    WriteSlowly(m, n);
    return true;
  }
  if (after(f.resetMidPictureAfterFrames)) {
    Write(m, n / 2);
    const linger hard{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    net::Close(&fd_);  // with a zero linger time: the peer sees a reset
    dropNow_ = true;
    return true;
  }
  return false;
}

bool Connection::WriteSlowly(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (!Write(p + i, 1)) return false;
    pollfd wake{wake_.fd(), POLLIN, 0};
    ::poll(&wake, 1, 1000);
    if (stop_.load()) return false;
  }
  return true;
}

bool Connection::Reply(uint32_t id, uint32_t result, const std::vector<uint8_t>& body) {
  const std::vector<uint8_t> m = wire::Message(id, result, body);
  return SendMessage(m.data(), m.size());
}

bool Connection::SendMessage(const uint8_t* p, size_t n) {
  if (stalled_) return true;  // a body is owed: nothing else goes out
  if (!Write(p, n)) return false;
  ++messages_;
  const int every = cfg_.faults.garbageEveryN;
  if (every > 0 && messages_ % static_cast<uint64_t>(every) == 0) {
    const std::vector<uint8_t> g = Garbage(1 + rng_() % 16);
    if (!Write(g.data(), g.size())) return false;
  }
  return true;
}

// Random bytes that never hold 0xAB, the first byte of every DVR message id,
// so no message header can start inside them.
std::vector<uint8_t> Connection::Garbage(size_t n) {
  std::vector<uint8_t> g(n);
  for (uint8_t& b : g) {
    do {
      b = static_cast<uint8_t>(rng_());
    } while (b == 0xAB);
  }
  return g;
}

bool Connection::Write(const uint8_t* p, size_t n) {
  const bool drip = cfg_.faults.drip;
  size_t off = 0;
  while (off < n) {
    if (stop_.load()) return false;
    const size_t chunk = drip ? 1 : n - off;
    const ssize_t sent = ::send(fd_, p + off, chunk, MSG_NOSIGNAL);
    s_.sendCalls.fetch_add(1, std::memory_order_relaxed);
    if (sent > 0) {
      off += static_cast<size_t>(sent);
      s_.bytesSent.fetch_add(static_cast<uint64_t>(sent), std::memory_order_relaxed);
      if (drip && cfg_.faults.dripPauseUs > 0) {
        const timespec pause{0, static_cast<long>(std::min(cfg_.faults.dripPauseUs, 999'999)) * 1000L};
        ::nanosleep(&pause, nullptr);
      }
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitWritable()) return false;
      continue;
    }
    return false;
  }
  return true;
}

// Blocks until the socket takes more bytes; false when the connection broke
// or the connection is being stopped.
bool Connection::WaitWritable() {
  for (;;) {
    if (stop_.load()) return false;
    pollfd fds[2] = {{fd_, POLLOUT, 0}, {wake_.fd(), POLLIN, 0}};
    const int n = ::poll(fds, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    // Commands stay queued and are run after this message.
    if (fds[1].revents & POLLIN) wake_.Drain();
    if (fds[0].revents & (POLLERR | POLLHUP)) return false;
    if (fds[0].revents & POLLOUT) return true;
  }
}

}  // namespace dvrsim
