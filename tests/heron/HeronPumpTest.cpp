// The core's pump of the main thread (heron.h): it forwards to the pump the
// gate installed, and without one it waits as asked instead of returning at
// once, so that a host's wait loop around it does not spin.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "heron.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

std::atomic<std::uint32_t> g_asked{0};

int32_t FakePump(void* ctx, uint32_t wait_ms) {
  g_asked = wait_ms;
  return *static_cast<int32_t*>(ctx);
}

TEST(HeronPump, ForwardsToTheGatesPump) {
  int32_t ran = 3;
  HeronSetMainThreadPump(&FakePump, &ran);
  EXPECT_EQ(HeronPumpMainThread(25), 3);
  EXPECT_EQ(g_asked.load(), 25u);
  HeronSetMainThreadPump(nullptr, nullptr);
}

// Real time, tolerant.
TEST(HeronPump, WithoutAGateItWaitsAndWakesWhenOneArrives) {
  auto start = steady_clock::now();
  EXPECT_EQ(HeronPumpMainThread(100), 0);
  EXPECT_GE(steady_clock::now() - start, milliseconds(90)) << "waited rather than spun";

  int32_t ran = 0;
  std::thread loader([&] {
    std::this_thread::sleep_for(milliseconds(50));
    HeronSetMainThreadPump(&FakePump, &ran);
  });
  start = steady_clock::now();
  EXPECT_EQ(HeronPumpMainThread(20000), 0);
  EXPECT_LT(steady_clock::now() - start, milliseconds(10000)) << "woken by the gate's pump";
  loader.join();
  HeronSetMainThreadPump(nullptr, nullptr);
}

}  // namespace
