#include "tools/kestrel/Schema.h"

#include <array>

#include "platform/ScopeExit.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

// Each entry takes the file from the version before it to its own number.
// Entries are never edited once released: a change is a new entry.
constexpr std::array<const char*, kSchemaVersion> kMigrations = {
    // 1
    R"sql(
    CREATE TABLE gate_settings(
      gate_code INTEGER PRIMARY KEY,
      block     BLOB NOT NULL,
      updated   TEXT NOT NULL);
    CREATE TABLE own_address(
      gate_code INTEGER PRIMARY KEY,
      client_id INTEGER NOT NULL,
      block     BLOB NOT NULL,
      updated   TEXT NOT NULL);
    CREATE TABLE parties(
      id        INTEGER PRIMARY KEY,
      name      TEXT NOT NULL UNIQUE,
      client_id INTEGER NOT NULL UNIQUE,
      address   BLOB NOT NULL,
      created   TEXT NOT NULL);
    CREATE TABLE journal(
      id         INTEGER PRIMARY KEY,
      direction  TEXT NOT NULL CHECK(direction IN ('out', 'in')),
      party      TEXT NOT NULL,
      client_id  INTEGER NOT NULL,
      file       TEXT NOT NULL,
      bytes      INTEGER NOT NULL,
      ref_number INTEGER NOT NULL,
      ref_date   INTEGER NOT NULL,
      ref_time   INTEGER NOT NULL,
      outcome    TEXT NOT NULL CHECK(outcome IN ('queued', 'delivered', 'failed', 'received', 'rejected')),
      detail     TEXT NOT NULL DEFAULT '',
      started    TEXT NOT NULL,
      finished   TEXT);
    CREATE INDEX journal_by_party ON journal(party, id);
    )sql",
    // 2
    R"sql(
    CREATE TABLE log(
      id        INTEGER PRIMARY KEY,
      time      TEXT NOT NULL,
      level     TEXT NOT NULL CHECK(level IN ('error', 'info')),
      thread    TEXT NOT NULL,
      gate_code INTEGER NOT NULL,
      text      TEXT NOT NULL,
      details   TEXT NOT NULL);
    ALTER TABLE journal ADD COLUMN crc32 INTEGER;
    )sql",
    // 3: the outbox (documents kept until delivered or given up), the retry
    // policy per party, the references received per sending client, and the
    // journal's 'repeated' outcome (a document received again, acknowledged
    // and not stored again).
    R"sql(
    CREATE TABLE journal_v3(
      id         INTEGER PRIMARY KEY,
      direction  TEXT NOT NULL CHECK(direction IN ('out', 'in')),
      party      TEXT NOT NULL,
      client_id  INTEGER NOT NULL,
      file       TEXT NOT NULL,
      bytes      INTEGER NOT NULL,
      ref_number INTEGER NOT NULL,
      ref_date   INTEGER NOT NULL,
      ref_time   INTEGER NOT NULL,
      outcome    TEXT NOT NULL
                 CHECK(outcome IN ('queued', 'delivered', 'failed', 'received', 'rejected', 'repeated')),
      detail     TEXT NOT NULL DEFAULT '',
      started    TEXT NOT NULL,
      finished   TEXT,
      crc32      INTEGER);
    INSERT INTO journal_v3(id, direction, party, client_id, file, bytes, ref_number, ref_date, ref_time, outcome,
                           detail, started, finished, crc32)
      SELECT id, direction, party, client_id, file, bytes, ref_number, ref_date, ref_time, outcome,
             detail, started, finished, crc32 FROM journal;
    DROP TABLE journal;
    ALTER TABLE journal_v3 RENAME TO journal;
    CREATE INDEX journal_by_party ON journal(party, id);
    CREATE TABLE outbox(
      journal_id INTEGER PRIMARY KEY REFERENCES journal(id),
      party      TEXT NOT NULL,
      packet     BLOB NOT NULL,
      state      TEXT NOT NULL CHECK(state IN ('queued', 'sending')),
      attempts   INTEGER NOT NULL DEFAULT 0,
      queued_at  INTEGER NOT NULL,
      next_try   INTEGER NOT NULL,
      last_error TEXT NOT NULL DEFAULT '',
      owner_pid  INTEGER);
    CREATE INDEX outbox_due ON outbox(state, next_try);
    CREATE TABLE retry_policy(
      party      TEXT PRIMARY KEY,
      first_s    INTEGER NOT NULL,
      ceiling_s  INTEGER NOT NULL,
      attempts   INTEGER NOT NULL,
      max_age_s  INTEGER NOT NULL);
    CREATE TABLE received_refs(
      client_id  INTEGER NOT NULL,
      ref_number INTEGER NOT NULL,
      ref_date   INTEGER NOT NULL,
      ref_time   INTEGER NOT NULL,
      journal_id INTEGER NOT NULL REFERENCES journal(id),
      part       TEXT NOT NULL,
      target     TEXT NOT NULL,
      PRIMARY KEY(client_id, ref_number, ref_date, ref_time));
    CREATE INDEX received_refs_by_part ON received_refs(part);
    )sql",
    // 4: the secret key shared with a party (none: NULL), and the journal's
    // entries for the greeting of each session: 'keyed', 'unkeyed' or
    // 'refused'. Rebuilding the journal drops the table the outbox and the
    // received references point to, which MigrateSchema allows by leaving
    // foreign keys unenforced until the whole migration has been checked.
    R"sql(
    ALTER TABLE parties ADD COLUMN key BLOB CHECK(key IS NULL OR length(key) = 32);
    CREATE TABLE journal_v4(
      id         INTEGER PRIMARY KEY,
      direction  TEXT NOT NULL CHECK(direction IN ('out', 'in')),
      party      TEXT NOT NULL,
      client_id  INTEGER NOT NULL,
      file       TEXT NOT NULL,
      bytes      INTEGER NOT NULL,
      ref_number INTEGER NOT NULL,
      ref_date   INTEGER NOT NULL,
      ref_time   INTEGER NOT NULL,
      outcome    TEXT NOT NULL
                 CHECK(outcome IN ('queued', 'delivered', 'failed', 'received', 'rejected', 'repeated',
                                   'keyed', 'unkeyed', 'refused')),
      detail     TEXT NOT NULL DEFAULT '',
      started    TEXT NOT NULL,
      finished   TEXT,
      crc32      INTEGER);
    INSERT INTO journal_v4(id, direction, party, client_id, file, bytes, ref_number, ref_date, ref_time, outcome,
                           detail, started, finished, crc32)
      SELECT id, direction, party, client_id, file, bytes, ref_number, ref_date, ref_time, outcome,
             detail, started, finished, crc32 FROM journal;
    DROP TABLE journal;
    ALTER TABLE journal_v4 RENAME TO journal;
    CREATE INDEX journal_by_party ON journal(party, id);
    )sql",
};

}  // namespace

