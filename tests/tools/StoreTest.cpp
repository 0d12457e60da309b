// The program's database: migrations, files it must not touch, transactions,
// parties, two connections. (A new database brought to the latest version
// and the stored settings and addresses the gate reads are met by every run
// of the program in its test.)
#include <future>
#include <thread>

#include "tests/tools/ToolTest.h"
#include "tools/kestrel/Config.h"

namespace kestrel::app {
namespace {

using namespace testing;

bool HasColumn(TDatabase& db, const std::string& table, const std::string& column) {
  TTransaction tx(db, TTransaction::TKind::Read);
  TStatement st(db, "SELECT count(*) FROM pragma_table_info(?) WHERE name = ?");
  st.BindText(1, table);
  st.BindText(2, column);
  return st.Step() && st.Int(0) == 1;
}

TEST(Schema, VersionOneFileKeepsItsDataThroughTheMigration) {
  TTempDir dir;
  {
    auto db = TDatabase::Open(dir / "old.db");
    MigrateSchema(*db, 1);
    ASSERT_EQ(SchemaVersion(*db), 1);
    EXPECT_FALSE(HasColumn(*db, "journal", "crc32"));
    TTransaction tx(*db);
    db->Exec(
        "INSERT INTO parties(name, client_id, address, created) VALUES('Bank', 7, x'0100', 'then');"
        "INSERT INTO journal(direction, party, client_id, file, bytes, ref_number, ref_date, ref_time, outcome, "
        "started) VALUES('out', 'Bank', 7, 'a.txt', 3, 1, 2, 3, 'delivered', 'then');");
    tx.Commit();
  }
  auto db = OpenStore(dir / "old.db");
  EXPECT_EQ(SchemaVersion(*db), kSchemaVersion);
  const auto party = TConfigStore(*db).FindParty("Bank");
  ASSERT_TRUE(party);
  EXPECT_EQ(party->client_id, 7);
  EXPECT_EQ(party->address, std::string("\x01\x00", 2));
  TTransaction tx(*db, TTransaction::TKind::Read);
  TStatement st(*db, "SELECT file, outcome, crc32 IS NULL FROM journal");
  ASSERT_TRUE(st.Step());
  EXPECT_EQ(st.Text(0), "a.txt");
  EXPECT_EQ(st.Text(1), "delivered");
  EXPECT_EQ(st.Int(2), 1) << "entries made before the checksum was kept have none";
}

// A newer database and a one-byte text file are refused by the program's
// test, which sees them left as they were.
TEST(Schema, FilesItCannotUseAreNamedAndLeftAsTheyWere) {
  TTempDir dir;
  // Something in the way of version 2's new table: all of version 2 is undone.
  auto clash = TDatabase::Open(dir / "clash.db");
  MigrateSchema(*clash, 1);
  clash->Exec("CREATE TABLE log(x INTEGER)");
  EXPECT_NE(ErrorOf([&] { MigrateSchema(*clash); }), "<none>");
  EXPECT_EQ(SchemaVersion(*clash), 1);
  EXPECT_FALSE(HasColumn(*clash, "journal", "crc32")) << "half of version 2 was kept";

  // SQLite itself would take a file shorter than its header for an empty
  // database and write over it.
  for (const std::string& content : {std::string(4096, 'x'), std::string("SQLite format 2")}) {
    WriteFile(dir / "text.db", content);
    EXPECT_THAT(ErrorOf([&] { OpenStore(dir / "text.db"); }), HasSubstr("text.db")) << content.size() << " bytes";
    EXPECT_EQ(ReadFile(dir / "text.db"), content);
  }
  WriteFile(dir / "empty.db", "");
  EXPECT_NO_THROW(OpenStore(dir / "empty.db")) << "an empty file is a new database";
}

using ConfigStore = TStoreTest;

TEST_F(ConfigStore, UncommittedWorkIsRolledBack) {
  try {
    TTransaction tx(*db);
    TStatement(*db, "INSERT INTO parties(name, client_id, address, created) VALUES('A', 1, x'', 'now')").Run();
    throw std::runtime_error("something failed half-way");
  } catch (const std::runtime_error&) {
  }
  EXPECT_TRUE(TConfigStore(*db).Parties().empty());
}

TEST_F(ConfigStore, PartiesAreUniqueByNameAndClientId) {
  TConfigStore config(*db);
  config.AddParty(TParty{"Bank", 2, "addr-bank"});
  config.AddParty(TParty{"Agency", 3, "addr-agency"});
  EXPECT_THAT(ErrorOf([&] { config.AddParty(TParty{"Bank", 9, "x"}); }), HasSubstr("\"Bank\" already exists"));
  EXPECT_THAT(ErrorOf([&] { config.AddParty(TParty{"Other", 3, "x"}); }),
              HasSubstr("client id 3 already belongs to party \"Agency\""));
  EXPECT_THROW(config.AddParty(TParty{"", 4, "x"}), EToolError);
  EXPECT_THROW(config.UpdateParty(TParty{"Bank", 3, "x"}), EToolError) << "client id of another party";
  EXPECT_TRUE(config.UpdateParty(TParty{"Bank", 4, "new"}));
  EXPECT_FALSE(config.UpdateParty(TParty{"Nobody", 8, "x"}));

  const auto all = config.Parties();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].name, "Agency") << "listed by name";
  EXPECT_EQ(config.FindPartyByClientId(4)->address, "new");
  EXPECT_FALSE(config.FindPartyByClientId(2));
  EXPECT_TRUE(config.RemoveParty("Bank"));
  EXPECT_FALSE(config.RemoveParty("Bank"));
  EXPECT_THAT(ErrorOf([&] { config.RequireParty("Bank"); }), HasSubstr("no party named \"Bank\" in " + (dir / "k.db")));
}

TEST_F(ConfigStore, TwoConnectionsSeeEachOthersCommits) {
  auto b = OpenStore(dir / "k.db");
  TConfigStore(*db).SetGateSettings(1, "from a");
  EXPECT_EQ(TConfigStore(*b).GateSettings(1), "from a");
  // A writer holding the file for a moment makes the other wait, not fail.
  std::promise<void> holding;
  std::thread holder([&] {
    TTransaction tx(*db);
    TStatement(*db, "INSERT INTO gate_settings(gate_code, block, updated) VALUES(5, x'00', 'now')").Run();
    holding.set_value();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // how long the file stays held
    tx.Commit();
  });
  holding.get_future().wait();
  EXPECT_NO_THROW(TConfigStore(*b).SetGateSettings(6, "from b"));
  holder.join();
  EXPECT_TRUE(TConfigStore(*b).GateSettings(5));
}

}  // namespace
}  // namespace kestrel::app
