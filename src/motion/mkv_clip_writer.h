#pragma once
// One Matroska file of JPEG pictures, stream-copied through libavformat and
// stamped in milliseconds from the first picture. It is written as
// "<name>.part" and renamed to its name only once finished and synced, so a
// process killed mid-clip never leaves a broken file under a clip's name.
// Used by the recorder's writer thread only.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace lv {

// "name.mkv" for n <= 1, otherwise "name-n.mkv".
std::string NumberedClipName(const std::string& name, int n);

class MkvClipWriter {
 public:
  MkvClipWriter();
  ~MkvClipWriter();  // a clip still open is abandoned: its .part is removed
  MkvClipWriter(const MkvClipWriter&) = delete;
  MkvClipWriter& operator=(const MkvClipWriter&) = delete;

  // Makes the folder when missing and starts NumberedClipName(name, n) with
  // the first n from `firstN` whose clip and .part are both free.
  bool Open(const std::filesystem::path& folder, const std::string& name, int firstN, int width, int height,
            std::int64_t firstUs, std::string& error);
  // A picture stamped wallUs; a stamp not after the last becomes last + 1 ms.
  bool Write(const std::uint8_t* jpeg, std::size_t size, std::int64_t wallUs, std::string& error);
  // Finishes, syncs and renames the clip; its final path, or empty on failure
  // (the .part is removed then).
  std::filesystem::path Close(std::string& error);
  void Abandon();

  bool IsOpen() const;
  std::filesystem::path FinalPath() const;

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace lv
