// Clip file names and the folder's size cap.
#include <algorithm>
#include <ctime>
#include <system_error>
#include <vector>

#include "motion/clip_recorder.h"

namespace fs = std::filesystem;

namespace lv {
namespace {

// Keeps a name well under the usual 255-byte limit once channel, time and a
// "-N" are added.
constexpr std::size_t kMaxSiteBytes = 120;

std::string SafeSite(const std::string& site) {
  std::string out = site.substr(0, kMaxSiteBytes);
  // Never end in the middle of a UTF-8 sequence.
  while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80) out.pop_back();
  if (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0xC0) out.pop_back();
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    const bool unsafe = u < 0x20 || u == 0x7F || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
    if (unsafe) c = '_';
  }
  // A leading '.' hides the file, a leading '-' reads as an option to tools.
  if (out.empty() || out.front() == '.' || out.front() == '-') out.insert(out.begin(), '_');
  return out;
}

}  // namespace

std::string ClipFileName(const std::string& site, int channel, std::int64_t wallUs) {
  // Floor division, so a time before the epoch still names its own second.
  std::int64_t seconds = wallUs / 1'000'000;
  if (wallUs % 1'000'000 < 0) --seconds;
  const auto t = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  return SafeSite(site) + "_ch" + std::to_string(channel + 1) + "_" + stamp + ".mkv";
}

std::uint64_t EnforceClipCap(const fs::path& folder, std::uint64_t maxBytes) {
  struct Clip {
    fs::path path;
    fs::file_time_type time;
    std::uint64_t bytes;
  };
  std::vector<Clip> clips;
  std::uint64_t total = 0;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code fileEc;
    // Regular files only: a symbolic link or folder named like a clip is left alone.
    if (!it->is_regular_file(fileEc) || it->is_symlink(fileEc) || it->path().extension() != ".mkv") continue;
    const auto bytes = it->file_size(fileEc);
    if (fileEc) continue;
    const auto time = it->last_write_time(fileEc);
    if (fileEc) continue;
    clips.push_back({it->path(), time, bytes});
    total += bytes;
  }
  std::sort(clips.begin(), clips.end(), [](const Clip& a, const Clip& b) {
    return a.time != b.time ? a.time < b.time : a.path.filename() < b.path.filename();
  });
  std::uint64_t freed = 0;
  for (const Clip& clip : clips) {
    if (total <= maxBytes) break;
    std::error_code removeEc;
    if (fs::remove(clip.path, removeEc)) {
      total -= clip.bytes;
      freed += clip.bytes;
    }
  }
  return freed;
}

}  // namespace lv
