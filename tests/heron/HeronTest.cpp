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

// A core that notes every call as one line and gives one answer to all.
struct TCore {
  std::vector<std::string> calls;
  std::vector<const TRefPack*> refs;
  KBool answer = 1;
  KBool Note(const std::string& call, const TRefPack* ref = nullptr) {
    calls.push_back(call);
    refs.push_back(ref);
    return answer;
  }
};

TCore& Of(void* ctx) { return *static_cast<TCore*>(ctx); }
std::string Str(const char* s) { return s == nullptr ? "<null>" : std::string("'") + s + "'"; }
std::string N(long long v) { return std::to_string(v); }

const char kBlock[] = "settings";

void Install(TCore* core) {
  HeronSetReadGateSettings(
      [](void* c, std::int16_t code, std::int32_t* size) -> const void* {
        Of(c).Note("settings " + N(code));
        *size = 12;
        return code == 7 ? kBlock : nullptr;  // others: nothing stored, with a stray size
      },
      core);
  HeronSetGateInfo([](void* c, std::int32_t kind, std::int16_t code, const char* text, const char* details) {
    return Of(c).Note("info " + N(kind) + " " + N(code) + " " + Str(text) + " " + Str(details));
  }, core);
  HeronSetRecvFromGate([](void* c, const TRefPack* ref, std::int32_t code, std::int32_t param) {
    return Of(c).Note("recv " + N(code) + " " + N(param), ref);
  }, core);
  HeronSetRecvPacketFromGate([](void* c, std::int32_t sender, const TRefPack* ref, const void* data, std::int32_t size) {
    const std::string bytes = data == nullptr ? "<null>" : std::string(static_cast<const char*>(data), size);
    return Of(c).Note("packet " + N(sender) + " " + bytes, ref);
  }, core);
  HeronSetPacketDeliveredFromGate(
      [](void* c, KHandle proc, const TRefPack* ref) { return Of(c).Note("delivered " + N(proc), ref); }, core);
  HeronSetProgressFromGate([](void* c, KHandle proc, const char* caption, std::int32_t done, std::int32_t total,
                              std::int32_t direction) {
    Of(c).Note("progress " + N(proc) + " " + Str(caption) + " " + N(done) + "/" + N(total) + " " + N(direction));
  }, core);
}

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
  }
};

TEST_F(Heron, WithoutHandlersActsAsAnEmptyCoreThatTakesEverything) {
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
}

TEST_F(Heron, ForwardsEveryArgumentAndTheContextAndAnswersZeroOrOne) {
  TCore core;
  Install(&core);
  const TRefPack ref{10, 738960, 5000};
  for (const auto& [answer, expected] : {std::pair{1, 1}, {0, 0}, {7, 1}}) {
    SCOPED_TRACE(answer);
    core.calls.clear();
    core.refs.clear();
    core.answer = static_cast<KBool>(answer);
    EXPECT_EQ(GateInfo(1, -3, "error line", "detail", 0), expected);
    EXPECT_EQ(RecvFromGate(&ref, -10, -1), expected);
    EXPECT_EQ(RecvPacketFromGate(-1, &ref, "a\0b", 3), expected);
    EXPECT_EQ(PacketDeliveredFromGate(0xABCDEF01, &ref), expected);
    EXPECT_EQ(core.calls, (std::vector<std::string>{"info 1 -3 'error line' 'detail'", "recv -10 -1",
                                                    std::string("packet -1 a\0b", 13), "delivered 2882400001"}));
    EXPECT_EQ(core.refs, (std::vector<const TRefPack*>{nullptr, &ref, &ref, &ref}));
  }
  core.calls.clear();
  EXPECT_EQ(GateInfo(2, 0, nullptr, nullptr, 0), 1);
  EXPECT_EQ(RecvPacketFromGate(1, &ref, nullptr, 0), 1);
  ProgressFromGate(77, nullptr, 10, 20, HERON_PROGRESS_RECEIVE);
  std::int32_t size = 0;
  EXPECT_EQ(ReadGateSettings(7, &size), kBlock);
  EXPECT_EQ(size, 12);
  EXPECT_EQ(ReadGateSettings(8, &size), nullptr);
  EXPECT_EQ(size, 0) << "no block means size 0, whatever the handler said";
  // A null text or caption reaches the handler as an empty one; a null detail stays null.
  EXPECT_EQ(core.calls, (std::vector<std::string>{"info 2 0 '' <null>", "packet 1 <null>",
                                                  "progress 77 '' 10/20 " + N(HERON_PROGRESS_RECEIVE), "settings 7",
                                                  "settings 8"}));
}

TEST_F(Heron, ReinstallingReplacesAndNullUninstalls) {
  TCore first, second;
  Install(&first);
  GateInfo(2, 0, "one", "", 0);
  Install(&second);
  second.answer = 0;
  EXPECT_EQ(GateInfo(2, 0, "two", "", 0), 0);
  EXPECT_EQ(first.calls.size(), 1u);
  EXPECT_EQ(second.calls, std::vector<std::string>{"info 2 0 'two' ''"});
  HeronSetGateInfo(nullptr, &second);
  HeronSetRecvFromGate(nullptr, nullptr);
  EXPECT_EQ(GateInfo(2, 0, "three", "", 0), 1);
  EXPECT_EQ(RecvFromGate(nullptr, -10, -1), 1);
  EXPECT_EQ(second.calls.size(), 1u);
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
