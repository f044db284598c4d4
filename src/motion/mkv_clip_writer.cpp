#include "motion/mkv_clip_writer.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/mathematics.h>
}

namespace fs = std::filesystem;

namespace lv {
namespace {

constexpr int kMaxNumbering = 1000;

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

struct FormatFree {
  void operator()(AVFormatContext* c) const {
    if (c->pb != nullptr) avio_closep(&c->pb);
    avformat_free_context(c);
  }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// Flushes a file's (or folder's) data to the disk.
bool SyncPath(const fs::path& path, bool directory) {
  const int fd = ::open(path.c_str(), (directory ? O_DIRECTORY : 0) | O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

// Renames without replacing a file that took the name meanwhile.
bool RenameNoReplace(const fs::path& from, const fs::path& to, int& err) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  err = errno;
  if (err != EINVAL && err != ENOSYS) return false;
  // A file system without the flag: check, then rename.
  std::error_code ec;
  if (fs::exists(to, ec)) {
    err = EEXIST;
    return false;
  }
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  err = errno;
  return false;
}

// ISO 8601 in UTC, which Matroska keeps as the clip's date.
std::string IsoTime(std::int64_t wallUs) {
  const auto t = static_cast<std::time_t>(wallUs / 1'000'000);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[40] = {};
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  const std::int64_t ms = (wallUs % 1'000'000 + 1'000'000) % 1'000'000 / 1000;
  return std::string(text) + "." + std::to_string(ms + 1000).substr(1) + "Z";
}

}  // namespace

std::string NumberedClipName(const std::string& name, int n) {
  if (n <= 1) return name;
  const fs::path p(name);
  return p.stem().string() + "-" + std::to_string(n) + p.extension().string();
}

struct MkvClipWriter::State {
  std::unique_ptr<AVFormatContext, FormatFree> format;
  std::unique_ptr<AVPacket, PacketFree> packet{av_packet_alloc()};
  fs::path folder, part, final;
  std::string name;
  int n = 1;
  std::int64_t firstUs = 0;
  std::int64_t lastPts = -1;
};

MkvClipWriter::MkvClipWriter() : m_state(std::make_unique<State>()) {}
MkvClipWriter::~MkvClipWriter() { Abandon(); }

bool MkvClipWriter::IsOpen() const { return m_state->format != nullptr; }
fs::path MkvClipWriter::FinalPath() const { return m_state->final; }

void MkvClipWriter::Abandon() {
  State& s = *m_state;
  if (!s.format) return;
  s.format.reset();
  std::error_code ec;
  fs::remove(s.part, ec);
}

bool MkvClipWriter::Open(const fs::path& folder, const std::string& name, int firstN, int width, int height,
                         std::int64_t firstUs, std::string& error) {
  Abandon();
  State& s = *m_state;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    error = "cannot create the clip folder " + folder.string() + ": " + ec.message();
    return false;
  }
  // Claim a name: O_EXCL makes the .part ours even against another recorder.
  bool claimed = false;
  for (int n = std::max(firstN, 1); n < firstN + kMaxNumbering && !claimed; ++n) {
    s.final = folder / NumberedClipName(name, n);
    s.part = s.final;
    s.part += ".part";
    if (fs::exists(s.final, ec)) continue;
    // 0600: camera pictures are private to the user who records them.
    const int fd = ::open(s.part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      claimed = true;
      s.n = n;
    } else if (errno != EEXIST) {
      error = "cannot create " + s.part.string() + ": " + std::strerror(errno);
      return false;
    }
  }
  if (!claimed) {
    error = "no free clip name for " + (folder / name).string();
    return false;
  }
  s.folder = folder;
  s.name = name;
  s.firstUs = firstUs;
  s.lastPts = -1;

