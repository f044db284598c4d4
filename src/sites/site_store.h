#pragma once
// The persistent store of the site list: registry-style values "0", "1", ...
// under the key path "SOFTWARE\ZEB\XAV\", type 1 (string), each holding one
// site record's bytes, kept in an SQLite file in the store folder.
//
// Loads never write. A save writes the whole list into a new file and
// renames it over the old one, so a crash at any moment, or a copy of the
// file taken at any moment, holds the old list or the new one, whole.
// Between calls the store remembers what it last read or wrote; a save that
// finds the store changed since then (another instance saved) merges its
// list into the store's instead of writing over it. A file that is not a
// sound store of ours is never written into: it is moved aside, the caller
// is told, and the list starts empty.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/window.h"
#include "sites/site_list.h"
#include "sites/store_merge.h"

namespace lv {

class FolderLock;

enum class StoreResult {
  Ok,
  Recovered,  // the file was damaged or not ours and has been moved aside; see Message()
  Merged,     // another instance had changed the store: both lists merged; see Message()
  Busy,       // another instance held the store locked too long; nothing changed
  Failed,     // the store could not be read or written; nothing changed
};

// $XDG_CONFIG_HOME/lorventa, or ~/.config/lorventa when that is unset or not absolute.
std::filesystem::path DefaultSiteStoreFolder();

class SiteStore {
 public:
  static constexpr const char* kKeyPath = "SOFTWARE\\ZEB\\XAV\\";
  static constexpr const char* kFileName = "sites.db";
  static constexpr int kStringType = 1;
  static constexpr int kLoadedValues = 32;  // only "0".."31" are read back

  SiteStore();
  // A store in another folder (tests, the demo).
  explicit SiteStore(std::filesystem::path folder);

  // Appends one new site per valid stored value "0".."31", in value order,
  // each with its value number as index. A missing store gives an empty list.
  StoreResult LoadSites(SiteList& list, HWND notifyWindow);
  // Replaces the stored list with list, numbering the values 0, 1, ... in
  // list order; indexes in memory stay as they are. When another instance
  // has changed the store since this one last read or wrote it, the two are
  // merged (MergeSiteRecords), the merge is saved, and list is rebuilt from
  // it as a load would (new session objects, indexes 0, 1, ...).
  StoreResult SaveSites(SiteList& list, HWND notifyWindow = 0);

  // For the user after a result other than Ok; empty after Ok.
  const std::u16string& Message() const { return m_message; }
  // Where the last unusable file went; empty unless the result was Recovered.
  const std::filesystem::path& MovedAsideTo() const { return m_movedAside; }
  const std::filesystem::path& Folder() const { return m_folder; }
  std::filesystem::path FilePath() const { return m_folder / kFileName; }

 private:
  struct Contents;
  // What is on the path now. A file that is not a sound store of ours is
  // moved aside (Recovered) and the store is then empty.
  StoreResult Read(Contents& contents, bool saving, FolderLock* held);
  StoreResult Report(StoreResult result, const std::string& text);

  std::filesystem::path m_folder;
  std::u16string m_message;
  std::filesystem::path m_movedAside;
  // The stored values as last read or written (every value of the key, in
  // a canonical form) and the site records among them.
  std::string m_seenValues;
  std::vector<IndexedRecord> m_seenRecords;
};

}  // namespace lv
