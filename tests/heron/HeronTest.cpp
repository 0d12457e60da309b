// libHeron, the stand-in core: each core function forwards its arguments and
// the handler's context to the handler a host installed and answers 0 or 1;
// without a handler it acts as a core with nothing stored that takes
// everything; localised texts are cut to the buffer and always terminated.
//
// The core's pump of the main thread (heron.h): it forwards to the pump the
// gate installed, and without one it waits as asked instead of returning at
// once, so that a host's wait loop around it does not spin.
#include "heron.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// Every test leaves the core as it found it: nothing installed.
class Heron : public ::testing::Test {
 protected:
  void TearDown() override {
    HeronSetReadGateSettings(nullptr, nullptr);
    HeronSetGateInfo(nullptr, nullptr);
    HeronSetRecvFromGate(nullptr, nullptr);
    HeronSetRecvPacketFromGate(nullptr, nullptr);
    HeronSetPacketDeliveredFromGate(nullptr, nullptr);
    HeronSetProgressFromGate(nullptr, nullptr);
    HeronSetGetLocalizResource(nullptr, nullptr);
    HeronSetPartyKeyFromCore(nullptr, nullptr);
    HeronSetSessionFromGate(nullptr, nullptr);
  }
};

TEST_F(Heron, WithoutHandlersActsAsAnEmptyCoreThatTakesEverything) {
  HeronSetGateInfo([](void*, std::int32_t, std::int16_t, const char*, const char*) -> KBool { return 0; }, nullptr);
  HeronSetGateInfo(nullptr, nullptr);  // uninstalled again
  std::int32_t size = 77;
  EXPECT_EQ(ReadGateSettings(7, &size), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(ReadGateSettings(7, nullptr), nullptr);
  const TRefPack ref{1, 2, 3};
  EXPECT_EQ(GateInfo(2, 7, "line", nullptr, 0), 1);
  EXPECT_EQ(RecvFromGate(&ref, -10, -1), 1);
  EXPECT_EQ(RecvPacketFromGate(5, &ref, "ab", 2), 1);
  EXPECT_EQ(PacketDeliveredFromGate(9, &ref), 1);
  ProgressFromGate(9, "caption", 1, 2, HERON_PROGRESS_SEND);
  char buf[8] = "garbage";
  EXPECT_EQ(GetLocalizResource("key", buf, sizeof buf), -1);
  EXPECT_STREQ(buf, "") << "the buffer is left empty, not stale";
  EXPECT_EQ(GetLocalizResource("key", nullptr, 0), -1);
  std::uint8_t key[HERON_KEY_SIZE] = {7};
  EXPECT_EQ(PartyKeyFromCore(5, key, sizeof key), 0) << "every party known, none keyed";
  EXPECT_EQ(key[0], 7) << "no key written";
  SessionFromGate(5, HERON_PROGRESS_RECEIVE, HERON_SESSION_REFUSED, "reason");
}

// What the handlers were given, and what they answer.
struct TCore {
  std::vector<std::string> calls;
  KBool answer = 1;
};
TCore& Of(void* ctx) { return *static_cast<TCore*>(ctx); }
std::string Str(const char* s) { return s == nullptr ? "<null>" : std::string("'") + s + "'"; }

// The forwarding of each argument is seen by every user of the tests' core;
// what only the core itself decides is here.
TEST_F(Heron, AnswersAreZeroOrOneNoBlockIsSizeZeroAndNullTextsReachTheHandlersEmpty) {
  TCore core;
  HeronSetGateInfo([](void* c, std::int32_t, std::int16_t, const char* text, const char* details) {
    Of(c).calls.push_back(Str(text) + " " + Str(details));
    return Of(c).answer;
  }, &core);
  HeronSetRecvFromGate([](void* c, const TRefPack*, std::int32_t, std::int32_t) { return Of(c).answer; }, &core);
  HeronSetRecvPacketFromGate([](void* c, std::int32_t, const TRefPack*, const void* data, std::int32_t) {
    Of(c).calls.push_back(data == nullptr ? "<null>" : "data");
    return Of(c).answer;
  }, &core);
  HeronSetPacketDeliveredFromGate([](void* c, KHandle, const TRefPack*) { return Of(c).answer; }, &core);
  HeronSetProgressFromGate([](void* c, KHandle, const char* caption, std::int32_t, std::int32_t, std::int32_t) {
    Of(c).calls.push_back(Str(caption));
  }, &core);
  HeronSetReadGateSettings([](void*, std::int16_t, std::int32_t* size) -> const void* {
    *size = 12;  // a stray size with no block
    return nullptr;
  }, nullptr);
  const TRefPack ref{10, 738960, 5000};
  for (const auto& [answer, expected] : {std::pair{0, 0}, {7, 1}}) {
    core.answer = static_cast<KBool>(answer);
    EXPECT_EQ(GateInfo(2, 0, "", "", 0), expected) << answer;
    EXPECT_EQ(RecvFromGate(&ref, -10, -1), expected) << answer;
    EXPECT_EQ(RecvPacketFromGate(1, &ref, "x", 1), expected) << answer;
    EXPECT_EQ(PacketDeliveredFromGate(1, &ref), expected) << answer;
  }
  core.calls.clear();
  GateInfo(2, 0, nullptr, nullptr, 0);
  RecvPacketFromGate(1, &ref, nullptr, 0);
  ProgressFromGate(77, nullptr, 10, 20, HERON_PROGRESS_RECEIVE);
  EXPECT_EQ(core.calls, (std::vector<std::string>{"'' <null>", "<null>", "''"})) << "a null detail stays null";
  std::int32_t size = 5;
  EXPECT_EQ(ReadGateSettings(8, &size), nullptr);
  EXPECT_EQ(size, 0);
}

// Copies what fits, but leaves the terminator to libHeron.
std::int32_t SloppyTexts(void*, const char* key, char* dest, std::int32_t size) {
  if (std::strcmp(key, "none") == 0) return -1;
  const std::string text = std::string("text of ") + key;
  if (dest != nullptr && size > 0) std::memcpy(dest, text.data(), std::min<std::size_t>(text.size(), size));
  return static_cast<std::int32_t>(text.size());
}

TEST_F(Heron, LocalisedTextsAreCutToTheBufferAndAlwaysTerminated) {
  HeronSetGetLocalizResource(&SloppyTexts, nullptr);
  char buf[64];
  std::memset(buf, 'X', sizeof buf);
  EXPECT_EQ(GetLocalizResource("k", buf, sizeof buf), 9);
  EXPECT_STREQ(buf, "text of k");
  char small[5];
  std::memset(small, 'X', sizeof small);
  EXPECT_EQ(GetLocalizResource("long key", small, sizeof small), 16) << "the full length, to size a second call";
  EXPECT_STREQ(small, "text");
  EXPECT_EQ(GetLocalizResource("k", nullptr, 100), 9) << "no buffer: the length only";
  EXPECT_EQ(GetLocalizResource("none", buf, sizeof buf), -1);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(GetLocalizResource(nullptr, buf, sizeof buf), -1);
}

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
