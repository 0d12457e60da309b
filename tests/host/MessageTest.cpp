// The core's day numbers (1 is 01.01.0001) and time values (ms), and their
// texts.
//
// Parameter lists and their items: owned copies, growth and removal, and
// items laid out by a host program in its own memory. (The lists' holders,
// DataLists.h, are tested through the store's settings and address lists.)
//
// The texts of the monitor window's rows.
#include "host/Message.h"
#include "host/Seal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "host/Crc32.h"
#include "host/MonitorSource.h"
#include "host/OutQueue.h"
#include "host/Pacing.h"
#include "host/ParamList.h"
#include "host/ReceiveHistory.h"
#include "host/Wagtail.h"
#include "platform/Cp1251.h"

namespace kestrel::host {
namespace {

const TRefPack kRef{17, 738000, 43200123};

TPart Part(std::uint32_t total, std::uint32_t offset, std::string_view bytes, std::int32_t number = 17) {
  return TPart{TRefPack{number, kRef.Date, kRef.Time}, total, offset, bytes};
}

// Every field of a message, to compare two.
auto Fields(const TMessage& m) {
  std::vector<std::tuple<std::int32_t, std::int32_t, std::int32_t, std::uint32_t, std::uint32_t, std::string>> parts;
  for (const TPart& p : m.Parts)
    parts.emplace_back(p.Ref.Number, p.Ref.Date, p.Ref.Time, p.Total, p.Offset, std::string(p.Payload));
  std::vector<std::tuple<std::int32_t, std::int32_t, std::int32_t, TAckStatus, std::uint32_t>> answers;
  for (const TAnswer& a : m.Answers) answers.emplace_back(a.Ref.Number, a.Ref.Date, a.Ref.Time, a.Status, a.Position);
  return std::tuple(m.Type, m.Seq, m.Version, m.SenderIdCl, m.ClientId, m.KeepAliveMs, parts, answers, m.Reason,
                    m.Keyed, m.Nonce, m.Proof);
}

TEST(Message, EveryTypeSurvivesEncodeAndDecode) {
  const std::string bytes("frag\0ment", 9);
  const TMessage messages[] = {
      MakeHello(1, -1, 0x12345678),
      MakeWelcome(2, 10000),
      MakeData(0xFFFFFFFF, {Part(100, 91, bytes)}),
      MakeData(3, {Part(0, 0, "", 1), Part(9, 0, bytes, 2), Part(50, 0, "head", 3)}),
      MakeAck(4, {TAnswer{kRef, TAckStatus::Refused, 77}}),
      MakeAck(5, {TAnswer{kRef, TAckStatus::Delivered, 9}, TAnswer{{18, 1, 2}, TAckStatus::Continue, 4}}),
      MakeBare(TMsgType::Ping, 9),
      MakeBare(TMsgType::Pong, 9),
      MakeBare(TMsgType::Bye, 9),
      MakeRefuse(1, TRefusal::WrongKey),
      MakeAuth(2, true, TNonce{1, 2, 3}),
      MakeAuthed(2, false, TNonce{4}, TProof{5, 6}),
      MakeProof(3, TProof{0, 0, 7}),
      MakeBare(TMsgType::Accept, 3)};
  for (const TMessage& m : messages) {
    const std::string wire = EncodeMessage(m);
    const auto back = DecodeMessage(wire);
    ASSERT_TRUE(back) << static_cast<int>(m.Type);
    EXPECT_EQ(Fields(*back), Fields(m)) << static_cast<int>(m.Type);
  }
}

// `body` with its CRC-32 appended, as the sender seals a message.
std::string Sealed(std::string body) {
  const std::uint32_t crc = Crc32(body);
  for (int i = 0; i < 4; ++i) body.push_back(static_cast<char>(crc >> (8 * i)));
  return body;
}

// The bytes of `msg` without their CRC-32, to be changed and sealed again.
std::string Body(const TMessage& msg) {
  std::string wire = EncodeMessage(msg);
  wire.resize(wire.size() - 4);
  return wire;
}

TEST(Message, FieldsAreLittleEndianAtFixedOffsets) {
  const std::string wire =
      EncodeMessage(MakeAck(0x01020304, {TAnswer{TRefPack{1, 2, 3}, TAckStatus::Delivered, 0xA0B0C0D0}}));
  ASSERT_EQ(wire.size(), 28u);
  EXPECT_EQ(wire.substr(0, 7), std::string("\x04\x04\x03\x02\x01\x01\x00", 7));  // type, seq, count
  EXPECT_EQ(wire.substr(20, 4), std::string("\xD0\xC0\xB0\xA0", 4));
  EXPECT_EQ(Sealed(wire.substr(0, 24)), wire) << "the CRC-32 of the rest, little-endian";
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
}

// `body` with byte `at` set to `value`, sealed again.
std::string Changed(std::string body, std::size_t at, char value) {
  body[at] = value;
  return Sealed(body);
}

TEST(Message, WhatIsNotAMessageDecodesToNothing) {
  const std::string data = Body(MakeData(1, {Part(10, 0, "abcd"), Part(3, 0, "xyz", 18)}));
  const std::string hello = EncodeMessage(MakeHello(1, 2, 3));
  std::string many = std::string(5, '\x03') + "\x01\x01";  // 257 parts of 24 bytes each
  for (int i = 0; i <= static_cast<int>(kMaxParts); ++i) many += Body(MakeData(1, {Part(0, 0, "")})).substr(7);
  const std::string ack = Body(MakeAck(1, {TAnswer{kRef, TAckStatus::Delivered, 0}}));
  // One bit set in one payload byte and cleared in the next: the line's byte
  // sum stays the same, the message's CRC-32 does not.
  std::string damaged = EncodeMessage(MakeData(1, {Part(4, 0, "\x01\x00\x00\x00")}));
  damaged[31] ^= 0x01;  // payload byte 0 (after type, seq, count, ref, total, offset, length): 1 -> 0
  damaged[32] ^= 0x01;  // payload byte 1: 0 -> 1
  const std::pair<std::string, const char*> refused[] = {
      {"", "nothing"},
      {Sealed(std::string("\x05\x01\x00\x00", 4)), "a short header"},
      {Sealed(std::string("\x0E\x01\x00\x00\x00", 5)), "an unknown type"},
      {Sealed(std::string("\x05\x01\x00\x00\x00X", 6)), "a PING with a body"},
      {hello.substr(0, hello.size() - 1), "a CRC cut short"},
      {damaged, "damage that the line's byte sum misses"},
      {Changed(ack, 19, 4), "no such status"},
      {Changed(Body(MakeRefuse(1, TRefusal::WrongKey)), 5, 9), "no such reason"},
      {Changed(Body(MakeAuth(1, true, {})), 5, 2), "keyed is 0 or 1"},
      {Sealed(data + "!"), "bytes after the last part"},
      {Sealed(data.substr(0, data.size() - 1)), "the last part cut short"},
      {Changed(data, 5, 3), "one part more than there is"},
      {Changed(data, 5, 0), "no part at all"},
      {Changed(data, 27, 5), "the first part claims a byte more than it has, and so eats the second"},
      {Sealed(many), "more parts than a message may carry"},
      {Sealed(ack + std::string(17, '\0')), "an answer more than counted"},
      {EncodeMessage(MakeData(1, {Part(10, 7, "abcd")})), "a fragment past the end of its packet"},
      {EncodeMessage(MakeData(1, {Part(1, 0, ""), Part(10, 7, "abcd")})), "the same in a later part"},
      {EncodeMessage(MakeData(1, {Part(10, 0xFFFFFFFE, "abcd")})), "an offset near 2^32 that wraps into range"}};
  for (const auto& [wire, what] : refused) EXPECT_FALSE(DecodeMessage(wire)) << what;
  // The edges of the above that are messages.
  const std::pair<std::string, const char*> taken[] = {
      {Sealed(std::string("\x05\x01\x00\x00\x00", 5)), "the PING itself"},
      {Sealed(data), "the parts as counted"},
      {EncodeMessage(MakeData(1, {Part(10, 6, "abcd")})), "a fragment that ends its packet"},
      {EncodeMessage(MakeData(1, {Part(0, 0, "")})), "an empty packet"},
      {EncodeMessage(MakeData(1, {Part(4, 0, "\x01\x00\x00\x00")})), "the damaged one before its damage"}};
  for (const auto& [wire, what] : taken) EXPECT_TRUE(DecodeMessage(wire)) << what;
}

TEST(Seal, OnlyTheFarSideOpensAFrameOnceAndNothingChangedOpens) {
  const TAuthInput in{TPartyKey{9}, 42, TNonce{1}, TNonce{2}};
  TSeal client(SessionKeys(in), TSeal::TSide::Client);
  TSeal server(SessionKeys(in), TSeal::TSide::Server);
  const std::string message = EncodeMessage(MakeBare(TMsgType::Ping, 7)) + "plain words";
  const std::string first = client.Seal(message);
  const std::string second = client.Seal(message);
  EXPECT_EQ(first.size(), message.size() + kSealedOverhead);
  EXPECT_NE(first.substr(9), second.substr(9)) << "each frame has its own nonce";
  EXPECT_FALSE(client.Open(first)) << "a side does not open its own frames";
  for (std::size_t at : {std::size_t{0}, std::size_t{3}, std::size_t{12}, first.size() - 1}) {
    std::string changed = first;
    changed[at] = static_cast<char>(changed[at] ^ 0x20);
    EXPECT_FALSE(server.Open(changed)) << "byte " << at;
  }
  EXPECT_EQ(server.Open(second), message);
  EXPECT_FALSE(server.Open(first)) << "an older frame after a newer one";
  EXPECT_FALSE(server.Open(second)) << "a repeat";
  EXPECT_FALSE(server.Open(message)) << "a plain message";
  TSeal other(SessionKeys({TPartyKey{8}, 42, TNonce{1}, TNonce{2}}), TSeal::TSide::Server);
  EXPECT_FALSE(other.Open(client.Seal(message))) << "another key";
  // The proofs differ by role, claimed caller and nonce.
  EXPECT_NE(ServerProof(in), ClientProof(in));
  EXPECT_NE(ServerProof(in), ServerProof({in.Key, 43, in.ClientNonce, in.ServerNonce}));
  EXPECT_NE(ClientProof(in), ClientProof({in.Key, 42, in.ClientNonce, TNonce{3}}));
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysIn(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

TEST(Wagtail, DayNumbersAndTextsRunWithoutGapsFromYearOneToYear9999) {
  // Counted day by day with the leap-year rule, independently of the
  // era arithmetic of the implementation.
  std::int32_t expected = 1;
  for (int y = 1; y <= 9999; ++y)
    for (int m = 1; m <= 12; ++m)
      for (int d = 1; d <= DaysIn(y, m); ++d, ++expected) {
        if (DateToDayNumber(y, m, d) != expected) FAIL() << y << "-" << m << "-" << d;
        if (d != 1 && d != DaysIn(y, m)) continue;
        char text[40];  // wide enough for any three ints: the optimiser checks the format against that
        std::snprintf(text, sizeof text, "%02d.%02d.%04d", d, m, y);
        if (SysDateToStr(expected) != text) FAIL() << expected << " gives " << SysDateToStr(expected);
      }
  EXPECT_EQ(expected - 1, 3652059);
}

// The texts inside the range are the day-by-day test's.
TEST(Wagtail, DateTextsOutsideTheRangeAndOutOfRangeMonthsAndDaysThatRollOver) {
  const std::pair<std::int32_t, std::string_view> texts[] = {
      {0, "?0"}, {3652060, "?3652060"}, {-7, "?-7"}, {std::numeric_limits<std::int32_t>::min(), "?-2147483648"}};
  for (const auto& [day, text] : texts) EXPECT_EQ(SysDateToStr(day), text) << day;
  EXPECT_EQ(DateToDayNumber(2000, 13, 1), DateToDayNumber(2001, 1, 1));
  EXPECT_EQ(DateToDayNumber(2000, 0, 1), DateToDayNumber(1999, 12, 1));
  EXPECT_EQ(DateToDayNumber(2000, -11, 1), DateToDayNumber(1999, 1, 1));
  EXPECT_EQ(DateToDayNumber(1900, 2, 29), DateToDayNumber(1900, 3, 1));
  EXPECT_EQ(DateToDayNumber(2024, 1, 0), DateToDayNumber(2023, 12, 31));
  EXPECT_EQ(DateToDayNumber(1, 1, 0), 0);
}

// (Hours beyond a 32-bit count of ms: the log's time values, tests/gate/common.)
TEST(Wagtail, TimeTextsKeepHoursAndSign) {
  const std::pair<std::int32_t, std::string_view> times[] = {
      {0, "00:00:00.000"}, {86399999, "23:59:59.999"}, {90061001, "25:01:01.001"},  // hours are not wrapped at 24
      {-1, "-00:00:00.001"}, {std::numeric_limits<std::int32_t>::max(), "596:31:23.647"},
      {std::numeric_limits<std::int32_t>::min(), "-596:31:23.648"}};
  for (const auto& [ms, text] : times) EXPECT_EQ(SysTimeToStr(ms), text) << ms;
  EXPECT_EQ(LongTimeToStr(std::numeric_limits<std::int64_t>::min()).substr(0, 2), "-2");
}

TEST(Pacing, DayFractionsBecomeMillisecondsOfTheTimeOfDay) {
  const std::pair<double, std::uint32_t> cases[] = {
      {1.0 / 1440, 60000}, {3.0 / 1440, 180000},
      {1000.6 / 86400000.0, 1001}, {1000.4 / 86400000.0, 1000},  // rounded to the nearest ms
      {1.5, 43200000},  // a day and a half: noon
      {2.0, 0}, {1.0 - 1e-12, 0},  // rounds up to midnight
      {0.0, 0}, {-0.25, 0}, {std::nan(""), 0}, {std::numeric_limits<double>::infinity(), 0}};
  for (const auto& [days, ms] : cases) EXPECT_EQ(DayFractionToMs(days), ms) << days;
}

TEST(Pacing, FragmentsFollowTheMeasuredRateWithinBounds) {
  TProtocolTuning t;  // 5 s worth, 256 B .. 256 KiB
  // 4096 bytes in 2000 ms: 5 s worth is 10240 bytes, within four-fold.
  EXPECT_EQ(NextFragmentSize(4096, 4096, 2000, t), 10240u);
  // A fast line grows at most four-fold per step, then stops at the bound.
  EXPECT_EQ(NextFragmentSize(1024, 1024, 1, t), 4096u);
  EXPECT_EQ(NextFragmentSize(200000, 200000, 1, t), 256u * 1024);
  // Elapsed 0 counts as 1 ms rather than dividing by zero.
  EXPECT_EQ(NextFragmentSize(1024, 1024, 0, t), 4096u);
  // A slow line shrinks at most four-fold, never below the minimum.
  EXPECT_EQ(NextFragmentSize(4096, 4096, 600000, t), 1024u);
  EXPECT_EQ(NextFragmentSize(512, 512, 600000, t), 256u);
  // The tail of a packet says little about the rate: the size stays.
  EXPECT_EQ(NextFragmentSize(4096, 100, 100000, t), 4096u);
  EXPECT_EQ(NextFragmentSize(4096, 0, 0, t), 4096u);
  // Bounds that contradict each other: the maximum wins.
  t.MinFragment = 10000;
  t.MaxFragment = 500;
  EXPECT_EQ(NextFragmentSize(4096, 4096, 2000, t), 500u);
}

TEST(Pacing, KeepAliveIntervalStaysSane) {
  for (const auto& [asked, ms] : {std::pair{0u, 10000u}, {1u, 50u}, {2500u, 2500u}, {0xFFFFFFFFu, 60000u}})
    EXPECT_EQ(KeepAliveInterval(asked), ms) << asked;
}

TEST(OutQueue, PacketsLeaveOnceAndNoneEntersAfterAStop) {
  TOutQueue q;
  EXPECT_EQ(q.WaitForPacket(0), TOutQueue::TWake::Timeout);
  ASSERT_TRUE(q.Push({TRefPack{1, 0, 0}, "a"}));
  ASSERT_TRUE(q.Push({TRefPack{2, 0, 0}, "b"}));
  EXPECT_EQ(q.WaitForPacket(0), TOutQueue::TWake::Packet);
  const auto first = q.TakeNext();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Ref.Number, 1);
  const auto rest = q.RequestStop();
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_EQ(rest[0].Ref.Number, 2);
  EXPECT_FALSE(q.Push({TRefPack{3, 0, 0}, "c"}));
  EXPECT_EQ(q.Size(), 0u);
  EXPECT_EQ(q.WaitForPacket(100000), TOutQueue::TWake::Stop);  // returns at once
  EXPECT_TRUE(q.WaitForStop(100000));
}

TPacketKey Key(std::int32_t sender, std::int32_t number) { return {sender, TRefPack{number, 738000, 1000}}; }

// Its repeats, whole, in part or as a probe, are acknowledged and not
// delivered again: the transfers with duplicated messages and after a
// reconnect (TransferTest.cpp).
TEST(ReceiveHistory, FragmentsMakeOnePacketKnownBySenderReferenceAndSize) {
  TReceiveHistory h;
  auto step = h.Accept(Key(5, 1), 6, 0, "abc");
  EXPECT_EQ(std::tuple(step.Deliver, step.Status, step.Position), std::tuple(false, TAckStatus::Continue, 3u));
  step = h.Accept(Key(5, 1), 6, 3, "def");
  ASSERT_TRUE(step.Deliver);
  EXPECT_EQ(step.Packet, "abcdef");
  h.Finish(Key(5, 1), 6, true);
  EXPECT_TRUE(h.WasDelivered(Key(5, 1), 6));
  // Another sender with the same reference is another packet.
  EXPECT_TRUE(h.Accept(Key(6, 1), 6, 0, "abcdef").Deliver);
  // So is one of another size.
  EXPECT_TRUE(h.Accept(Key(5, 1), 2, 0, "xy").Deliver);
  EXPECT_EQ(h.PartialCount(), 0u);
}

TEST(ReceiveHistory, FragmentsThatDoNotContinueAnswerWhereToGoOn) {
  TReceiveHistory h;
  EXPECT_EQ(h.Accept(Key(1, 1), 10, 4, "xxxx").Position, 0u);  // nothing held: from 0
  EXPECT_EQ(h.PartialCount(), 0u);
  EXPECT_EQ(h.Accept(Key(1, 1), 10, 0, "").Position, 0u);      // a probe
  EXPECT_EQ(h.Accept(Key(1, 1), 10, 0, "0123").Position, 4u);
  EXPECT_EQ(h.Accept(Key(1, 1), 10, 0, "0123").Position, 4u);  // a repeat changes nothing
  EXPECT_EQ(h.Accept(Key(1, 1), 10, 6, "67").Position, 4u);    // a gap changes nothing
  EXPECT_EQ(h.PartialBytesHeld(), 4u);
  // The same reference with another size restarts from scratch.
  EXPECT_EQ(h.Accept(Key(1, 1), 12, 4, "4567").Position, 0u);
  EXPECT_EQ(h.PartialCount(), 0u);
  // A zero-byte packet is complete at once.
  EXPECT_TRUE(h.Accept(Key(1, 2), 0, 0, "").Deliver);
}

TEST(ReceiveHistory, RefusedPacketsAreForgottenAndTooLargeOnesRejected) {
  TReceiveHistory h;
  h.SetLimits({.MaxPacketBytes = 100});
  ASSERT_TRUE(h.Accept(Key(1, 1), 3, 0, "abc").Deliver);
  h.Finish(Key(1, 1), 3, false);
  EXPECT_FALSE(h.WasDelivered(Key(1, 1), 3));
  EXPECT_TRUE(h.Accept(Key(1, 1), 3, 0, "abc").Deliver);  // a later attempt delivers afresh
  EXPECT_EQ(h.Accept(Key(1, 2), 101, 0, "a").Status, TAckStatus::Rejected);
}

TEST(ReceiveHistory, MemoryIsBoundedOldestFirstButNeverThePacketInHand) {
  TReceiveHistory h;
  h.SetLimits({.HistoryEntries = 2, .PartialEntries = 2, .PartialBytes = 10});
  for (int n = 1; n <= 3; ++n) {
    ASSERT_TRUE(h.Accept(Key(1, n), 1, 0, "x").Deliver);
    h.Finish(Key(1, n), 1, true);
  }
  EXPECT_EQ(std::tuple(h.WasDelivered(Key(1, 1), 1), h.WasDelivered(Key(1, 2), 1), h.WasDelivered(Key(1, 3), 1)),
            std::tuple(false, true, true)) << "the first pushed out by the third";

  h.Accept(Key(2, 1), 100, 0, "aaaa");
  h.Accept(Key(2, 2), 100, 0, "bbbb");
  h.Accept(Key(2, 3), 100, 0, "cccc");  // a third partial: the oldest goes
  EXPECT_EQ(h.PartialCount(), 2u);
  EXPECT_EQ(h.Accept(Key(2, 1), 100, 4, "aaaa").Position, 0u);
  // One big partial beyond the byte bound pushes the others out but stays.
  EXPECT_EQ(h.Accept(Key(2, 4), 100, 0, std::string(20, 'd')).Position, 20u);
  EXPECT_EQ(std::tuple(h.PartialCount(), h.PartialBytesHeld()), std::tuple(1u, 20u));
  EXPECT_EQ(h.Accept(Key(2, 4), 100, 20, "d").Position, 21u);
}

TEST(ReceiveHistory, ARepeatWaitsForTheDeliveryInProgress) {
  TReceiveHistory h;
  ASSERT_TRUE(h.Accept(Key(1, 1), 1, 0, "x").Deliver);
  // Still with the core: the repeat cannot be answered yet.
  EXPECT_TRUE(h.Accept(Key(1, 1), 1, 0, "x", 20).Timeout);
  h.Finish(Key(1, 1), 1, true);
  EXPECT_EQ(h.Accept(Key(1, 1), 1, 0, "x", 20).Status, TAckStatus::Delivered);
}

// Owns a list made here and frees it with its items on every way out.
struct OwnedList {
  TParamList* list = NewParamList();
  ~OwnedList() {
    DestroyParamList(*list);
    FreeParamList(list);
  }
};

// An empty text without memory and a negative scalar sign-extended into the
// pointer-sized value show in the store's lists (tests/store).
TEST(ParamList, ItemsOwnCopiesOfNameAndValueAndBadArgumentsAreRefused) {
  std::string name = "InitString1";
  std::string text = "ATX3";
  TParamListItem* bytes = NewBytesItem(name, PARAM_TEXT, text.data(), static_cast<std::int32_t>(text.size()));
  TParamListItem* scalar = NewScalarItem("IdCl", PARAM_INT32, -1);
  name[0] = 'X';
  text[0] = 'X';
  EXPECT_STREQ(bytes->Name, "InitString1");
  EXPECT_EQ(ItemBytes(*bytes), "ATX3");
  EXPECT_TRUE(ItemBytes(*scalar).empty());
  for (TParamListItem* item : {bytes, scalar, static_cast<TParamListItem*>(nullptr)}) DisposeParamListItem(item);

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
  for (int i = 0; i < 100; ++i) EXPECT_EQ(list.Items[i]->Value, i);

  TParamListItem* taken = RemoveParamListItem(list, 40);
  EXPECT_EQ(ItemName(*taken), "P40");
  DisposeParamListItem(taken);
  EXPECT_EQ(std::tuple(list.Count, ItemName(*list.Items[40]), ItemName(*list.Items[98])), std::tuple(99, "P41", "P99"));

  for (const int bad : {99, -1}) EXPECT_THROW(RemoveParamListItem(list, bad), std::out_of_range) << bad;
  EXPECT_EQ(list.Count, 99);

  DestroyParamList(list);
  EXPECT_EQ(list.Count, 0);
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

using namespace kestrel::literals;

TEST(MonitorText, ChannelRowsNamePortAliasActivityAndHolder) {
  const std::string_view modem = "Модем 1"_cp;
  const std::vector<std::pair<TMonitorChannel, std::string_view>> rows = {
      {{2, std::string(modem), TChannelActivity::kIdle, 0}, "COM3: Модем 1 - ожидание"_cp},
      {{2, std::string(modem), TChannelActivity::kListening, 0x3}, "COM3: Модем 1 - прослушивание ($00000003)"_cp},
      {{2, std::string(modem), TChannelActivity::kSending, 0xABCDEF01}, "COM3: Модем 1 - вызов ($ABCDEF01)"_cp},
      {{15, {}, TChannelActivity::kConnected, 0xABCDEF01}, "COM16 - соединение ($ABCDEF01)"_cp}};
  for (const auto& [channel, row] : rows) EXPECT_EQ(ChannelRowText(channel), row);
  EXPECT_EQ(ProcessesText(3, 2), std::string("Процессов: 3; потоков обмена: 2"_cp));
}

}  // namespace
}  // namespace kestrel::host