int SchemaVersion(TDatabase& db) {
  TTransaction tx(db, TTransaction::TKind::Read);
  TStatement st(db, "PRAGMA user_version");
  const int version = st.Step() ? static_cast<int>(st.Int(0)) : 0;
  tx.Commit();
  return version;
}

void MigrateSchema(TDatabase& db, int target) {
  if (target < 1 || target > kSchemaVersion) throw EToolError("no schema version " + std::to_string(target));
  // Foreign keys are enforced again however this ends; switching them is a
  // no-op inside a transaction, so it happens around it. The migrations'
  // result is checked before it is committed instead.
  db.Exec("PRAGMA foreign_keys=OFF");
  const platform::TScopeExit enforce_again([&] {
    try {
      db.Exec("PRAGMA foreign_keys=ON");
    } catch (const EToolError&) {
      // Fails only on a connection that is broken anyway.
    }
  });
  TTransaction tx(db);
  int version = 0;
  {
    TStatement st(db, "PRAGMA user_version");
    version = st.Step() ? static_cast<int>(st.Int(0)) : 0;
  }
  if (version > target)
    throw EToolError("database " + db.Path() + ": schema version " + std::to_string(version) +
                     " is newer than this kestrel knows (" + std::to_string(target) + "); use a newer kestrel");
  if (version == target) return;
  for (int v = version; v < target; ++v) db.Exec(kMigrations[static_cast<std::size_t>(v)]);
  {
    TStatement check(db, "PRAGMA foreign_key_check");
    if (check.Step())
      throw EToolError("database " + db.Path() + ": migrating to schema version " + std::to_string(target) +
                       " would leave rows of " + check.Text(0) + " pointing nowhere; the file was left as it was");
  }
  db.Exec("PRAGMA user_version = " + std::to_string(target));
  tx.Commit();
}

std::unique_ptr<TDatabase> OpenStore(const std::string& path) {
  auto db = TDatabase::Open(path);
  MigrateSchema(*db);
  return db;
}

}  // namespace kestrel::app
