// One SQLite database file of the kestrel program, its statements and its
// transactions.
//
// Every operation that changes the file runs inside a TTransaction: either
// all of it reaches the file or none of it does. The connection is shared by
// the program's threads (the log writer, the gate's threads through the core
// handlers, the main thread): a transaction holds the database's lock for its
// whole life, so two threads never interleave statements. Other processes
// (a `kestrel journal` beside a running `kestrel listen`) are waited for up
// to five seconds.
//
// Errors throw EToolError "database <path>: <reason>".
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace kestrel::app {

class TDatabase;

// A prepared statement. Bind indexes count from 1, column indexes from 0.
// Only used inside a transaction of its database.
class TStatement {
 public:
  TStatement(TDatabase& db, std::string_view sql);
  ~TStatement();
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;

  TStatement& Bind(int index, std::int64_t value);
  TStatement& BindText(int index, std::string_view text);
  TStatement& BindBlob(int index, std::string_view bytes);
  TStatement& BindNull(int index);
  // Runs one step: true while a row is there to read.
  bool Step();
  // Runs it to the end (a statement that returns no rows).
  void Run();
  // Makes it ready to run again (the bindings stay).
  void Reset();

  std::int64_t Int(int column) const;
  std::string Text(int column) const;
  std::string Blob(int column) const;
  bool IsNull(int column) const;

 private:
  TDatabase& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

class TDatabase {
 public:
  // Opens the file, creating it (and its folder) when missing. A file that
  // is there but no SQLite database is refused and left untouched. The
  // schema is not touched: see Schema.h for opening the program's database.
  static std::unique_ptr<TDatabase> Open(const std::string& path);
  ~TDatabase();
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  const std::string& Path() const { return path_; }
  // Runs statements without results (schema changes, pragmas).
  void Exec(std::string_view sql);
  std::int64_t LastInsertId() const;
  int Changes() const;

  // "database <path>: <what>" with SQLite's text for the last failure.
  [[noreturn]] void Fail(std::string_view what) const;
  sqlite3* Handle() const { return db_; }
  std::recursive_mutex& Mutex() { return mutex_; }

 private:
  TDatabase(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
  sqlite3* db_;
  std::string path_;
  std::recursive_mutex mutex_;
};

// BEGIN IMMEDIATE (a writing transaction takes the file's write lock at once,
// so it cannot fail half-way for want of it) or a plain BEGIN for reading.
// Rolled back by the destructor unless committed.
class TTransaction {
 public:
  enum class TKind { Read, Write };
  explicit TTransaction(TDatabase& db, TKind kind = TKind::Write);
  ~TTransaction();
  TTransaction(const TTransaction&) = delete;
  TTransaction& operator=(const TTransaction&) = delete;
  void Commit();

 private:
  TDatabase& db_;
  std::unique_lock<std::recursive_mutex> lock_;
  bool open_ = false;
};

}  // namespace kestrel::app
