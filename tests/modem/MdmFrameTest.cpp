// The frame on the modem line as pure functions: building, header checks,
// the alternating kinds and the clamped send time-out.
#include "modem/MdmFrame.h"

#include <gtest/gtest.h>

#include "tests/modem/ModemRig.h"

namespace kestrel::modem {
namespace {

using testing::HeaderAnnouncing;

TEST(MdmFrame, FramesAreByteExactWithSixteenBitChecksums) {
  EXPECT_EQ(BuildFrame(2, "AB"), std::string("MG\x02\x00\x02\x00\x00\x00\x83\x00\x1B\x01" "AB", 14));
  TFrameHeader h;
  ASSERT_TRUE(ParseFrameHeader(BuildFrame(3, ""), h));
  EXPECT_EQ(BuildFrame(3, "").size(), kFrameHeaderSize) << "an empty payload is a header only";
  EXPECT_EQ(h.Kind, 3);
  EXPECT_EQ(h.Length, 0u);
  EXPECT_EQ(h.PayloadSum, 0);
  const std::string payload(300, '\xFF');  // 300 * 255 = 76500, which wraps to 10964
  ASSERT_TRUE(ParseFrameHeader(BuildFrame(2, payload), h));
  EXPECT_EQ(h.PayloadSum, 10964);
  EXPECT_EQ(h.Length, 300u);
  // A length above 2^31 comes out as a large unsigned value, not negative.
  ASSERT_TRUE(ParseFrameHeader(HeaderAnnouncing(0x80000000u), h));
  EXPECT_EQ(h.Length, 0x80000000u);
}

TEST(MdmFrame, HeaderIsRefusedForSignatureCaseChecksumOrShortness) {
  const std::string frame = BuildFrame(2, "AB");
  TFrameHeader h;
  std::string lower = frame, bad_sum = frame, bad_len = frame;
  lower[0] = 'm', lower[1] = 'g';
  bad_sum[10] ^= 1;
  bad_len[4] = 3;  // the header checksum no longer matches
  for (const std::string& header : {lower, bad_sum, bad_len, frame.substr(0, 11)})
    EXPECT_FALSE(ParseFrameHeader(header, h)) << header.size();
}

TEST(MdmFrame, KindsAlternateTwoThreeTwoAndSendTimeOutsAreClampedNotCut) {
  EXPECT_EQ(NextFrameKind(0), 2u);
  EXPECT_EQ(NextFrameKind(2), 3u);
  EXPECT_EQ(NextFrameKind(3), 2u);
  EXPECT_EQ(NextFrameKind(7), 2u);
  EXPECT_TRUE(IsAlternatingKind(2) && IsAlternatingKind(3));
  EXPECT_FALSE(IsAlternatingKind(0) || IsAlternatingKind(4));
  // The port's 16-bit time-out: 65 536 ms would be 0 and 70 000 ms 4 464 if cut.
  for (const auto& [ms, out] : {std::pair{60000u, 60000}, {65535u, 65535}, {65536u, 65535}, {70000u, 65535}})
    EXPECT_EQ(FrameOutputTimeout(ms), out) << ms;
}

}  // namespace
}  // namespace kestrel::modem
