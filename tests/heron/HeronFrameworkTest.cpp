// The core functions that the host framework calls: received packets,
// delivery confirmations, progress and localised texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "heron.h"

namespace {

class HeronFramework : public ::testing::Test {
 protected:
  void TearDown() override {
    HeronSetRecvPacketFromGate(nullptr, nullptr);
    HeronSetPacketDeliveredFromGate(nullptr, nullptr);
    HeronSetProgressFromGate(nullptr, nullptr);
    HeronSetGetLocalizResource(nullptr, nullptr);
  }
};

struct Seen {
  int calls = 0;
  std::int32_t sender = 0;
  const TRefPack* ref = nullptr;
  std::string bytes;
  KHandle proc = 0;
  std::string caption;
  std::int32_t done = 0, total = 0, direction = -1;
  KBool answer = 1;
};

KBool OnPacket(void* ctx, std::int32_t sender, const TRefPack* ref, const void* data, std::int32_t size) {
  auto* s = static_cast<Seen*>(ctx);
  ++s->calls;
  s->sender = sender;
  s->ref = ref;
  s->bytes.assign(static_cast<const char*>(data), static_cast<std::size_t>(size));
  return s->answer;
}

KBool OnDelivered(void* ctx, KHandle proc, const TRefPack* ref) {
  auto* s = static_cast<Seen*>(ctx);
  ++s->calls;
  s->proc = proc;
  s->ref = ref;
  return s->answer;
}

void OnProgress(void* ctx, KHandle proc, const char* caption, std::int32_t done, std::int32_t total,
                std::int32_t direction) {
  auto* s = static_cast<Seen*>(ctx);
  ++s->calls;
  s->proc = proc;
  s->caption = caption;
  s->done = done;
  s->total = total;
  s->direction = direction;
}

// Copies what fits, but leaves the terminator to libHeron.
std::int32_t SloppyTexts(void*, const char* key, char* dest, std::int32_t size) {
  if (std::strcmp(key, "none") == 0) return -1;
  const std::string text = std::string("text of ") + key;
  if (dest != nullptr && size > 0)
    std::memcpy(dest, text.data(), std::min<std::size_t>(text.size(), static_cast<std::size_t>(size)));
  return static_cast<std::int32_t>(text.size());
}

TEST_F(HeronFramework, WithoutHandlersPacketsAreTakenAndNoTextIsKnown) {
  const TRefPack ref{1, 2, 3};
  EXPECT_EQ(RecvPacketFromGate(5, &ref, "ab", 2), 1);
  EXPECT_EQ(PacketDeliveredFromGate(9, &ref), 1);
  ProgressFromGate(9, "caption", 1, 2, HERON_PROGRESS_SEND);
  char buf[8] = "garbage";
  EXPECT_EQ(GetLocalizResource("key", buf, sizeof buf), -1);
  EXPECT_STREQ(buf, "") << "the buffer is left empty, not stale";
  EXPECT_EQ(GetLocalizResource("key", nullptr, 0), -1);
}

TEST_F(HeronFramework, ForwardsPacketsConfirmationsAndProgress) {
  Seen packet, delivered, progress;
  HeronSetRecvPacketFromGate(&OnPacket, &packet);
  HeronSetPacketDeliveredFromGate(&OnDelivered, &delivered);
  HeronSetProgressFromGate(&OnProgress, &progress);
  const TRefPack ref{10, 738000, 5000};

  EXPECT_EQ(RecvPacketFromGate(-1, &ref, std::string("a\0b", 3).c_str(), 3), 1);
  EXPECT_EQ(packet.sender, -1);
  EXPECT_EQ(packet.ref, &ref);
  EXPECT_EQ(packet.bytes, std::string("a\0b", 3));
  packet.answer = 0;
  EXPECT_EQ(RecvPacketFromGate(1, &ref, nullptr, 0), 0) << "the core's refusal comes back";
  packet.answer = 7;
  EXPECT_EQ(RecvPacketFromGate(1, &ref, nullptr, 0), 1) << "results are 0 or 1";

  EXPECT_EQ(PacketDeliveredFromGate(0xABCDEF01, &ref), 1);
  EXPECT_EQ(delivered.proc, 0xABCDEF01u);
  EXPECT_EQ(delivered.ref, &ref);

  ProgressFromGate(77, nullptr, 10, 20, HERON_PROGRESS_RECEIVE);
  EXPECT_EQ(progress.calls, 1);
  EXPECT_EQ(progress.proc, 77u);
  EXPECT_EQ(progress.caption, "") << "a null caption reaches the handler as an empty one";
  EXPECT_EQ(progress.done, 10);
  EXPECT_EQ(progress.total, 20);
  EXPECT_EQ(progress.direction, HERON_PROGRESS_RECEIVE);
}

TEST_F(HeronFramework, LocalisedTextsAreCutToTheBufferAndAlwaysTerminated) {
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

}  // namespace
