#pragma once
// Keeps the evidence of one channel: the last seconds of pictures as the DVR
// sent them (JPEG, never re-encoded), and on a trigger writes those from
// `preSeconds` before it to `postSeconds` after it (a later trigger extends
// the clip) into a Matroska file through libavformat, each picture stamped
// with its arrival time. The file is written under a temporary name
// ("….mkv.part") and renamed when closed, so a process killed mid-clip never
// leaves a broken file under a clip's name. A clip whose pictures stop (a
// lost link) is closed a few seconds after its end. After each clip the folder is
// held under its size cap by deleting the oldest clips first.
//
// Threads: AddPicture and Trigger come from one thread and only copy and
// queue; a writer thread of the recorder does the muxing and the disk work,
// so a slow disk never holds up the caller.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace lv {

struct ClipOptions {
  std::filesystem::path folder;  // made when the first clip is written
  std::string site;              // for the file name
  int channel = 0;               // 0-based; the file name shows it 1-based
  int preSeconds = 5;
  int postSeconds = 10;
  std::uint64_t maxFolderBytes = 0;  // 0: no cap
};

// "SITE_chN_YYYYMMDD-HHMMSS.mkv" (local time of the first picture; characters
// that cannot be in a file name are replaced by '_').
std::string ClipFileName(const std::string& site, int channel, std::int64_t wallUs);

// Deletes the oldest "*.mkv" clips in folder until the rest fit in maxBytes;
// a clip being written ("*.part") is never deleted. Returns the bytes freed.
std::uint64_t EnforceClipCap(const std::filesystem::path& folder, std::uint64_t maxBytes);

class ClipRecorder {
 public:
  // Called on the writer thread with the final path of each closed clip, or
  // with an empty path and the reason when a clip could not be written.
  using ClosedFn = std::function<void(const std::filesystem::path& path, const std::string& error)>;

  explicit ClipRecorder(ClipOptions options, ClosedFn onClosed = {});
  ~ClipRecorder();  // closes a clip being written with what it has
  ClipRecorder(const ClipRecorder&) = delete;
  ClipRecorder& operator=(const ClipRecorder&) = delete;

  // A picture as received (copied), with its wall-clock arrival time in
  // microseconds since the epoch.
  void AddPicture(const std::uint8_t* jpeg, std::size_t size, std::int64_t wallUs);
  // Starts a clip, or extends the one being written, to cover wallUs.
  void Trigger(std::int64_t wallUs);
  bool Recording() const;
  // The path the clip being written will have when closed ("" when none).
  std::filesystem::path CurrentClip() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace lv