  auto fail = [&](const char* what, int code) {
    error = std::string(what) + " " + s.part.string() + ": " + AvError(code);
    s.format.reset();
    fs::remove(s.part, ec);
    return false;
  };
  AVFormatContext* raw = nullptr;
  int rc = avformat_alloc_output_context2(&raw, nullptr, "matroska", nullptr);
  if (rc < 0 || raw == nullptr) return fail("cannot start", rc);
  s.format.reset(raw);
  AVStream* stream = avformat_new_stream(raw, nullptr);
  if (stream == nullptr) return fail("cannot start", AVERROR(ENOMEM));
  stream->time_base = AVRational{1, 1000};
  stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  stream->codecpar->codec_id = AV_CODEC_ID_MJPEG;
  stream->codecpar->width = width;
  stream->codecpar->height = height;
  av_dict_set(&raw->metadata, "creation_time", IsoTime(firstUs).c_str(), 0);
  // "file:" so that a ':' in the folder's name is never taken for a protocol.
  rc = avio_open(&raw->pb, ("file:" + s.part.string()).c_str(), AVIO_FLAG_WRITE);
  if (rc < 0) return fail("cannot open", rc);
  // Clusters of at most a second, each flushed to the file when complete, so
  // that the .part of a process that died holds all but its last second.
  AVDictionary* muxerOptions = nullptr;
  av_dict_set(&muxerOptions, "cluster_time_limit", "1000", 0);
  av_dict_set(&muxerOptions, "flush_packets", "1", 0);
  rc = avformat_write_header(raw, &muxerOptions);
  av_dict_free(&muxerOptions);
  if (rc < 0) return fail("cannot write the header of", rc);
  return true;
}

bool MkvClipWriter::Write(const std::uint8_t* jpeg, std::size_t size, std::int64_t wallUs, std::string& error) {
  State& s = *m_state;
  if (!s.format) {
    error = "no clip is open";
    return false;
  }
  AVStream* stream = s.format->streams[0];
  std::int64_t pts = av_rescale_q(wallUs - s.firstUs, AVRational{1, 1'000'000}, stream->time_base);
  if (pts <= s.lastPts) pts = s.lastPts + 1;  // same or earlier arrival: keep the order strict
  AVPacket* packet = s.packet.get();
  int rc = av_new_packet(packet, static_cast<int>(size));
  if (rc == 0) {
    std::memcpy(packet->data, jpeg, size);
    packet->pts = packet->dts = pts;
    packet->stream_index = 0;
    packet->flags |= AV_PKT_FLAG_KEY;
    rc = av_write_frame(s.format.get(), packet);
    av_packet_unref(packet);
  }
  if (rc == 0 && s.format->pb->error < 0) rc = s.format->pb->error;
  if (rc < 0) {
    error = "cannot write " + s.part.string() + ": " + AvError(rc);
    Abandon();
    return false;
  }
  s.lastPts = pts;
  return true;
}

fs::path MkvClipWriter::Close(std::string& error) {
  State& s = *m_state;
  if (!s.format) {
    error = "no clip is open";
    return {};
  }
  int rc = av_write_trailer(s.format.get());
  if (rc == 0 && s.format->pb->error < 0) rc = s.format->pb->error;
  const int closeRc = avio_closep(&s.format->pb);
  if (rc == 0) rc = closeRc;
  if (rc < 0) {
    error = "cannot finish " + s.part.string() + ": " + AvError(rc);
    Abandon();
    return {};
  }
  if (!SyncPath(s.part, false)) {
    error = "cannot sync " + s.part.string() + ": " + std::strerror(errno);
    Abandon();
    return {};
  }
  for (int n = s.n, err = 0; n < s.n + kMaxNumbering; ++n) {
    const fs::path final = s.folder / NumberedClipName(s.name, n);
    if (RenameNoReplace(s.part, final, err)) {
      s.format.reset();
      s.final = final;
      SyncPath(s.folder, true);  // the rename itself reaches the disk
      return final;
    }
    if (err != EEXIST) {
      error = "cannot rename " + s.part.string() + ": " + std::strerror(err);
      break;
    }
  }
  if (error.empty()) error = "no free clip name for " + s.part.string();
  Abandon();
  return {};
}

}  // namespace lv
