// The schema of the kestrel program's database, its versions and how an
// older file is brought up to date.
//
// The version is SQLite's user_version: 0 for a new file, then the number of
// the last migration applied. Migrations run in order, all of them in one
// transaction, so a file is either at its old version or at the new one,
// never in between. A file whose version is newer than the program knows is
// refused and left untouched.
//
// Version 1: gate settings per gate code, own address per gate code, parties,
//            journal of sent and received documents.
// Version 2: the gate's log; the journal keeps each document's CRC-32.
// Version 3: the outbox, retry policies, the references received; the
//            journal's 'repeated'.
// Version 4: a secret key per party; the journal's entries for sessions.
#pragma once

#include <memory>
#include <string>

#include "tools/kestrel/Database.h"

namespace kestrel::app {

inline constexpr int kSchemaVersion = 4;

// The file's version (0 for a new or empty file).
int SchemaVersion(TDatabase& db);

// Brings the file to `target` (1..kSchemaVersion). Throws EToolError when the
// file is newer than `target` ("... schema version N is newer than this
// kestrel knows (M)") or a migration fails; the file is then unchanged.
void MigrateSchema(TDatabase& db, int target = kSchemaVersion);

// Opens the program's database at `path` and brings it up to date.
std::unique_ptr<TDatabase> OpenStore(const std::string& path);

}  // namespace kestrel::app
