// Fault descriptions of the command line, and the call log lines.
#include "sim/FaultText.h"

#include <gtest/gtest.h>

#include "sim/EventText.h"

namespace kestrel::sim {
namespace {

TEST(FaultText, EachFaultSetsItsField) {
  TModemSetup s;
  std::string error;
  for (const char* desc : {"dead", "echo", "no-line", "busy", "dtr-ignored", "no-dtr", "chunks=4/250", "max-rate=9600",
                           "bit-errors=0.001", "lose=.5", "drop-after-bytes=1000", "drop-after-ms=1500"})
    ASSERT_TRUE(ApplyFaultText(desc, s, error)) << desc << ": " << error;
  EXPECT_TRUE(s.faults.dead);
  EXPECT_TRUE(s.faults.echo_stuck);
  EXPECT_FALSE(s.line);
  EXPECT_TRUE(s.busy);
  EXPECT_EQ(s.dtr_mode, 0u);
  EXPECT_FALSE(s.dtr_wired);
  EXPECT_EQ(s.faults.chunk_size, 4u);
  EXPECT_EQ(s.faults.chunk_delay_ms, 250u);
  EXPECT_EQ(s.max_rate, 9600u);
  EXPECT_DOUBLE_EQ(s.line_faults.bit_error_rate, 0.001);
  EXPECT_DOUBLE_EQ(s.line_faults.loss_rate, 0.5);
  EXPECT_EQ(s.line_faults.drop_after_bytes, 1000u);
  EXPECT_EQ(s.line_faults.drop_after_ms, 1500u);
}

TEST(FaultText, BadTextIsRefusedAndChangesNothing) {
  std::string error;
  for (const char* desc : {"", "deadly", "dead=1", "chunks=4", "chunks=0/10", "chunks=a/b", "max-rate=100",
                           "bit-errors=2", "bit-errors=-0.1", "bit-errors=1e-3", "lose=nan", "lose=", "lose=0.1.2",
                           "drop-after-bytes=0", "drop-after-ms=99999999999", "drop-after-bytes=12x"}) {
    TModemSetup s;
    error.clear();
    EXPECT_FALSE(ApplyFaultText(desc, s, error)) << desc;
    EXPECT_FALSE(error.empty()) << desc;
    EXPECT_FALSE(s.faults.dead || s.busy || !s.line || s.line_faults.Any() || s.faults.chunk_size) << desc;
  }
}

TEST(EventText, CallLogLines) {
  using K = TExchangeEvent::TKind;
  EXPECT_EQ(EventText({0, 1, K::kDial, "102"}, "101"), "101 dials 102");
  EXPECT_EQ(EventText({0, 1, K::kResult, "CONNECT 33600"}, "101"), "101 CONNECT 33600");
  EXPECT_EQ(EventText({0, 1, K::kDtr, "off"}, "101"), "101 DTR off");
  EXPECT_EQ(EventText({0, 2, K::kRing, "RING"}, "102"), "102 RING");
}

}  // namespace
}  // namespace kestrel::sim
