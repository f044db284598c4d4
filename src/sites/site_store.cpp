#include "sites/site_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "platform/core/debug_out.h"
#include "protocol/text.h"
#include "sites/registry_db.h"
#include "sites/site_record.h"

namespace lv {
namespace fs = std::filesystem;
namespace {

std::string ErrnoText() { return std::strerror(errno); }

// Creates every missing folder of the path with mode 0700; folders that
// already exist keep their mode.
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

// The file holds passwords: readable by its owner only.
void TightenMode(const fs::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0)
    ::chmod(file.c_str(), S_IRUSR | S_IWUSR);
}

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

std::u16string Text(const std::string& utf8) { return Utf8ToUtf16(utf8); }

}  // namespace

fs::path DefaultSiteStoreFolder() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/')
    return fs::path(xdg) / "lorventa";
  std::string home;
  if (const char* h = std::getenv("HOME"); h != nullptr && h[0] != 0) {
    home = h;
  } else if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    home = pw->pw_dir;
  }
  return fs::path(home) / ".config" / "lorventa";
}

SiteStore::SiteStore() : SiteStore(DefaultSiteStoreFolder()) {}

SiteStore::SiteStore(fs::path folder) : m_folder(std::move(folder)) {}

StoreResult SiteStore::Report(StoreResult result, const std::string& text) {
  m_message = Text(text);
  return result;
}

bool SiteStore::PrepareFile(std::string& error) const {
  if (!MakeFolders(m_folder, error)) return false;
  const fs::path file = FilePath();
  // An empty file is an empty database; made here so that it starts 0600.
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd >= 0) {
    ::close(fd);
  } else if (errno != EEXIST) {
    error = file.string() + ": " + ErrnoText();
    return false;
  }
  TightenMode(file);
  return true;
}

bool SiteStore::MoveAside(std::string& error) {
  const fs::path file = FilePath();
  const std::string stamp = Stamp();
  for (int n = 1; n < 100; ++n) {
    fs::path target = file;
    target += ".damaged-" + stamp + (n > 1 ? "-" + std::to_string(n) : "");
    if (!RenameNoReplace(file, target)) {
      if (errno == EEXIST) continue;
      error = ErrnoText();
      return false;
    }
    // A journal left beside the file belongs to it; a new file must not
    // inherit it, or SQLite would roll it back into the new file.
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
      fs::path from = file, to = target;
      from += suffix;
      to += suffix;
      ::rename(from.c_str(), to.c_str());
    }
    m_movedAside = target;
    DebugOut(" Site store damaged, moved to [%s]\r\n", target.c_str());
    return true;
  }
  error = "no free name to move it to";
  return false;
}

StoreResult SiteStore::LoadSites(SiteList& list, HWND notifyWindow) {
  m_message.clear();
  m_movedAside.clear();
  const fs::path file = FilePath();
  std::error_code ec;
  if (!fs::exists(file, ec)) return StoreResult::Ok;  // nothing saved yet
  TightenMode(file);

  RegistryDb db;
  std::vector<RegistryValue> values;
  DbStatus status = db.Open(file, false);
  if (status == DbStatus::Ok) status = db.ReadKey(kKeyPath, kSiteValueReadLimit, values);
  const std::string why = db.LastErrorText();
  db.Close();

  switch (status) {
    case DbStatus::Ok:
      break;
    case DbStatus::Damaged: {
      std::string error;
      if (!MoveAside(error))
        return Report(StoreResult::Failed, "The site store " + file.string() +
                                               " is damaged and could not be moved aside (" + error + ").");
      return Report(StoreResult::Recovered, "The site store was damaged and has been moved aside to " +
                                                m_movedAside.string() + ". Starting with an empty list.");
    }
    case DbStatus::Busy:
      return Report(StoreResult::Busy,
                    "The site store " + file.string() + " is in use by another instance. The sites were not loaded.");
    case DbStatus::Failed:
      return Report(StoreResult::Failed, "The sites could not be loaded from " + file.string() + " (" + why + ").");
  }

  for (int i = 0; i < kLoadedValues; ++i) {
    const std::string name = std::to_string(i);
    const RegistryValue* value = nullptr;
    for (const RegistryValue& v : values)
      if (v.name == name) value = &v;
    if (value == nullptr || value->type != kStringType || value->size == 0) continue;
    const auto fields = DecodeSiteRecord(value->data.data(), value->data.size());
    if (!fields) continue;
    auto site = std::make_unique<CDvrSession>(notifyWindow);
    site->m_nSiteIndex = i;
    site->m_strSiteName = fields->name;
    site->m_strAddress = fields->address;
    site->m_nPort = fields->port;
    site->m_strUserID = fields->user;
    site->m_strPassword = fields->password;
    list.AppendSite(std::move(site));
  }
  return StoreResult::Ok;
}

namespace {

// The whole list in one transaction: on any failure it is rolled back and
// the stored list stays as it was.
DbStatus WriteList(RegistryDb& db, const SiteList& list) {
  if (const DbStatus s = db.Begin(); s != DbStatus::Ok) return s;
  if (const DbStatus s = db.DeleteKey(SiteStore::kKeyPath); s != DbStatus::Ok) {
    DebugOut(" Key Delete Fail [%s] [%d]\r\n", SiteStore::kKeyPath, db.LastError());
    db.Rollback();
    return s;
  }
  DebugOut(" Key Delete \r\n");
  int n = 0;
  for (const CDvrSession* site = list.First(); site != nullptr; site = site->m_pNext, ++n) {
    const std::u16string record = FormatSiteRecord(
        {site->m_strSiteName, site->m_strAddress, site->m_nPort, site->m_strUserID, site->m_strPassword});
    const DbStatus s = db.SetValue(SiteStore::kKeyPath, std::to_string(n), SiteStore::kStringType,
                                   EncodeSiteRecord(record));
    if (s != DbStatus::Ok) {
      DebugOut("Save Key Fail [%d] Len[%d]!\r\n", n, static_cast<int>(record.size()));
      db.Rollback();
      return s;
    }
  }
  return db.Commit();
}

}  // namespace

StoreResult SiteStore::SaveSites(const SiteList& list) {
  m_message.clear();
  m_movedAside.clear();
  const fs::path file = FilePath();
  for (int attempt = 0;; ++attempt) {
    std::string error;
    if (!PrepareFile(error))
      return Report(StoreResult::Failed, "The sites could not be saved (" + error + ").");
    RegistryDb db;
    DbStatus status = db.Open(file, true);
    if (status == DbStatus::Ok) status = WriteList(db, list);
    const std::string why = db.LastErrorText();
    db.Close();

    switch (status) {
      case DbStatus::Ok:
        if (m_movedAside.empty()) return StoreResult::Ok;
        return Report(StoreResult::Recovered, "The site store was damaged and has been moved aside to " +
                                                  m_movedAside.string() + ". The sites were saved to a new store.");
      case DbStatus::Damaged:
        if (attempt > 0) break;  // a fresh file damaged at once: give up
        if (!MoveAside(error))
          return Report(StoreResult::Failed, "The site store " + file.string() +
                                                 " is damaged and could not be moved aside (" + error +
                                                 "). The sites were not saved.");
        continue;
      case DbStatus::Busy:
        return Report(StoreResult::Busy,
                      "The site store " + file.string() + " is in use by another instance. The sites were not saved.");
      case DbStatus::Failed:
        break;
    }
    return Report(StoreResult::Failed, "The sites could not be saved to " + file.string() + " (" + why + ").");
  }
}

}  // namespace lv
