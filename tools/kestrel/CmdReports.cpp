// journal and log: what the program kept about its exchanges.
#include <cstdio>

#include "tools/kestrel/Commands.h"
#include "tools/kestrel/Console.h"
#include "tools/kestrel/Journal.h"
#include "tools/kestrel/LogBook.h"
#include "tools/kestrel/Schema.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

std::string Pad(std::string s, std::size_t width) {
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s;
}

std::unique_ptr<TDatabase> Open(const TOptions& o) {
  return OpenStore(o.global.db.empty() ? DefaultDatabasePath() : o.global.db);
}

}  // namespace

int RunJournal(const TOptions& o) {
  auto db = Open(o);
  TJournal journal(*db);
  TJournalFilter filter;
  filter.party = o.party;
  if (!o.outcome.empty()) filter.outcome = OutcomeFromName(o.outcome);
  filter.limit = o.limit;
  const auto entries = journal.List(filter);
  TConsole& console = TConsole::Standard();
  if (entries.empty()) {
    console.Line("the journal of " + db->Path() + " has no such entries");
    return 0;
  }
  console.Line(Pad("ID", 6) + Pad("STARTED", 24) + Pad("DIR", 5) + Pad("PARTY", 14) + Pad("FILE", 24) +
               Pad("BYTES", 10) + Pad("OUTCOME", 11) + "DETAIL");
  for (const auto& e : entries) {
    char crc[16] = "";
    if (e.crc32) std::snprintf(crc, sizeof crc, " crc %08X", *e.crc32);
    // A session's greeting carries no file: it is named by what it is.
    const bool session = IsSessionOutcome(e.outcome);
    console.Line(Pad(std::to_string(e.id), 6) + Pad(e.started, 24) +
                 Pad(e.direction == TDirection::Out ? "out" : "in", 5) + Pad(e.party, 14) +
                 Pad(session ? (e.direction == TDirection::Out ? "(call placed)" : "(call answered)") : e.file, 24) +
                 Pad(session ? "" : std::to_string(e.bytes), 10) + Pad(OutcomeName(e.outcome), 11) + e.detail + crc);
  }
  return 0;
}

int RunLog(const TOptions& o) {
  auto db = Open(o);
  TLogBook book(*db);
  TLogFilter filter;
  filter.limit = o.limit;
  filter.errors_only = o.errors_only;
  filter.contains = o.contains;
  const auto lines = book.List(filter);
  TConsole& console = TConsole::Standard();
  if (lines.empty()) console.Line("the log of " + db->Path() + " has no such lines");
  for (const auto& l : lines)
    console.Line(l.time + (l.error ? " ERROR " : " info  ") + (l.thread.empty() ? "[--------]" : "[" + l.thread + "]") +
                 " " + l.text + (l.details.empty() ? "" : " | " + l.details));
  return 0;
}

}  // namespace kestrel::app
