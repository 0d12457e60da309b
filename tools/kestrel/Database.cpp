#include "tools/kestrel/Database.h"

#include <sqlite3.h>

#include <filesystem>
#include <fstream>

#include "tools/kestrel/ToolError.h"

namespace kestrel::app {

TStatement::TStatement(TDatabase& db, std::string_view sql) : db_(db) {
  if (sqlite3_prepare_v2(db.Handle(), sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) != SQLITE_OK)
    db.Fail("cannot prepare a statement");
}

TStatement::~TStatement() { sqlite3_finalize(stmt_); }

TStatement& TStatement::Bind(int index, std::int64_t value) {
  if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) db_.Fail("cannot bind a value");
  return *this;
}

TStatement& TStatement::BindText(int index, std::string_view text) {
  if (sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) != SQLITE_OK)
    db_.Fail("cannot bind a text");
  return *this;
}

TStatement& TStatement::BindBlob(int index, std::string_view bytes) {
  // A zero-length blob is still a blob, not NULL: an empty block stays empty.
  const int rc = bytes.empty()
                     ? sqlite3_bind_zeroblob(stmt_, index, 0)
                     : sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) db_.Fail("cannot bind a block");
  return *this;
}

TStatement& TStatement::BindNull(int index) {
  if (sqlite3_bind_null(stmt_, index) != SQLITE_OK) db_.Fail("cannot bind a value");
  return *this;
}

bool TStatement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  db_.Fail("statement failed");
}

void TStatement::Run() {
  while (Step()) {
  }
}

void TStatement::Reset() { sqlite3_reset(stmt_); }

std::int64_t TStatement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string TStatement::Text(int column) const {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  return p != nullptr ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
}

std::string TStatement::Blob(int column) const {
  const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
  return p != nullptr ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
}

bool TStatement::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

std::unique_ptr<TDatabase> TDatabase::Open(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  std::error_code ec;
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  if (ec) throw EToolError("database " + path + ": cannot create the folder " + parent.string() + ": " + ec.message());
  // SQLite takes a file shorter than its header for an empty database and
  // writes one over it: a mistyped --db must not destroy somebody's file.
  if (std::filesystem::file_size(path, ec) > 0 && !ec) {
    char header[16] = {};
    std::ifstream in(path, std::ios::binary);
    in.read(header, sizeof header);
    if (!in || std::string_view(header, sizeof header) != std::string_view("SQLite format 3\0", 16))
      throw EToolError("database " + path + ": the file is not a database; it was left as it is");
  }
  ec.clear();
  sqlite3* handle = nullptr;
  const int rc =
      sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const std::string why = handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(rc);
    sqlite3_close(handle);
    throw EToolError("database " + path + ": cannot open: " + why);
  }
  std::unique_ptr<TDatabase> db(new TDatabase(handle, path));
  sqlite3_busy_timeout(handle, 5000);
  sqlite3_extended_result_codes(handle, 1);
  // Write-ahead logging lets a reader (kestrel journal) look while a
  // listener writes; NORMAL syncs at checkpoints only, which keeps a burst of
  // log lines cheap and still never leaves a half-written transaction.
  db->Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;");
  return db;
}

TDatabase::~TDatabase() { sqlite3_close_v2(db_); }

void TDatabase::Exec(std::string_view sql) {
  char* message = nullptr;
  const std::string text(sql);
  if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string why = message != nullptr ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    throw EToolError("database " + path_ + ": " + why);
  }
}

std::int64_t TDatabase::LastInsertId() const { return sqlite3_last_insert_rowid(db_); }
int TDatabase::Changes() const { return sqlite3_changes(db_); }

void TDatabase::Fail(std::string_view what) const {
  throw EToolError("database " + path_ + ": " + std::string(what) + ": " + sqlite3_errmsg(db_));
}

TTransaction::TTransaction(TDatabase& db, TKind kind) : db_(db), lock_(db.Mutex()) {
  db_.Exec(kind == TKind::Write ? "BEGIN IMMEDIATE" : "BEGIN");
  open_ = true;
}

TTransaction::~TTransaction() {
  if (!open_) return;
  char* message = nullptr;
  sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, &message);
  sqlite3_free(message);
}

void TTransaction::Commit() {
  db_.Exec("COMMIT");
  open_ = false;
}

}  // namespace kestrel::app
