// The program's database: schema versions and migrations, transactions, and
// the stored configuration (settings, own address, parties).
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>

#include "tests/tools/ToolTempDir.h"
#include "tools/kestrel/Config.h"
#include "tools/kestrel/Schema.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

using testing::TTestDir;

std::vector<std::string> Columns(TDatabase& db, const std::string& table) {
  TTransaction tx(db, TTransaction::TKind::Read);
  TStatement st(db, "SELECT name FROM pragma_table_info(?)");
  st.BindText(1, table);
  std::vector<std::string> names;
  while (st.Step()) names.push_back(st.Text(0));
  return names;
}

bool HasColumn(TDatabase& db, const std::string& table, const std::string& column) {
  const auto names = Columns(db, table);
  return std::find(names.begin(), names.end(), column) != names.end();
}

TEST(Schema, NewFileIsBroughtToTheLatestVersion) {
  TTestDir dir;
  auto db = OpenStore(dir / "sub/folder/k.db");  // the folder is made too
  EXPECT_EQ(SchemaVersion(*db), kSchemaVersion);
  EXPECT_TRUE(HasColumn(*db, "journal", "crc32"));
  EXPECT_TRUE(HasColumn(*db, "log", "thread"));
  // Opening again changes nothing.
  db.reset();
  db = OpenStore(dir / "sub/folder/k.db");
  EXPECT_EQ(SchemaVersion(*db), kSchemaVersion);
}

TEST(Schema, VersionOneFileKeepsItsDataThroughTheMigration) {
  TTestDir dir;
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
  TConfigStore config(*db);
  const auto party = config.FindParty("Bank");
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

TEST(Schema, NewerFileIsRefusedAndLeftAsItWas) {
  TTestDir dir;
  {
    auto db = OpenStore(dir / "new.db");
    db->Exec("PRAGMA user_version = 9");
  }
  try {
    OpenStore(dir / "new.db");
    FAIL() << "a newer file was accepted";
  } catch (const EToolError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("new.db"), std::string::npos) << what;
    EXPECT_NE(what.find("schema version 9 is newer"), std::string::npos) << what;
  }
  auto db = TDatabase::Open(dir / "new.db");
  EXPECT_EQ(SchemaVersion(*db), 9);
}

TEST(Schema, FailedMigrationLeavesTheFileAtItsOldVersion) {
  TTestDir dir;
  {
    auto db = TDatabase::Open(dir / "clash.db");
    MigrateSchema(*db, 1);
    // Something in the way of version 2's new table.
    db->Exec("CREATE TABLE log(x INTEGER)");
  }
  auto db = TDatabase::Open(dir / "clash.db");
  EXPECT_THROW(MigrateSchema(*db), EToolError);
  EXPECT_EQ(SchemaVersion(*db), 1);
  EXPECT_FALSE(HasColumn(*db, "journal", "crc32")) << "half of version 2 was kept";
}

TEST(Schema, FileThatIsNoDatabaseIsNamedAndLeftAlone) {
  TTestDir dir;
  // SQLite itself would take a file shorter than its header for an empty
  // database and write over it.
  for (const std::string& content : {std::string("x"), std::string(4096, 'x'), std::string("SQLite format 2")}) {
    testing::WriteFile(dir / "text.db", content);
    try {
      OpenStore(dir / "text.db");
      ADD_FAILURE() << content.size() << " bytes were taken for a database";
    } catch (const EToolError& e) {
      EXPECT_NE(std::string(e.what()).find("text.db"), std::string::npos) << e.what();
    }
    EXPECT_EQ(testing::ReadFile(dir / "text.db"), content);
  }
  testing::WriteFile(dir / "empty.db", "");
  EXPECT_NO_THROW(OpenStore(dir / "empty.db")) << "an empty file is a new database";
}

TEST(Transaction, UncommittedWorkIsRolledBack) {
  TTestDir dir;
  auto db = OpenStore(dir / "k.db");
  TConfigStore config(*db);
  try {
    TTransaction tx(*db);
    TStatement(*db, "INSERT INTO parties(name, client_id, address, created) VALUES('A', 1, x'', 'now')").Run();
    throw std::runtime_error("something failed half-way");
  } catch (const std::runtime_error&) {
  }
  EXPECT_TRUE(config.Parties().empty());
}

TEST(ConfigStore, BlocksComeBackByteForByte) {
  TTestDir dir;
  auto db = OpenStore(dir / "k.db");
  TConfigStore config(*db);
  std::string block(320, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
  EXPECT_FALSE(config.GateSettings(1));
  config.SetGateSettings(1, block);
  config.SetGateSettings(2, "other");
  EXPECT_EQ(config.GateSettings(1), block);
  config.SetGateSettings(1, block.substr(0, 104));
  EXPECT_EQ(config.GateSettings(1), block.substr(0, 104)) << "a second set replaces";
  EXPECT_EQ(config.GateSettings(2), "other");

  EXPECT_FALSE(config.OwnAddress(1));
  config.SetOwnAddress(1, TOwnAddress{5, block});
  config.SetOwnAddress(-3, TOwnAddress{6, ""});
  EXPECT_EQ(config.OwnAddress(1)->block, block);
  EXPECT_EQ(config.OwnAddress(1)->client_id, 5);
  EXPECT_EQ(config.OwnAddress(-3)->block, "") << "an empty block stays empty, not missing";
}

TEST(ConfigStore, PartiesAreUniqueByNameAndClientId) {
  TTestDir dir;
  auto db = OpenStore(dir / "k.db");
  TConfigStore config(*db);
  config.AddParty(TParty{"Bank", 2, "addr-bank"});
  config.AddParty(TParty{"Agency", 3, "addr-agency"});
  try {
    config.AddParty(TParty{"Bank", 9, "x"});
    FAIL();
  } catch (const EToolError& e) {
    EXPECT_NE(std::string(e.what()).find("\"Bank\" already exists"), std::string::npos) << e.what();
  }
  try {
    config.AddParty(TParty{"Other", 3, "x"});
    FAIL();
  } catch (const EToolError& e) {
    EXPECT_NE(std::string(e.what()).find("client id 3 already belongs to party \"Agency\""), std::string::npos);
  }
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
  try {
    config.RequireParty("Bank");
    FAIL();
  } catch (const EToolError& e) {
    EXPECT_NE(std::string(e.what()).find("no party named \"Bank\" in " + (dir / "k.db")), std::string::npos)
        << e.what();
  }
}

TEST(ConfigStore, TwoConnectionsSeeEachOthersCommits) {
  TTestDir dir;
  auto a = OpenStore(dir / "k.db");
  auto b = OpenStore(dir / "k.db");
  TConfigStore(*a).SetGateSettings(1, "from a");
  EXPECT_EQ(TConfigStore(*b).GateSettings(1), "from a");
  // A writer holding the file for a moment makes the other wait, not fail.
  std::promise<void> holding;
  std::thread holder([&] {
    TTransaction tx(*a);
    TStatement(*a, "INSERT INTO gate_settings(gate_code, block, updated) VALUES(5, x'00', 'now')").Run();
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
