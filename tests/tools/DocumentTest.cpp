// Documents as packets, safe file names, and the inbox they are stored in.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/tools/ToolTempDir.h"
#include "tools/kestrel/Document.h"
#include "tools/kestrel/Inbox.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

using testing::TTestDir;

TEST(Document, Crc32IsTheUsualOne) {
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32(""), 0u);
  EXPECT_EQ(Crc32("6789", Crc32("12345")), 0xCBF43926u) << "it continues across pieces";
}

TEST(Document, RoundTripKeepsNameAndBytes) {
  std::string content(70000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 + 7);
  for (const std::string name : {"a.txt", "письмо.txt", ""}) {
    const std::string packet = EncodeDocument(name, content);
    TDocument doc;
    std::string why;
    ASSERT_EQ(DecodeDocument(packet, doc, why), TDecodeResult::Document) << why;
    EXPECT_EQ(doc.name, name);
    EXPECT_EQ(doc.content, content);
    EXPECT_EQ(doc.crc32, Crc32(content));
  }
  TDocument empty;
  std::string why;
  EXPECT_EQ(DecodeDocument(EncodeDocument("e", ""), empty, why), TDecodeResult::Document);
  EXPECT_TRUE(empty.content.empty());
}

TEST(Document, DamageIsFoundNotStored) {
  const std::string packet = EncodeDocument("report.pdf", "the report");
  TDocument doc;
  std::string why;
  std::string flipped = packet;
  flipped.back() ^= 0x01;
  EXPECT_EQ(DecodeDocument(flipped, doc, why), TDecodeResult::Damaged);
  EXPECT_NE(why.find("checksum"), std::string::npos);
  EXPECT_EQ(DecodeDocument(packet.substr(0, packet.size() - 1), doc, why), TDecodeResult::Damaged) << "cut short";
  EXPECT_EQ(DecodeDocument(packet + "x", doc, why), TDecodeResult::Damaged) << "longer than it says";
  EXPECT_EQ(DecodeDocument(packet.substr(0, 9), doc, why), TDecodeResult::Damaged) << "header cut";
  std::string long_name = packet;
  long_name[5] = '\xFF';  // a name length beyond the packet
  EXPECT_EQ(DecodeDocument(long_name, doc, why), TDecodeResult::Damaged);
  std::string version = packet;
  version[4] = 9;
  EXPECT_EQ(DecodeDocument(version, doc, why), TDecodeResult::Damaged);
  EXPECT_EQ(DecodeDocument("plain packet bytes", doc, why), TDecodeResult::NotADocument);
  EXPECT_EQ(DecodeDocument("", doc, why), TDecodeResult::NotADocument);
  EXPECT_EQ(DecodeDocument("KDO", doc, why), TDecodeResult::NotADocument);
}

TEST(Document, OverlongNameIsRefusedWhenSending) {
  EXPECT_THROW(EncodeDocument(std::string(kMaxNameBytes + 1, 'n'), "x"), EToolError);
  EXPECT_NO_THROW(EncodeDocument(std::string(kMaxNameBytes, 'n'), "x"));
}

TEST(SafeFileName, NoNameLeavesTheFolder) {
  EXPECT_EQ(SafeFileName("../../etc/passwd"), "passwd");
  EXPECT_EQ(SafeFileName("..\\..\\boot.ini"), "boot.ini");
  EXPECT_EQ(SafeFileName("/abs/path/x.txt"), "x.txt");
  EXPECT_EQ(SafeFileName(".."), "document");
  EXPECT_EQ(SafeFileName("dir/"), "document");
  EXPECT_EQ(SafeFileName(""), "document");
  EXPECT_EQ(SafeFileName(".hidden"), "hidden") << "no hidden files made by a sender";
  EXPECT_EQ(SafeFileName("a\nb\tc.txt"), "a_b_c.txt");
  EXPECT_EQ(SafeFileName("what?*.txt"), "what__.txt");
  EXPECT_EQ(SafeFileName("trailing. . "), "trailing");
  EXPECT_EQ(SafeFileName("письмо.txt"), "письмо.txt");
  const std::string cyr = SafeFileName(std::string(150, 'x') + "ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ");
  EXPECT_LE(cyr.size(), 200u);
  EXPECT_EQ((static_cast<unsigned char>(cyr.back()) & 0xC0), 0x80u) << "cut at a character boundary";
  EXPECT_EQ(cyr.size() % 2, 0u);
}

TEST(Inbox, TakenNamesAreNumberedAndNothingIsOverwritten) {
  TTestDir dir;
  TInbox inbox(dir.Path() / "in");
  const auto first = inbox.Store("report.txt", "one");
  const auto second = inbox.Store("../report.txt", "two");
  const auto third = inbox.Store("report.txt", "three");
  const auto bare = inbox.Store("README", "a");
  const auto bare2 = inbox.Store("README", "b");
  EXPECT_EQ(first.filename(), "report.txt");
  EXPECT_EQ(second.filename(), "report (2).txt");
  EXPECT_EQ(third.filename(), "report (3).txt");
  EXPECT_EQ(bare2.filename(), "README (2)");
  EXPECT_EQ(testing::ReadFile(first.string()), "one");
  EXPECT_EQ(testing::ReadFile(third.string()), "three");
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path() / "in")) {
    ++files;
    EXPECT_EQ(e.path().filename().string().find(".kestrel-part"), std::string::npos) << "a temporary file was left";
  }
  EXPECT_EQ(files, 5);
  EXPECT_EQ(NumberedName(".profile", 2), ".profile (2)");
}

TEST(Inbox, FolderThatCannotBeMadeIsNamed) {
  TTestDir dir;
  testing::WriteFile(dir / "file", "x");
  try {
    TInbox inbox(dir.Path() / "file" / "in");
    FAIL();
  } catch (const EToolError& e) {
    EXPECT_NE(std::string(e.what()).find(dir / "file"), std::string::npos) << e.what();
  }
  EXPECT_THROW(TInbox(dir.Path() / "file"), EToolError) << "a file is no folder";
}

}  // namespace
}  // namespace kestrel::app
