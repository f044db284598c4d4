#pragma once
// A small registry kept in one SQLite file: values named within a key path,
// each with a type code and its bytes. Writers take the file's write lock for
// a whole transaction and wait up to a busy timeout for another process that
// holds it, so two instances never interleave their writes.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct sqlite3;

namespace lv {

enum class DbStatus {
  Ok,
  Damaged,  // not a database, or one whose pages or table do not hold together
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

  // Opens an existing file (create = false) or creates it, checks that it is
  // a sound database and that the values table is ours.
  DbStatus Open(const std::filesystem::path& file, bool create);
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
