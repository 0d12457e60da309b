// Parameter lists and their items: owned copies, growth and removal, and
// items laid out by a host program in its own memory. (The lists' holders,
// DataLists.h, are tested through the store's settings and address lists.)
#include "host/ParamList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace kestrel::host {
namespace {

// Owns a list made here and frees it with its items on every way out.
struct OwnedList {
  TParamList* list = NewParamList();
  ~OwnedList() {
    DestroyParamList(*list);
    FreeParamList(list);
  }
};

TEST(ParamList, ItemsOwnCopiesOfNameAndValueAndBadArgumentsAreRefused) {
  std::string name = "InitString1";
  std::string text = "ATX3";
  TParamListItem* bytes = NewBytesItem(name, PARAM_TEXT, text.data(), static_cast<std::int32_t>(text.size()));
  TParamListItem* scalar = NewScalarItem("IdCl", PARAM_INT32, -1);
  TParamListItem* empty = NewBytesItem("PhonesList", PARAM_TEXT, nullptr, 0);
  name[0] = 'X';
  text[0] = 'X';

  EXPECT_STREQ(bytes->Name, "InitString1");
  EXPECT_EQ(bytes->ParamType, PARAM_TEXT);
  EXPECT_EQ(bytes->Size, 4);
  EXPECT_EQ(ItemBytes(*bytes), "ATX3");

  EXPECT_EQ(scalar->Size, 0);
  EXPECT_EQ(static_cast<std::int32_t>(scalar->Value), -1);
  EXPECT_EQ(scalar->Value, -1) << "a negative scalar is sign-extended into the pointer-sized value";
  EXPECT_TRUE(ItemBytes(*scalar).empty());

  // An empty text has no memory at all.
  EXPECT_EQ(empty->Size, 0);
  EXPECT_EQ(empty->Value, 0);

  DisposeParamListItem(bytes);
  DisposeParamListItem(scalar);
  DisposeParamListItem(empty);
  DisposeParamListItem(nullptr);

  EXPECT_THROW(NewBytesItem("A", PARAM_TEXT, "x", -1), std::invalid_argument);
  EXPECT_THROW(NewBytesItem("A", PARAM_TEXT, nullptr, 3), std::invalid_argument);
  OwnedList owned;
  EXPECT_THROW(AddParamListItem(*owned.list, nullptr), std::invalid_argument);
  EXPECT_EQ(owned.list->Count, 0);
}

TEST(ParamList, ListGrowsKeepsOrderAndRemovesByIndex) {
  OwnedList owned;
  TParamList& list = *owned.list;
  for (int i = 0; i < 100; ++i) AddParamListItem(list, NewScalarItem("P" + std::to_string(i), PARAM_INT32, i));
  ASSERT_EQ(list.Count, 100);
  EXPECT_GE(list.Capacity, 100);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(list.Items[i]->Value, i);

  TParamListItem* taken = RemoveParamListItem(list, 40);
  EXPECT_EQ(ItemName(*taken), "P40");
  DisposeParamListItem(taken);
  EXPECT_EQ(list.Count, 99);
  EXPECT_EQ(ItemName(*list.Items[40]), "P41");
  EXPECT_EQ(ItemName(*list.Items[98]), "P99");

  EXPECT_THROW(RemoveParamListItem(list, 99), std::out_of_range);
  EXPECT_THROW(RemoveParamListItem(list, -1), std::out_of_range);
  EXPECT_EQ(list.Count, 99);

  const std::int32_t capacity = list.Capacity;
  DestroyParamList(list);
  EXPECT_EQ(list.Count, 0);
  EXPECT_EQ(list.Capacity, capacity) << "an emptied list stays allocated for reuse";
  AddParamListItem(list, NewScalarItem("Again", PARAM_BOOL, 1));
  EXPECT_EQ(list.Count, 1);
  FreeParamList(nullptr);
}

TEST(ParamList, HostBuiltItemsAreCopiedAndLeftAlone) {
  // An item laid out by a host program in its own memory: the copy must not
  // share or free any of it (ASan reports a free of this stack memory).
  char name[] = "DataWaitTimeOut";
  double span = 1.0 / 1440;
  TParamListItem host_item{name, PARAM_DATETIME, reinterpret_cast<std::intptr_t>(&span), 8};
  TParamListItem* copy = CopyParamListItem(host_item);
  EXPECT_NE(copy->Name, name);
  EXPECT_NE(copy->Value, host_item.Value);
  EXPECT_STREQ(copy->Name, "DataWaitTimeOut");
  ASSERT_EQ(ItemBytes(*copy).size(), 8u);
  double copied = 0;
  std::memcpy(&copied, ItemBytes(*copy).data(), 8);
  EXPECT_EQ(copied, span);
  DisposeParamListItem(copy);

  TParamListItem host_scalar{nullptr, PARAM_ENUM, 3, 0};
  copy = CopyParamListItem(host_scalar);
  EXPECT_STREQ(copy->Name, "") << "a missing name is copied as an empty one";
  EXPECT_EQ(copy->Value, 3);
  DisposeParamListItem(copy);

  TParamListItem broken{name, PARAM_TEXT, 0, 5};
  EXPECT_THROW(CopyParamListItem(broken), std::invalid_argument);
  broken.Size = -2;
  EXPECT_THROW(CopyParamListItem(broken), std::invalid_argument);
  EXPECT_TRUE(ItemBytes(broken).empty());
}

}  // namespace
}  // namespace kestrel::host
