#include "modem/MdmFrame.h"

#include <gtest/gtest.h>

namespace kestrel::modem {
namespace {

std::string Bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s.push_back(static_cast<char>(b));
  return s;
}

TEST(MdmFrame, PayloadABWithKind2IsByteExact) {
  const std::string frame = BuildFrame(2, "AB");
  EXPECT_EQ(frame, Bytes({0x4D, 0x47, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 0x83, 0x00, 0x1B, 0x01, 'A', 'B'}));
}

TEST(MdmFrame, EmptyPayloadIsAHeaderOnly) {
  const std::string frame = BuildFrame(3, "");
  ASSERT_EQ(frame.size(), kFrameHeaderSize);
  TFrameHeader h;
  ASSERT_TRUE(ParseFrameHeader(frame, h));
  EXPECT_EQ(h.Kind, 3);
  EXPECT_EQ(h.Length, 0u);
  EXPECT_EQ(h.PayloadSum, 0);
}

TEST(MdmFrame, ChecksumsWrapAt16Bits) {
  const std::string payload(300, '\xFF');  // 300 * 255 = 76500 -> 76500 - 65536 = 10964
  EXPECT_EQ(ByteSum16(payload), 10964);
  TFrameHeader h;
  ASSERT_TRUE(ParseFrameHeader(BuildFrame(2, payload), h));
  EXPECT_EQ(h.PayloadSum, 10964);
  EXPECT_EQ(h.Length, 300u);
}

TEST(MdmFrame, HeaderIsRefusedForSignatureCaseOrChecksum) {
  std::string frame = BuildFrame(2, "AB");
  TFrameHeader h;
  std::string lower = frame;
  lower[0] = 'm';
  lower[1] = 'g';
  EXPECT_FALSE(ParseFrameHeader(lower, h));
  std::string bad_sum = frame;
  bad_sum[10] ^= 1;
  EXPECT_FALSE(ParseFrameHeader(bad_sum, h));
  std::string bad_len = frame;
  bad_len[4] = 3;  // the header checksum no longer matches
  EXPECT_FALSE(ParseFrameHeader(bad_len, h));
  EXPECT_FALSE(ParseFrameHeader(frame.substr(0, 11), h));
}

TEST(MdmFrame, LargeLengthsAreReadUnsigned) {
  // A length above 2^31 must come out as a large unsigned value, not negative.
  std::string frame = BuildFrame(2, "");
  frame[7] = static_cast<char>(0x80);
  frame[10] = 0;
  frame[11] = 0;
  const std::uint16_t sum = ByteSum16(std::string_view(frame).substr(0, 10));
  frame[10] = static_cast<char>(sum & 0xFF);
  frame[11] = static_cast<char>(sum >> 8);
  TFrameHeader h;
  ASSERT_TRUE(ParseFrameHeader(frame, h));
  EXPECT_EQ(h.Length, 0x80000000u);
  EXPECT_GT(h.Length, kMaxFramePayload);
}

TEST(MdmFrame, KindsAlternateTwoThreeTwo) {
  EXPECT_EQ(NextFrameKind(0), 2u);
  EXPECT_EQ(NextFrameKind(2), 3u);
  EXPECT_EQ(NextFrameKind(3), 2u);
  EXPECT_EQ(NextFrameKind(7), 2u);
  EXPECT_TRUE(IsAlternatingKind(2));
  EXPECT_FALSE(IsAlternatingKind(0));
  EXPECT_FALSE(IsAlternatingKind(4));
}

}  // namespace
}  // namespace kestrel::modem
