#include "sites/site_store.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <utility>
#include <vector>

#include "platform/core/debug_out.h"
#include "protocol/text.h"
#include "sites/registry_db.h"
#include "sites/site_record.h"
#include "sites/store_file.h"

namespace lv {
namespace fs = std::filesystem;
namespace {

// Values are read whole for the change check; no site record comes near this.
constexpr std::size_t kWholeValue = std::size_t{1} << 20;

std::u16string Text(const std::string& utf8) { return Utf8ToUtf16(utf8); }

// Every value of the key in one comparable text, whatever order they came in.
std::string Canonical(std::vector<RegistryValue> values) {
  std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  std::string out;
  for (const RegistryValue& v : values)
    out += std::to_string(v.name.size()) + ":" + v.name + " " + std::to_string(v.type) + " " +
           std::to_string(v.size) + ":" + std::string(v.data.begin(), v.data.end()) + ";";
  return out;
}

struct StoredSite {
  int index = 0;
  SiteFields fields;
};

// What a load makes of the values: each well-formed string value "0".."31",
// of which only the first bytes the loader reads count.
std::vector<StoredSite> DecodeSites(const std::vector<RegistryValue>& values) {
  std::vector<StoredSite> sites;
  for (int i = 0; i < SiteStore::kLoadedValues; ++i) {
    const std::string name = std::to_string(i);
    const RegistryValue* value = nullptr;
    for (const RegistryValue& v : values)
      if (v.name == name) value = &v;
    if (value == nullptr || value->type != SiteStore::kStringType || value->size == 0) continue;
    const auto fields = DecodeSiteRecord(value->data.data(), std::min(value->data.size(), kSiteValueReadLimit));
    if (fields) sites.push_back({i, *fields});
  }
  return sites;
}

std::string RecordOf(const SiteFields& f) {
  const std::vector<std::uint8_t> bytes = EncodeSiteRecord(FormatSiteRecord(f));
  return {bytes.begin(), bytes.end()};
}

SiteFields FieldsOf(const CDvrSession& s) { return s.Site(); }

std::unique_ptr<CDvrSession> MakeSite(int index, const SiteFields& fields, HWND notifyWindow) {
  auto site = std::make_unique<CDvrSession>(notifyWindow);
  site->m_nSiteIndex = index;
  site->SetSite(fields);
  return site;
}

// The whole list into an empty registry in memory, in one transaction.
DbStatus WriteList(RegistryDb& db, const std::vector<RegistryValue>& values) {
  if (const DbStatus s = db.Begin(); s != DbStatus::Ok) return s;
  if (const DbStatus s = db.DeleteKey(SiteStore::kKeyPath); s != DbStatus::Ok) {
    DebugOut(" Key Delete Fail [%s] [%d]\r\n", SiteStore::kKeyPath, db.LastError());
    db.Rollback();
    return s;
  }
  DebugOut(" Key Delete \r\n");
  for (const RegistryValue& v : values) {
    if (const DbStatus s = db.SetValue(SiteStore::kKeyPath, v.name, v.type, v.data); s != DbStatus::Ok) {
      DebugOut("Save Key Fail [%s] Len[%d]!\r\n", v.name.c_str(), static_cast<int>(v.data.size() / 2));
      db.Rollback();
      return s;
    }
  }
  return db.Commit();
}

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

struct SiteStore::Contents {
  bool present = false;  // a store of ours is on the path
  std::vector<RegistryValue> values;
};

SiteStore::SiteStore() : SiteStore(DefaultSiteStoreFolder()) {}

SiteStore::SiteStore(fs::path folder) : m_folder(std::move(folder)) {}

StoreResult SiteStore::Report(StoreResult result, const std::string& text) {
  m_message = Text(text);
  return result;
}

StoreResult SiteStore::Read(Contents& contents, bool saving, FolderLock* held) {
  const fs::path file = FilePath();
  const std::string notDone = saving ? " The sites were not saved." : " The sites were not loaded.";
  contents = {};
  StoreFile opened = OpenStoreFile(file);
  DbStatus status = DbStatus::Ok;
  std::string why = opened.error;
  switch (opened.kind) {
    case StoreFile::Kind::Absent:
    case StoreFile::Kind::Empty:
      return StoreResult::Ok;  // nothing saved yet
    case StoreFile::Kind::Failed:
      status = DbStatus::Failed;
      break;
    case StoreFile::Kind::NotDatabase:
      status = DbStatus::Damaged;
      break;
    case StoreFile::Kind::Foreign:
      status = DbStatus::Foreign;
      break;
    case StoreFile::Kind::Database: {
      RegistryDb db;
      status = db.OpenRead(file);
      if (status == DbStatus::Ok) status = db.ReadKey(kKeyPath, kWholeValue, contents.values);
      why = db.LastErrorText();
      break;
    }
  }
  switch (status) {
    case DbStatus::Ok:
      TightenMode(opened);
      contents.present = true;
      return StoreResult::Ok;
    case DbStatus::Busy:
      return Report(StoreResult::Busy, "The site store " + file.string() + " is in use by another instance." + notDone);
    case DbStatus::Failed:
      return Report(StoreResult::Failed, std::string("The sites could not be ") +
                                             (saving ? "saved to " : "loaded from ") + file.string() + " (" + why +
                                             ").");
    case DbStatus::Damaged:
    case DbStatus::Foreign:
      break;
  }

  // Moved aside under the folder lock, and only if no saver has put a new
  // file in its place since it was looked at.
  std::string error;
  FolderLock own;
  if (held == nullptr) {
    switch (own.Acquire(m_folder, RegistryDb::kBusyTimeoutMs, error)) {
      case FolderLock::Outcome::Locked:
        break;
      case FolderLock::Outcome::Busy:
        return Report(StoreResult::Busy, "The site store " + file.string() + " is in use by another instance." + notDone);
      case FolderLock::Outcome::Failed:
        return Report(StoreResult::Failed, "The site store " + file.string() +
                                               " could not be checked (" + error + ")." + notDone);
    }
    held = &own;
  }
  if (!StillOnPath(opened, file)) return Read(contents, saving, held);
  m_movedAside = MoveAside(file, error);
  if (m_movedAside.empty())
    return Report(StoreResult::Failed, "The site store " + file.string() + " is damaged and could not be moved aside (" +
                                           error + ")." + (saving ? notDone : ""));
  DebugOut(" Site store damaged, moved to [%s]\r\n", m_movedAside.c_str());
  return Report(StoreResult::Recovered,
                std::string(status == DbStatus::Foreign ? "The file in the site store's place is not a site store"
                                                        : "The site store was damaged") +
                    " and has been moved aside to " + m_movedAside.string() +
                    (saving ? ". The sites were saved to a new store." : ". Starting with an empty list."));
}

StoreResult SiteStore::LoadSites(SiteList& list, HWND notifyWindow) {
  m_message.clear();
  m_movedAside.clear();
  Contents contents;
  const StoreResult result = Read(contents, false, nullptr);
  if (result == StoreResult::Busy || result == StoreResult::Failed) return result;
  m_seenValues = Canonical(contents.values);
  m_seenRecords.clear();
  for (const auto& [index, fields] : DecodeSites(contents.values)) {
    m_seenRecords.push_back({index, RecordOf(fields)});
    list.AppendSite(MakeSite(index, fields, notifyWindow));
  }
  return result;
}

StoreResult SiteStore::SaveSites(SiteList& list, HWND notifyWindow) {
  m_message.clear();
  m_movedAside.clear();
  const fs::path file = FilePath();
  std::string error;
  if (!MakeFolders(m_folder, error)) return Report(StoreResult::Failed, "The sites could not be saved (" + error + ").");
  // One saver at a time decides, from the file on the path now, what to write.
  FolderLock lock;
  switch (lock.Acquire(m_folder, RegistryDb::kBusyTimeoutMs, error)) {
    case FolderLock::Outcome::Locked:
      break;
    case FolderLock::Outcome::Busy:
      return Report(StoreResult::Busy,
                    "The site store " + file.string() + " is in use by another instance. The sites were not saved.");
    case FolderLock::Outcome::Failed:
      return Report(StoreResult::Failed, "The sites could not be saved (" + error + ").");
  }
  RemoveLeftoverFiles(file);
  Contents now;
  const StoreResult read = Read(now, true, &lock);
  if (read == StoreResult::Busy || read == StoreResult::Failed) return read;

  std::vector<IndexedRecord> ours;
  std::map<std::string, SiteFields> fieldsOf;
  for (const CDvrSession* site = list.First(); site != nullptr; site = site->m_pNext) {
    const SiteFields fields = FieldsOf(*site);
    ours.push_back({site->m_nSiteIndex, RecordOf(fields)});
    fieldsOf.emplace(ours.back().bytes, fields);
  }
  // A store that is not as this instance last saw it holds changes it must keep.
  std::vector<std::string> records;
  for (const IndexedRecord& r : ours) records.push_back(r.bytes);
  bool merge = false;
  if (now.present && Canonical(now.values) != m_seenValues) {
    std::vector<std::string> theirs;
    for (const auto& [index, fields] : DecodeSites(now.values)) {
      theirs.push_back(RecordOf(fields));
      fieldsOf.emplace(theirs.back(), fields);
    }
    std::vector<std::string> merged = MergeSiteRecords(m_seenRecords, ours, theirs);
    merge = merged != records;  // else the other instance changed nothing ours keeps
    records = std::move(merged);
  }

  std::vector<RegistryValue> values;
  for (std::size_t n = 0; n < records.size(); ++n)
    values.push_back({std::to_string(n), kStringType, static_cast<std::int64_t>(records[n].size()),
                      {records[n].begin(), records[n].end()}});
  RegistryDb db;
  DbStatus status = db.OpenNew();
  if (status == DbStatus::Ok) status = WriteList(db, values);
  if (status != DbStatus::Ok) error = db.LastErrorText();
  const bool saved = status == DbStatus::Ok && ReplaceFile(lock.FolderFd(), file,
                                                           [&](const fs::path& temp, std::string& why) {
                                                             if (db.SaveInto(temp) == DbStatus::Ok) return true;
                                                             why = db.LastErrorText();
                                                             return false;
                                                           },
                                                           error);
  if (!saved) return Report(StoreResult::Failed, "The sites could not be saved to " + file.string() + " (" + error + ").");
  m_seenValues = Canonical(std::move(values));
  if (!merge) {
    m_seenRecords = std::move(ours);
    return m_movedAside.empty() ? StoreResult::Ok : StoreResult::Recovered;
  }
  // The list becomes what was saved, as a load would make it.
  list.ClearSites();
  m_seenRecords.clear();
  for (std::size_t n = 0; n < records.size(); ++n) {
    m_seenRecords.push_back({static_cast<int>(n), records[n]});
    list.AppendSite(MakeSite(static_cast<int>(n), fieldsOf[records[n]], notifyWindow));
  }
  return Report(StoreResult::Merged,
                "Another instance had changed the site list since it was read. Its changes were kept and yours "
                "applied on top of them; the list now shows both.");
}

}  // namespace lv
