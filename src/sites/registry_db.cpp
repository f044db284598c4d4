#include "sites/registry_db.h"

#include <sqlite3.h>

#include <utility>

namespace lv {
namespace {

constexpr const char* kCreateTable =
    "CREATE TABLE reg_values ("
    " key_path TEXT NOT NULL, value_name TEXT NOT NULL, value_type INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY (key_path, value_name)) WITHOUT ROWID";

// Finalizes its statement on every path out.
class Statement {
 public:
  Statement() = default;
  ~Statement() { sqlite3_finalize(m_stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  int Prepare(sqlite3* db, const char* sql) { return sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
  sqlite3_stmt* get() const { return m_stmt; }
  int BindText(int i, const std::string& s) {
    return sqlite3_bind_text(m_stmt, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  }

 private:
  sqlite3_stmt* m_stmt = nullptr;
};

DbStatus Classify(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return DbStatus::Ok;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return DbStatus::Damaged;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return DbStatus::Busy;
    default:
      return DbStatus::Failed;
  }
}

}  // namespace

RegistryDb::~RegistryDb() { Close(); }

DbStatus RegistryDb::Fail(int rc) {
  m_lastError = rc;
  m_lastErrorText = m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
  return Classify(rc);
}

DbStatus RegistryDb::Exec(const char* sql) {
  const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? DbStatus::Ok : Fail(rc);
}

DbStatus RegistryDb::OpenRead(const std::filesystem::path& file) {
  Close();
  if (const int rc = sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr); rc != SQLITE_OK) {
    const DbStatus status = Fail(rc);
    Close();
    return status;
  }
  sqlite3_extended_result_codes(m_db, 1);
  sqlite3_busy_timeout(m_db, kBusyTimeoutMs);

  // Reads every page: a torn or overwritten file shows here.
  {
    Statement check;
    int rc = check.Prepare(m_db, "PRAGMA quick_check");
    if (rc == SQLITE_OK) rc = sqlite3_step(check.get());
    if (rc != SQLITE_ROW) return Fail(rc);
    const auto* verdict = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
    if (verdict == nullptr || std::string(verdict) != "ok") {
      m_lastError = SQLITE_CORRUPT;
      m_lastErrorText = verdict != nullptr ? verdict : "integrity check failed";
      return DbStatus::Damaged;
    }
  }
  // Ours holds exactly one table, reg_values, of exactly our columns.
  std::string shape;
  Statement schema;
  int rc = schema.Prepare(m_db,
                          "SELECT s.type || ' ' || s.name || '(' || coalesce(group_concat(c.name, ','), '') || ')'"
                          " FROM sqlite_schema AS s LEFT JOIN pragma_table_info(s.name) AS c GROUP BY s.name");
  if (rc == SQLITE_OK) {
    while ((rc = sqlite3_step(schema.get())) == SQLITE_ROW) {
      const auto* row = reinterpret_cast<const char*>(sqlite3_column_text(schema.get(), 0));
      shape += std::string(row != nullptr ? row : "") + ";";
    }
  }
  if (rc != SQLITE_DONE) return Fail(rc);
  if (shape != "table reg_values(key_path,value_name,value_type,data);") {
    m_lastError = SQLITE_MISMATCH;
    m_lastErrorText = "not a site store";
    return DbStatus::Foreign;
  }
  return DbStatus::Ok;
}

DbStatus RegistryDb::OpenNew() {
  Close();
  if (const int rc = sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
      rc != SQLITE_OK) {
    const DbStatus status = Fail(rc);
    Close();
    return status;
  }
  sqlite3_extended_result_codes(m_db, 1);
  return Exec(kCreateTable);
}

DbStatus RegistryDb::SaveInto(const std::filesystem::path& file) {
  Statement q;
  int rc = q.Prepare(m_db, "VACUUM INTO ?1");
  if (rc == SQLITE_OK) rc = q.BindText(1, file.string());
  if (rc == SQLITE_OK) rc = sqlite3_step(q.get());
  return rc == SQLITE_DONE ? DbStatus::Ok : Fail(rc);
}

void RegistryDb::Close() {
  if (m_db == nullptr) return;
  Rollback();
  sqlite3_close(m_db);
  m_db = nullptr;
}

DbStatus RegistryDb::ReadKey(const std::string& keyPath, std::size_t readLimit, std::vector<RegistryValue>& out) {
  out.clear();
  Statement q;
  int rc = q.Prepare(m_db,
                     "SELECT value_name, value_type, length(CAST(data AS BLOB)), substr(CAST(data AS BLOB), 1, ?1)"
                     " FROM reg_values WHERE key_path = ?2");
  if (rc != SQLITE_OK) return Fail(rc);
  sqlite3_bind_int64(q.get(), 1, static_cast<sqlite3_int64>(readLimit));
  q.BindText(2, keyPath);
  while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
    RegistryValue v;
    const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(q.get(), 0));
    v.name = name != nullptr ? name : "";
    v.type = sqlite3_column_int(q.get(), 1);
    v.size = sqlite3_column_int64(q.get(), 2);
    const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(q.get(), 3));
    v.data.assign(bytes, bytes + (bytes != nullptr ? sqlite3_column_bytes(q.get(), 3) : 0));
    out.push_back(std::move(v));
  }
  if (rc != SQLITE_DONE) {
    out.clear();
    return Fail(rc);
  }
  return DbStatus::Ok;
}

DbStatus RegistryDb::Begin() {
  // IMMEDIATE takes the write lock now, so the transaction never has to
  // upgrade a read lock later (which could fail at once with busy).
  const DbStatus s = Exec("BEGIN IMMEDIATE");
  m_inTransaction = s == DbStatus::Ok;
  return s;
}

DbStatus RegistryDb::DeleteKey(const std::string& keyPath) {
  Statement q;
  int rc = q.Prepare(m_db, "DELETE FROM reg_values WHERE key_path = ?1");
  if (rc == SQLITE_OK) rc = q.BindText(1, keyPath);
  if (rc == SQLITE_OK) rc = sqlite3_step(q.get());
  return rc == SQLITE_DONE ? DbStatus::Ok : Fail(rc);
}

DbStatus RegistryDb::SetValue(const std::string& keyPath, const std::string& name, int type,
                              const std::vector<std::uint8_t>& data) {
  Statement q;
  int rc = q.Prepare(m_db,
                     "INSERT OR REPLACE INTO reg_values (key_path, value_name, value_type, data)"
                     " VALUES (?1, ?2, ?3, ?4)");
  if (rc == SQLITE_OK) rc = q.BindText(1, keyPath);
  if (rc == SQLITE_OK) rc = q.BindText(2, name);
  if (rc == SQLITE_OK) rc = sqlite3_bind_int(q.get(), 3, type);
  if (rc == SQLITE_OK)
    rc = data.empty() ? sqlite3_bind_zeroblob(q.get(), 4, 0)
                      : sqlite3_bind_blob(q.get(), 4, data.data(), static_cast<int>(data.size()), SQLITE_TRANSIENT);
  if (rc == SQLITE_OK) rc = sqlite3_step(q.get());
  return rc == SQLITE_DONE ? DbStatus::Ok : Fail(rc);
}

DbStatus RegistryDb::Commit() {
  const DbStatus s = Exec("COMMIT");
  if (s == DbStatus::Ok)
    m_inTransaction = false;
  else
    Rollback();
  return s;
}

void RegistryDb::Rollback() {
  if (!m_inTransaction) return;
  m_inTransaction = false;
  if (sqlite3_get_autocommit(m_db) == 0) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

}  // namespace lv
