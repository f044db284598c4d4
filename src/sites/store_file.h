#pragma once
// The file side of the site store: its folder and the lock savers share, how
// the file on the path is opened for reading, how a new file replaces it
// whole, and how a file that cannot be used is moved aside.
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>

namespace lv {

// Closes its descriptor on every path out.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : m_fd(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return m_fd; }
  explicit operator bool() const { return m_fd >= 0; }
  void Reset(int fd = -1);

 private:
  int m_fd;
};

// Creates every missing folder of the path with mode 0700; folders that
// already exist keep their mode.
bool MakeFolders(const std::filesystem::path& folder, std::string& error);

// Savers, and a reader about to move the file aside, hold this lock on the
// store's folder, so the file on the path changes under no one who decided
// what to do with it. Released when destroyed.
class FolderLock {
 public:
  enum class Outcome { Locked, Busy, Failed };
  Outcome Acquire(const std::filesystem::path& folder, int timeoutMs, std::string& error);
  int FolderFd() const { return m_fd.get(); }

 private:
  UniqueFd m_fd;
};

// What is on the store's path, opened for reading.
struct StoreFile {
  enum class Kind { Absent, Empty, NotDatabase, Foreign, Database, Failed };
  Kind kind = Kind::Absent;
  UniqueFd fd;
  bool viaLink = false;  // the path is a symbolic link: never change its target
  dev_t device = 0;
  ino_t inode = 0;
  std::string error;  // with Failed
};

// Opens the file on the path (through a link, if it is one) and tells from
// its first bytes whether it can be one of our databases: ours are never in
// write-ahead-log mode, which a read-only reader could not open unwritten.
StoreFile OpenStoreFile(const std::filesystem::path& file);

// The file's mode becomes 0600 unless it was reached through a link.
void TightenMode(const StoreFile& file);

// True while the path still names the file that was opened.
bool StillOnPath(const StoreFile& file, const std::filesystem::path& path);

// Writes a new file beside path with write(tempPath) into an empty 0600 file,
// syncs it, renames it over path and syncs the folder: whoever opens path
// sees the old file or the new one, whole. Needs the folder lock (folderFd).
bool ReplaceFile(int folderFd, const std::filesystem::path& path,
                 const std::function<bool(const std::filesystem::path& tempPath, std::string& error)>& write,
                 std::string& error);

// Removes new files that a saver left behind when it died before its rename.
// Needs the folder lock.
void RemoveLeftoverFiles(const std::filesystem::path& path);

// Renames path to "<path>.damaged-<local date and time>[-n]" without
// replacing anything, its journals with it; the new name, or empty with
// error set.
std::filesystem::path MoveAside(const std::filesystem::path& path, std::string& error);

}  // namespace lv
