#include "sites/store_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

namespace lv {
namespace fs = std::filesystem;
namespace {

std::string ErrnoText() { return std::strerror(errno); }

std::string Stamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

// Renames without replacing an existing file.
bool RenameNoReplace(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL) return false;  // EINVAL: the file system cannot do it atomically
  std::error_code ec;
  if (fs::exists(to, ec)) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

std::string LeftoverPrefix(const fs::path& path) { return path.filename().string() + ".new-"; }

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) Reset(std::exchange(other.m_fd, -1));
  return *this;
}

void UniqueFd::Reset(int fd) {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = fd;
}

bool MakeFolders(const fs::path& folder, std::string& error) {
  fs::path partial;
  for (const fs::path& part : folder) {
    partial /= part;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
      error = partial.string() + ": " + ErrnoText();
      return false;
    }
  }
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    error = folder.string() + ": not a folder";
    return false;
  }
  return true;
}

FolderLock::Outcome FolderLock::Acquire(const fs::path& folder, int timeoutMs, std::string& error) {
  m_fd.Reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!m_fd) {
    error = folder.string() + ": " + ErrnoText();
    return Outcome::Failed;
  }
  constexpr int kStepMs = 10;
  for (int waited = 0;; waited += kStepMs) {
    if (::flock(m_fd.get(), LOCK_EX | LOCK_NB) == 0) return Outcome::Locked;
    if (errno != EWOULDBLOCK && errno != EINTR) {
      error = folder.string() + ": " + ErrnoText();
      return Outcome::Failed;
    }
    if (waited >= timeoutMs) return Outcome::Busy;
    std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
  }
}

StoreFile OpenStoreFile(const fs::path& path) {
  StoreFile file;
  file.fd.Reset(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file.fd && errno == ELOOP) {
    file.viaLink = true;
    file.fd.Reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  }
  struct stat st {};
  if (!file.fd || ::fstat(file.fd.get(), &st) != 0) {
    // A missing file, or a link to one, is no store yet.
    file.kind = errno == ENOENT ? StoreFile::Kind::Absent : StoreFile::Kind::Failed;
    file.error = path.string() + ": " + ErrnoText();
    return file;
  }
  file.device = st.st_dev;
  file.inode = st.st_ino;
  if (!S_ISREG(st.st_mode)) {
    file.kind = StoreFile::Kind::Failed;
    file.error = path.string() + ": not a file";
    return file;
  }
  if (st.st_size == 0) {
    file.kind = StoreFile::Kind::Empty;
    return file;
  }
  unsigned char header[100] = {};
  const ssize_t got = ::pread(file.fd.get(), header, sizeof header, 0);
  if (got < 0) {
    file.kind = StoreFile::Kind::Failed;
    file.error = path.string() + ": " + ErrnoText();
  } else if (got < static_cast<ssize_t>(sizeof header) || std::memcmp(header, "SQLite format 3", 16) != 0) {
    file.kind = StoreFile::Kind::NotDatabase;
  } else if (header[18] != 1 || header[19] != 1) {
    file.kind = StoreFile::Kind::Foreign;
  } else {
    file.kind = StoreFile::Kind::Database;
  }
  return file;
}

void TightenMode(const StoreFile& file) {
  struct stat st {};
  if (file.viaLink || !file.fd || ::fstat(file.fd.get(), &st) != 0) return;
  if ((st.st_mode & 077) != 0) ::fchmod(file.fd.get(), S_IRUSR | S_IWUSR);
}

bool StillOnPath(const StoreFile& file, const fs::path& path) {
  const StoreFile now = OpenStoreFile(path);
  return now.fd && now.device == file.device && now.inode == file.inode;
}

bool ReplaceFile(int folderFd, const fs::path& path,
                 const std::function<bool(const fs::path& tempPath, std::string& error)>& write,
                 std::string& error) {
  std::string name = path.string() + ".new-XXXXXX";
  UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));  // mode 0600 from the start
  if (!fd) {
    error = path.parent_path().string() + ": " + ErrnoText();
    return false;
  }
  const fs::path temp = name;
  bool ok = write(temp, error);
  if (ok && ::fsync(fd.get()) != 0) {
    error = temp.string() + ": " + ErrnoText();
    ok = false;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    error = path.string() + ": " + ErrnoText();
    ok = false;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // The rename itself lasts only once the folder is synced.
  if (::fsync(folderFd) != 0) {
    error = path.parent_path().string() + ": " + ErrnoText();
    return false;
  }
  return true;
}

void RemoveLeftoverFiles(const fs::path& path) {
  const std::string prefix = LeftoverPrefix(path);
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(path.parent_path(), ec))
    if (entry.path().filename().string().rfind(prefix, 0) == 0) fs::remove(entry.path(), ec);
}

fs::path MoveAside(const fs::path& path, std::string& error) {
  const std::string stamp = Stamp();
  for (int n = 1; n < 100; ++n) {
    fs::path target = path;
    target += ".damaged-" + stamp + (n > 1 ? "-" + std::to_string(n) : "");
    if (!RenameNoReplace(path, target)) {
      if (errno == EEXIST) continue;
      error = ErrnoText();
      return {};
    }
    // A journal left beside the file belongs to it; a new file must not
    // inherit it, or SQLite would roll it back into the new file.
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
      fs::path from = path, to = target;
      from += suffix;
      to += suffix;
      ::rename(from.c_str(), to.c_str());
    }
    return target;
  }
  error = "no free name to move it to";
  return {};
}

}  // namespace lv
