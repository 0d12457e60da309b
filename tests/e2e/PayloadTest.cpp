// The packet plans of the end-to-end runs: what the runs claim to cover.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <numeric>
#include <set>

#include "tests/e2e/Payload.h"

namespace kestrel::e2e {
namespace {

TEST(Plans, SpreadCoversEveryOctaveFromOneByteToTheLargestAndStaysAFewTimesIt) {
  const std::vector<std::size_t> sizes = SpreadSizes(200, 1 << 20);
  ASSERT_EQ(sizes.size(), 200u);
  EXPECT_EQ(*std::min_element(sizes.begin(), sizes.end()), 1u);
  EXPECT_EQ(*std::max_element(sizes.begin(), sizes.end()), std::size_t{1} << 20);
  std::set<int> octaves;
  for (std::size_t s : sizes) octaves.insert(static_cast<int>(std::bit_width(s)) - 1);
  EXPECT_EQ(octaves.size(), 21u) << "2^0 .. 2^20";
  const std::size_t total = std::accumulate(sizes.begin(), sizes.end(), std::size_t{0});
  EXPECT_GT(total, std::size_t{2} << 20);
  EXPECT_LT(total, std::size_t{4} << 20);
  // Shuffled: the largest is not last.
  EXPECT_NE(sizes.back(), std::size_t{1} << 20);
}

TEST(Plans, PlansParseAndRefuseMalformedText) {
  EXPECT_EQ(PlanSizes("same:3:4000"), (std::vector<std::size_t>{4000, 4000, 4000}));
  EXPECT_EQ(PlanSizes("list:200,0,1048576"), (std::vector<std::size_t>{200, 0, 1048576}));
  EXPECT_EQ(PlanSizes("spread:60:262144").size(), 60u);
  EXPECT_TRUE(PlanSizes("same:3").empty());
  EXPECT_TRUE(PlanSizes("list:1,,2").empty());
  EXPECT_TRUE(PlanSizes("other:1:2").empty());
  EXPECT_TRUE(PlanSizes("same:x:2").empty());
}

TEST(Plans, PacketsOfOneSizeDifferAndTheDigestSeesOneFlippedBit) {
  const std::string a = PacketBytes(1, 4096), b = PacketBytes(2, 4096);
  EXPECT_NE(a, b);
  EXPECT_EQ(a, PacketBytes(1, 4096));
  std::string c = a;
  c[1234] = static_cast<char>(c[1234] ^ 0x10);
  EXPECT_NE(Digest(a), Digest(c));
  // Two changes that keep the byte sum: the line's checksum misses them,
  // the digest does not.
  std::string x = a, y = a;
  x[10] = 0x10, x[20] = 0x20;
  y[10] = 0x11, y[20] = 0x1F;
  EXPECT_NE(Digest(x), Digest(y));
}

}  // namespace
}  // namespace kestrel::e2e
