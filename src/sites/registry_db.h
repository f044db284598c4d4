#pragma once
// A small registry kept in one SQLite file: values named within a key path,
// each with a type code and its bytes. A file is only ever read in place; a
// new registry is built in memory and written out whole into a new file
// (SaveInto), so the file on disk is never half old and half new.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct sqlite3;

namespace lv {

enum class DbStatus {
  Ok,
  Damaged,  // not a database, or one whose pages or table do not hold together
  Foreign,  // a sound database, but not a registry: another program's file
  Busy,     // another connection kept the file locked past the busy timeout
  Failed,   // anything else: cannot open, read-only, disk full, I/O error
};

struct RegistryValue {
  std::string name;
  int type = 0;
  std::int64_t size = 0;            // the whole data's size
  std::vector<std::uint8_t> data;  // at most the read limit of its first bytes
};

class RegistryDb {
 public:
  static constexpr int kBusyTimeoutMs = 5000;

  RegistryDb() = default;
  ~RegistryDb();
  RegistryDb(const RegistryDb&) = delete;
  RegistryDb& operator=(const RegistryDb&) = delete;

  // Opens an existing file read-only and checks that it is a sound database
  // holding our values table and nothing else. Never writes to the file.
  DbStatus OpenRead(const std::filesystem::path& file);
  // An empty registry in memory, to fill and then write out with SaveInto.
  DbStatus OpenNew();
  // Writes the whole registry into file, which must be absent or empty. The
  // file is not synced: the caller does that on its own descriptor.
  DbStatus SaveInto(const std::filesystem::path& file);
  void Close();

  // Every value of the key, each read up to readLimit bytes, in one snapshot.
  DbStatus ReadKey(const std::string& keyPath, std::size_t readLimit, std::vector<RegistryValue>& out);

  // A write transaction; it ends with Commit, or is rolled back by
  // Rollback or Close.
  DbStatus Begin();
  DbStatus DeleteKey(const std::string& keyPath);
  DbStatus SetValue(const std::string& keyPath, const std::string& name, int type,
                    const std::vector<std::uint8_t>& data);
  DbStatus Commit();
  void Rollback();

  // The last SQLite result code (extended) and its text.
  int LastError() const { return m_lastError; }
  const std::string& LastErrorText() const { return m_lastErrorText; }

 private:
  DbStatus Exec(const char* sql);
  DbStatus Fail(int rc);

  sqlite3* m_db = nullptr;
  bool m_inTransaction = false;
  int m_lastError = 0;
  std::string m_lastErrorText;
};

}  // namespace lv
