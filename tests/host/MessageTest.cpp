#include "host/Message.h"

#include "host/Crc32.h"

#include <gtest/gtest.h>

namespace kestrel::host {
namespace {

const TRefPack kRef{17, 738000, 43200123};

TEST(Message, EveryTypeSurvivesEncodeAndDecode) {
  const auto hello = DecodeMessage(EncodeMessage(MakeHello(1, -1, 0x12345678)));
  ASSERT_TRUE(hello);
  EXPECT_EQ(hello->Type, TMsgType::Hello);
  EXPECT_EQ(hello->Seq, 1u);
  EXPECT_EQ(hello->Version, kProtocolVersion);
  EXPECT_EQ(hello->SenderIdCl, -1);
  EXPECT_EQ(hello->ClientId, 0x12345678u);

  const auto welcome = DecodeMessage(EncodeMessage(MakeWelcome(2, 10000)));
  ASSERT_TRUE(welcome);
  EXPECT_EQ(welcome->KeepAliveMs, 10000u);

  const std::string bytes("frag\0ment", 9);
  const std::string data_wire = EncodeMessage(MakeData(0xFFFFFFFF, kRef, 100, 91, bytes));
  const auto data = DecodeMessage(data_wire);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->Seq, 0xFFFFFFFFu);
  EXPECT_EQ(data->Ref.Number, 17);
  EXPECT_EQ(data->Ref.Date, 738000);
  EXPECT_EQ(data->Ref.Time, 43200123);
  EXPECT_EQ(data->Total, 100u);
  EXPECT_EQ(data->Offset, 91u);
  EXPECT_EQ(data->Payload, bytes);

  const auto ack = DecodeMessage(EncodeMessage(MakeAck(4, kRef, TAckStatus::Refused, 77)));
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->Status, TAckStatus::Refused);
  EXPECT_EQ(ack->Position, 77u);

  for (TMsgType t : {TMsgType::Ping, TMsgType::Pong, TMsgType::Bye}) {
    const auto bare = DecodeMessage(EncodeMessage(MakeBare(t, 9)));
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->Type, t);
    EXPECT_EQ(bare->Seq, 9u);
  }
}

TEST(Message, FieldsAreLittleEndianAtFixedOffsets) {
  const std::string wire = EncodeMessage(MakeAck(0x01020304, TRefPack{1, 2, 3}, TAckStatus::Delivered, 0xA0B0C0D0));
  ASSERT_EQ(wire.size(), 26u);
  EXPECT_EQ(wire.substr(0, 5), std::string("\x04\x04\x03\x02\x01", 5));
  EXPECT_EQ(static_cast<unsigned char>(wire[17]), 1u);  // status
  EXPECT_EQ(wire.substr(18, 4), std::string("\xD0\xC0\xB0\xA0", 4));
  const std::uint32_t crc = Crc32(std::string_view(wire).substr(0, 22));
  EXPECT_EQ(wire.substr(22), std::string({static_cast<char>(crc), static_cast<char>(crc >> 8),
                                          static_cast<char>(crc >> 16), static_cast<char>(crc >> 24)}));
}

// `body` with its CRC-32 appended, as the sender seals a message.
std::string Sealed(std::string body) {
  const std::uint32_t crc = Crc32(body);
  for (int i = 0; i < 4; ++i) body.push_back(static_cast<char>(crc >> (8 * i)));
  return body;
}

TEST(Message, WhatIsNotAMessageDecodesToNothing) {
  EXPECT_FALSE(DecodeMessage(""));
  EXPECT_FALSE(DecodeMessage(Sealed(std::string("\x05\x01\x00\x00", 4))));       // short header
  EXPECT_FALSE(DecodeMessage(Sealed(std::string("\x09\x01\x00\x00\x00", 5))));   // unknown type
  EXPECT_FALSE(DecodeMessage(Sealed(std::string("\x05\x01\x00\x00\x00X", 6))));  // PING with a body
  EXPECT_TRUE(DecodeMessage(Sealed(std::string("\x05\x01\x00\x00\x00", 5))));   // the PING itself
  std::string hello = EncodeMessage(MakeHello(1, 2, 3));
  EXPECT_FALSE(DecodeMessage(hello.substr(0, hello.size() - 1)));
  std::string ack = EncodeMessage(MakeAck(1, kRef, TAckStatus::Continue, 0));
  ack[17] = 4;  // no such status
  EXPECT_FALSE(DecodeMessage(Sealed(ack.substr(0, ack.size() - 4))));
}

TEST(Message, DamageThatALineByteSumMissesIsCaught) {
  // One bit set in one byte and cleared in another at the same position: the
  // line's byte sum stays the same, the message's CRC-32 does not.
  std::string data = EncodeMessage(MakeData(1, kRef, 4, 0, "\x01\x00\x00\x00"));
  ASSERT_TRUE(DecodeMessage(data));
  data[25] ^= 0x01;  // payload byte 0 (after type, seq, ref, total, offset): 1 -> 0
  data[26] ^= 0x01;  // payload byte 1: 0 -> 1
  EXPECT_FALSE(DecodeMessage(data));
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
}

TEST(Message, AFragmentMustLieInsideItsPacket) {
  EXPECT_TRUE(DecodeMessage(EncodeMessage(MakeData(1, kRef, 10, 6, "abcd"))));
  EXPECT_FALSE(DecodeMessage(EncodeMessage(MakeData(1, kRef, 10, 7, "abcd"))));
  // An offset near 2^32 must not wrap around into range.
  EXPECT_FALSE(DecodeMessage(EncodeMessage(MakeData(1, kRef, 10, 0xFFFFFFFE, "abcd"))));
  EXPECT_TRUE(DecodeMessage(EncodeMessage(MakeData(1, kRef, 0, 0, ""))));
  const std::string header_only = EncodeMessage(MakeData(1, kRef, 5, 0, "")).substr(0, 24);
  EXPECT_FALSE(DecodeMessage(header_only));
}

}  // namespace
}  // namespace kestrel::host
