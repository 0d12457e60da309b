// The base classes of the settings and address lists: the block they hold,
// and the parameter list they parse into, empty and free.
#include "host/DataLists.h"

#include <gtest/gtest.h>

#include <string>

#include "host/ParamList.h"

namespace kestrel::host {
namespace {

// Minimal subclasses: one item per block byte, and a block of the item names.
std::string NamesOf(const TParamList* list) {
  std::string out;
  for (std::int32_t i = 0; list != nullptr && i < list->Count; ++i) out += ItemName(*list->Items[i]);
  return out;
}

void FillFromBlock(TParamList*& list, const void* data, std::int32_t size) {
  if (list == nullptr) list = NewParamList();
  for (std::int32_t i = 0; i < size; ++i)
    AddParamListItem(*list, NewBytesItem(std::string(1, static_cast<const char*>(data)[i]), PARAM_TEXT, "v", 1));
}

class TestSettList : public TSettList {
 public:
  bool BlobToParamList(const void* data, std::int32_t size) override {
    FillFromBlock(ParamList, data, size);
    return true;
  }
  void ParamListToBlob(const TParamList* list) override { SetBlob(NamesOf(list)); }
};

class TestAddrList : public TAddrList {
 public:
  bool BlobToParamList(const void* data, std::int32_t size) override {
    FillFromBlock(ParamList, data, size);
    return size >= 0;
  }
  std::string AddrListText(std::int32_t) override { return {}; }
  void ParamListToBlob(const TParamList* list) override { SetBlob(NamesOf(list)); }
};

TEST(DataLists, SettListBlobIsReplacedByCopiesAndReleasedAndItsListEmptiedAndKept) {
  TestSettList sett;
  EXPECT_EQ(sett.BLOB, nullptr);
  EXPECT_EQ(sett.BLOBSize, 0);
  sett.DestroyParamList();  // nothing yet: no effect
  ASSERT_TRUE(sett.BlobToParamList("abc", 3));
  sett.ParamListToBlob(sett.ParamList);
  ASSERT_EQ(sett.BLOBSize, 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(sett.BLOB), 3), "abc");
  const std::string longer(1000, 'z');
  sett.SetBlob(longer);
  EXPECT_EQ(sett.BLOBSize, 1000);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(sett.BLOB), 1000), longer);
  for (const bool by_release : {false, true}) {
    sett.SetBlob("q");
    by_release ? sett.ReleaseBlob() : sett.SetBlob("");
    EXPECT_EQ(sett.BLOB, nullptr);
    EXPECT_EQ(sett.BLOBSize, 0);
  }
  sett.SetBlob("left for the destructor");

  TParamList* list = sett.ParamList;
  sett.DestroyParamList();
  EXPECT_EQ(sett.ParamList, list);
  EXPECT_EQ(sett.ParamList->Count, 0);
  ASSERT_TRUE(sett.BlobToParamList("pq", 2));
  EXPECT_EQ(NamesOf(sett.ParamList), "pq");
  // The destructor frees the remaining items, the list and the block (checked by ASan).
}

TEST(DataLists, AddrListParsesThroughItsSlotAndFreesTheWholeList) {
  TestAddrList addr;
  ASSERT_TRUE(addr.BLOB2ParamList("12", 2));
  EXPECT_EQ(NamesOf(addr.ParamList), "12");
  EXPECT_FALSE(addr.BLOB2ParamList(nullptr, -1));
  addr.DestroyParamList();
  ASSERT_NE(addr.ParamList, nullptr);
  EXPECT_EQ(addr.ParamList->Count, 0);
  ASSERT_TRUE(addr.BLOB2ParamList("345", 3));
  addr.FreeParamList();
  EXPECT_EQ(addr.ParamList, nullptr);
  addr.FreeParamList();  // a second time is harmless

  // A list handed in by a host program is only read.
  char name[] = "Host";
  TParamListItem item{name, PARAM_INT32, 5, 0};
  TParamListItem* items[] = {&item};
  TParamList host_list{1, 1, items};
  addr.ParamListToBlob(&host_list);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(addr.BLOB), static_cast<std::size_t>(addr.BLOBSize)), "Host");
  EXPECT_EQ(host_list.Count, 1);
  TAddrList::DisposeParamListItem(nullptr);
  TSettList::DisposeParamListItem(nullptr);
}

}  // namespace
}  // namespace kestrel::host
