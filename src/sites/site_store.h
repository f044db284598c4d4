#pragma once
// The persistent store of the site list: registry-style values "0", "1", ...
// under the key path "SOFTWARE\ZEB\XAV\", type 1 (string), each holding one
// site record's bytes, kept in an SQLite file in the store folder.
//
// The store keeps no state between calls beyond its folder and the outcome
// of the last call. A save replaces the whole list in one transaction, so a
// crash at any moment leaves the old list or the new one. A file that is not
// a sound store is never written over: it is moved aside, the caller is told,
// and the list starts empty.
#include <filesystem>
#include <string>

#include "platform/core/window.h"
#include "sites/site_list.h"

namespace lv {

enum class StoreResult {
  Ok,
  Recovered,  // the file was damaged and has been moved aside; see Message()
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
  // list order; indexes in memory stay as they are.
  StoreResult SaveSites(const SiteList& list);

  // For the user after a result other than Ok; empty after Ok.
  const std::u16string& Message() const { return m_message; }
  // Where the last damaged file went; empty unless the result was Recovered.
  const std::filesystem::path& MovedAsideTo() const { return m_movedAside; }
  const std::filesystem::path& Folder() const { return m_folder; }
  std::filesystem::path FilePath() const { return m_folder / kFileName; }

 private:
  bool PrepareFile(std::string& error) const;
  bool MoveAside(std::string& error);
  StoreResult Report(StoreResult result, const std::string& text);

  std::filesystem::path m_folder;
  std::u16string m_message;
  std::filesystem::path m_movedAside;
};

}  // namespace lv
