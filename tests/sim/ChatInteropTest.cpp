// Interoperability with a dialler nobody here wrote: the chat program of the
// ppp package dials through the exchange on one pseudo-terminal while a second
// chat answers RING with ATA on another; then data crosses the call both ways.
// Skipped where chat is not installed.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/PtyPeer.h"
#include "sim/ExchangeRunner.h"
#include "tests/kit/TempDir.h"

namespace kestrel::sim {
namespace {

constexpr const char* kChat = "/usr/sbin/chat";

TEST(ChatInterop, ChatDialsAndChatAnswersThroughTheExchange) {
  if (!platform::IsExecutable(kChat)) GTEST_SKIP() << kChat << " is not installed (Debian package ppp)";
  kestrel::testing::TTempDir dir;
  TExchangeOptions options;
  options.ring_on_ms = 300;
  options.ring_off_ms = 500;
  TExchangeRunner runner(options);
  std::string error;
  ASSERT_NE(runner.AddPtyModem(dir / "dialler", {.number = "101"}, error), kNoModem) << error;
  ASSERT_NE(runner.AddPtyModem(dir / "answerer", {.number = "102"}, error), kNoModem) << error;
  runner.Start();

  // The terminals stay open around the chat runs, as a dialler's parent
  // holds the port while chat talks to the modem: DTR stays up afterwards.
  auto dialler = platform::TPtyPeer::Open(dir / "dialler", error);
  auto answerer = platform::TPtyPeer::Open(dir / "answerer", error);
  ASSERT_TRUE(dialler && answerer) << error;

  int answer_status = -2;
  std::thread answering([&] {
    answer_status = answerer->RunProgram(
        {kChat, "-t", "10", "", "ATZ", "OK", "ATS0=0", "OK", "\\c", "RING", "ATA", "CONNECT", "\\c"}, 30000);
  });
  const int dial_status = dialler->RunProgram(
      {kChat, "-t", "10", "ABORT", "BUSY", "ABORT", "NO CARRIER", "", "ATZ", "OK", "ATDT102", "CONNECT", "\\c"},
      30000);
  answering.join();
  ASSERT_EQ(dial_status, 0) << "chat's exit status: 0 is success, 3 a time-out, 4 an ABORT string";
  ASSERT_EQ(answer_status, 0);

  // chat stops reading at "CONNECT"; the rest of that line may still be waiting.
  ASSERT_TRUE(dialler->Write("ping from the dialler\n"));
  EXPECT_NE(answerer->ReadUntil("dialler\n", 5000).find("ping from the dialler\n"), std::string::npos);
  ASSERT_TRUE(answerer->Write("pong from the answerer\n"));
  EXPECT_NE(dialler->ReadUntil("answerer\n", 5000).find("pong from the answerer\n"), std::string::npos);

  // The dialler hangs up by closing its port; the answerer's modem tells.
  dialler->Close();
  EXPECT_NE(answerer->ReadUntil("NO CARRIER\r\n", 5000).find("NO CARRIER"), std::string::npos);
}

}  // namespace
}  // namespace kestrel::sim
