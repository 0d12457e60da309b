// Documents as packets, safe file names, and the inbox they are stored in.
// (Documents that cross between two programs intact are the program's test.)
#include <filesystem>

#include "tests/tools/ToolTest.h"
#include "tools/kestrel/Document.h"
#include "tools/kestrel/Inbox.h"

namespace kestrel::app {
namespace {

using namespace testing;

TEST(Document, DamageIsFoundNotStored) {
  const std::string packet = EncodeDocument("report.pdf", "the report");
  auto with = [&](std::size_t at, char c) { return packet.substr(0, at) + c + packet.substr(at + 1); };
  const std::pair<std::string, TDecodeResult> cases[] = {
      {with(packet.size() - 1, packet.back() ^ 0x01), TDecodeResult::Damaged},
      {packet.substr(0, packet.size() - 1), TDecodeResult::Damaged},  // cut short
      {packet + "x", TDecodeResult::Damaged},                          // longer than it says
      {packet.substr(0, 9), TDecodeResult::Damaged},                   // header cut
      {with(5, '\xFF'), TDecodeResult::Damaged},                       // a name length beyond the packet
      {with(4, 9), TDecodeResult::Damaged},                            // version
      {"plain packet bytes", TDecodeResult::NotADocument},
      {"", TDecodeResult::NotADocument},
      {"KDO", TDecodeResult::NotADocument},
  };
  for (const auto& [bytes, expected] : cases) {
    TDocument doc;
    std::string why;
    EXPECT_EQ(DecodeDocument(bytes, doc, why), expected) << ::testing::PrintToString(bytes);
  }
  TDocument doc;
  std::string why;
  DecodeDocument(cases[0].first, doc, why);
  EXPECT_THAT(why, HasSubstr("checksum"));
  EXPECT_EQ(Crc32("6789", Crc32("12345")), Crc32("123456789")) << "the checksum continues across pieces";
  EXPECT_THROW(EncodeDocument(std::string(kMaxNameBytes + 1, 'n'), "x"), EToolError) << "overlong name";
  EXPECT_NO_THROW(EncodeDocument(std::string(kMaxNameBytes, 'n'), "x"));
}

TEST(SafeFileName, NoNameLeavesTheFolder) {
  const std::pair<std::string, std::string> cases[] = {
      {"../../etc/passwd", "passwd"}, {"..\\..\\boot.ini", "boot.ini"}, {"/abs/path/x.txt", "x.txt"},
      {"..", "document"},             {"dir/", "document"},             {"", "document"},
      {".hidden", "hidden"},  // no hidden files made by a sender
      {"a\nb\tc.txt", "a_b_c.txt"},   {"what?*.txt", "what__.txt"},     {"trailing. . ", "trailing"},
      {"письмо.txt", "письмо.txt"},
  };
  for (const auto& [name, safe] : cases) EXPECT_EQ(SafeFileName(name), safe) << name;
  const std::string cyr = SafeFileName(std::string(150, 'x') + "ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ");
  EXPECT_LE(cyr.size(), 200u);
  EXPECT_EQ((static_cast<unsigned char>(cyr.back()) & 0xC0), 0x80u) << "cut at a character boundary";
  EXPECT_EQ(cyr.size() % 2, 0u);
}

TEST(Inbox, TakenNamesAreNumberedAndNothingIsOverwritten) {
  TTempDir dir;
  TInbox inbox(dir.Path() / "in");
  std::vector<std::string> names;
  for (const auto& [name, content] : {std::pair{"report.txt", "one"}, {"../report.txt", "two"},
                                      {"report.txt", "three"}, {"README", "a"}, {"README", "b"}})
    names.push_back(inbox.Store(name, content).filename().string());
  EXPECT_THAT(names, ElementsAre("report.txt", "report (2).txt", "report (3).txt", "README", "README (2)"));
  EXPECT_EQ(ReadFile(dir / "in/report.txt"), "one");
  EXPECT_EQ(ReadFile(dir / "in/report (3).txt"), "three");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path() / "in"), {}), 5)
      << "no temporary file was left";
  EXPECT_EQ(NumberedName(".profile", 2), ".profile (2)");
}

TEST(Inbox, FolderThatCannotBeMadeIsNamed) {
  TTempDir dir;
  WriteFile(dir / "file", "x");
  EXPECT_THAT(ErrorOf([&] { TInbox inbox(dir.Path() / "file" / "in"); }), HasSubstr(dir / "file"));
  EXPECT_THROW(TInbox(dir.Path() / "file"), EToolError) << "a file is no folder";
}

}  // namespace
}  // namespace kestrel::app
