#include "heron.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

// Every test leaves the core as it found it: nothing installed.
class Heron : public ::testing::Test {
 protected:
  void TearDown() override {
    HeronSetReadGateSettings(nullptr, nullptr);
    HeronSetGateInfo(nullptr, nullptr);
    HeronSetRecvFromGate(nullptr, nullptr);
  }
};

struct Seen {
  int calls = 0;
  std::int32_t kind = 0;
  std::int16_t code = 0;
  std::string text;
  std::optional<std::string> details;
  const TRefPack* ref = nullptr;
  std::int32_t param = 0;
  KBool answer = 1;
};

KBool InfoHandler(void* ctx, std::int32_t kind, std::int16_t code, const char* text, const char* details) {
  auto* seen = static_cast<Seen*>(ctx);
  ++seen->calls;
  seen->kind = kind;
  seen->code = code;
  seen->text = text;
  seen->details = details ? std::optional<std::string>(details) : std::nullopt;
  return seen->answer;
}

KBool RecvHandler(void* ctx, const TRefPack* ref, std::int32_t code, std::int32_t param) {
  auto* seen = static_cast<Seen*>(ctx);
  ++seen->calls;
  seen->ref = ref;
  seen->code = static_cast<std::int16_t>(code);
  seen->param = param;
  return seen->answer;
}

const char kBlock[] = "\x01\x00\x01 settings";

const void* SettingsHandler(void* ctx, std::int16_t gate_code, std::int32_t* size) {
  auto* seen = static_cast<Seen*>(ctx);
  ++seen->calls;
  seen->code = gate_code;
  *size = 12;
  return gate_code == 7 ? kBlock : nullptr;  // others: "nothing stored" with a stray size
}

TEST_F(Heron, WithoutHandlersActsAsAnEmptyAcceptingCore) {
  std::int32_t size = 77;
  EXPECT_EQ(ReadGateSettings(7, &size), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(ReadGateSettings(7, nullptr), nullptr);
  EXPECT_EQ(GateInfo(2, 7, "line", nullptr, 0), 1);
  const TRefPack ref{1, 2, 3};
  EXPECT_EQ(RecvFromGate(&ref, -10, -1), 1);
}

TEST_F(Heron, ForwardsEveryArgumentAndTheContext) {
  Seen info, recv, settings;
  HeronSetGateInfo(&InfoHandler, &info);
  HeronSetRecvFromGate(&RecvHandler, &recv);
  HeronSetReadGateSettings(&SettingsHandler, &settings);

  EXPECT_EQ(GateInfo(1, -3, "error line", "detail", 0), 1);
  EXPECT_EQ(info.kind, 1);
  EXPECT_EQ(info.code, -3);
  EXPECT_EQ(info.text, "error line");
  EXPECT_EQ(info.details, "detail");
  EXPECT_EQ(GateInfo(2, 0, nullptr, nullptr, 0), 1);
  EXPECT_EQ(info.text, "") << "a null text reaches the handler as an empty one";
  EXPECT_FALSE(info.details.has_value()) << "a null detail stays null";
  info.answer = 0;
  EXPECT_EQ(GateInfo(2, 0, "refused", "", 0), 0);
  info.answer = 5;
  EXPECT_EQ(GateInfo(2, 0, "any true", "", 0), 1) << "results are 0 or 1";
  EXPECT_EQ(info.calls, 4);

  const TRefPack ref{10, 738960, 5000};
  recv.answer = 0;
  EXPECT_EQ(RecvFromGate(&ref, -10, -1), 0);
  EXPECT_EQ(recv.ref, &ref);
  EXPECT_EQ(recv.code, -10);
  EXPECT_EQ(recv.param, -1);

  std::int32_t size = 0;
  EXPECT_EQ(ReadGateSettings(7, &size), kBlock);
  EXPECT_EQ(size, 12);
  EXPECT_EQ(ReadGateSettings(8, &size), nullptr);
  EXPECT_EQ(size, 0) << "no block means size 0, whatever the handler said";
  EXPECT_EQ(settings.code, 8);
}

TEST_F(Heron, ReinstallingReplacesAndNullUninstalls) {
  Seen first, second;
  HeronSetGateInfo(&InfoHandler, &first);
  GateInfo(2, 0, "one", "", 0);
  HeronSetGateInfo(&InfoHandler, &second);
  second.answer = 0;
  EXPECT_EQ(GateInfo(2, 0, "two", "", 0), 0);
  EXPECT_EQ(first.calls, 1);
  EXPECT_EQ(second.calls, 1);
  EXPECT_EQ(second.text, "two");

  HeronSetGateInfo(nullptr, &second);
  EXPECT_EQ(GateInfo(2, 0, "three", "", 0), 1);
  EXPECT_EQ(second.calls, 1);

  Seen recv;
  HeronSetRecvFromGate(&RecvHandler, &recv);
  HeronSetRecvFromGate(nullptr, nullptr);
  EXPECT_EQ(RecvFromGate(nullptr, -10, -1), 1);
  EXPECT_EQ(recv.calls, 0);
}

}  // namespace
