// The exchanger: reading its address block, and how each operation reports
// failures (logged, never raised) with and without a channel.
#include "session/MdmExch.h"

#include "platform/Cp1251.h"
#include "tests/session/GateFixture.h"

namespace kestrel::session {
namespace {

using namespace kestrel::literals;
using testing::ChannelOn;
using testing::QuickAddress;
using testing::RemoteBlock;
using testing::SettingsBlock;

constexpr std::string_view kBeginText = "Начало функции"_cp, kEndText = "Конец функции"_cp, kErrorText = "Ошибка"_cp;
const std::string kBegin = ":(" + std::string(kBeginText) + ")";
const std::string kEnd = ":(" + std::string(kEndText) + ")";
const std::string kError = ":(" + std::string(kErrorText) + " ";

class MdmExch : public GateFixture {
 protected:
  std::unique_ptr<TMdmExchanger> Make(const std::string& block) {
    return std::make_unique<TMdmExchanger>(manager.get(), block.data(), static_cast<std::int32_t>(block.size()));
  }
};

TEST_F(MdmExch, AddressBlockDecidesInitialisationRestoreParametersAndTimeOuts) {
  store::TMdmAddress addr = QuickAddress({2});
  addr.RestoreConnAfterBreakTimeOut = 1.0 + store::MsToTimeSpan(90000);  // a whole day is dropped
  addr.RestoreConnTimeOut = store::MsToTimeSpan(4000);
  addr.RestoreConnTries = 7;
  addr.StayOnLineTimeOut = store::MsToTimeSpan(5000);
  const std::string record = testing::OwnBlock(addr);

  auto bare = Make(record);  // 168 bytes: no phone section
  EXPECT_TRUE(bare->Initialized());
  EXPECT_TRUE(bare->Phones().empty());
  EXPECT_EQ(bare->GetRestoreConnAfterBreakTimeOut(), 90000);
  EXPECT_DOUBLE_EQ(bare->GetStayOnLineTimeOut(), store::MsToTimeSpan(5000));
  double timeout = 0;
  std::int32_t tries = 0;
  bare->GetRestoreConnParams(timeout, tries);
  EXPECT_DOUBLE_EQ(timeout, store::MsToTimeSpan(4000));
  EXPECT_EQ(tries, 7);

  auto with_phones = Make(RemoteBlock(addr, {" 101 ", "102"}));
  EXPECT_TRUE(with_phones->Initialized());
  EXPECT_EQ(with_phones->Phones(), (std::vector<std::string>{"101", "102"}));

  auto broken_phones = Make(RemoteBlock(addr, {"101"}).substr(0, 168 + 4 + 99));
  EXPECT_FALSE(broken_phones->Initialized());
  EXPECT_TRUE(broken_phones->Phones().empty());

  auto short_block = Make(record.substr(0, 100));
  EXPECT_FALSE(short_block->Initialized());
  EXPECT_EQ(std::int32_t{short_block->Addr().RestoreConnTries}, 2) << "the default record stays";

  TMdmExchanger none(manager.get(), nullptr, 0);
  EXPECT_FALSE(none.Initialized());
}

TEST_F(MdmExch, UninitialisedExchangerRefusesConnectAndDisConnectWithErrorLines) {
  ASSERT_TRUE(manager->InitGate(1));
  auto e = Make(std::string(100, '\0'));
  core.ClearLines();
  EXPECT_FALSE(e->Connect());
  EXPECT_FALSE(e->DisConnect());
  std::vector<std::string> expected;
  for (const std::string op : {".Connect", ".DisConnect"}) {
    const std::string error = "TME[$" + Id(*e) + "]" + op + kError + "Exception:(Exchanger not initialized)) | ";
    expected.insert(expected.end(), {"2 TME[$" + Id(*e) + "]" + op + kBegin + " | ", "1 " + error, "2 " + error,
                                     "2 TME[$" + Id(*e) + "]" + op + kEnd + " | Result: FALSE"});
  }
  EXPECT_EQ(Transcript(), expected);
}

TEST_F(MdmExch, WithoutAChannelConnectCarriesThePoolsTextSendAndReceiveFailAndDisConnectSucceeds) {
  ASSERT_TRUE(manager->InitGate(1));  // nothing stored: no channel
  auto e = Make(RemoteBlock(QuickAddress({1}), {"101"}));
  const std::string id = "TME[$" + Id(*e) + "]";
  EXPECT_FALSE(e->Connect());
  EXPECT_EQ(e->ChannelIndex(), -1);
  EXPECT_FALSE(e->Send(""));
  EXPECT_EQ(e->Receive(), "");
  std::vector<std::string> errors;
  for (const testing::TCoreLine& l : core.Errors()) errors.push_back(l.text);
  EXPECT_EQ(errors, (std::vector<std::string>{
                        id + ".Connect" + kError +
                            "Exception:(TMPM.GetChannelFromSetForSending:(There no initialized channels.Check "
                            "gate settings!)))",
                        id + ".Send" + kError + "EListError:(List index out of bounds (-1)))",
                        id + ".Receive" + kError + "EListError:(List index out of bounds (-1)))"}));
  const auto send_begin = core.LinesWith(id + ".Send" + kBegin);
  ASSERT_EQ(send_begin.size(), 1u);
  EXPECT_EQ(send_begin[0].text, id + ".Send" + kBegin + "; DETAILS: ToSend: OCTET(0)");
  const auto send_end = core.LinesWith(id + ".Send" + kEnd);
  ASSERT_EQ(send_end.size(), 1u);
  // Elapsed time is at least 1 ms; the rate of 0 bytes is 0 whatever it was.
  EXPECT_EQ(send_end[0].details.rfind("Result: FALSE; 0 bytes for ", 0), 0u) << send_end[0].details;
  EXPECT_NE(send_end[0].details.find(" ms; Rate: 0 Bit / sec"), std::string::npos) << send_end[0].details;
  EXPECT_EQ(send_end[0].details.find("for 0 ms"), std::string::npos);
  EXPECT_EQ(core.LinesWith(id + ".Receive" + kEnd).at(0).details, "ResLen: 0");

  // A DisConnect that never connected releases nothing and succeeds.
  core.ClearLines();
  EXPECT_TRUE(e->DisConnect());
  const auto release = core.LinesWith("TMPM[].ReleaseSendingChannelByIndOwner:");
  ASSERT_EQ(release.size(), 2u);
  EXPECT_EQ(release[0].text, "TMPM[].ReleaseSendingChannelByIndOwner:(vChannelIndex: -1; vSeOwner: " + Id(*e) + ")");
  EXPECT_EQ(core.LinesWith(id + ".DisConnect" + kEnd).at(0).details, "Result: TRUE");
}

TEST_F(MdmExch, ConnectedExchangerReportsALostCarrierOnReceiveAndGivesTheChannelBack) {
  modems.OnCom(1, "101");
  testing::TTerminal& far = modems.Terminal("200");
  ASSERT_TRUE(far.Type("ATE0S0=1\r"));
  ASSERT_NE(far.ReadUntil("OK").find("OK"), std::string::npos);
  core.StoreSettings(1, SettingsBlock({ChannelOn(1)}));
  ASSERT_TRUE(manager->InitGate(1));

  auto e = Make(RemoteBlock(QuickAddress({1}), {"200"}));
  ASSERT_TRUE(e->Connect());
  EXPECT_EQ(e->ChannelIndex(), 0);
  EXPECT_EQ(manager->Pool()->Channels(0).SendingOwner(), e->Identity());
  ASSERT_TRUE(e->Send("hello"));
  const auto sent = core.LinesWith("].Send" + kEnd);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].details.rfind("Result: TRUE; 5 bytes for ", 0), 0u) << sent[0].details;

  far.Close();  // the far modem hangs up
  EXPECT_EQ(e->Receive(), "");
  const auto failed = core.LinesWith("].Receive:(Channels[i].RecvByChannel: FALSE); ErrStr: ");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].text, "TME[$" + Id(*e) +
                                "].Receive:(Channels[i].RecvByChannel: FALSE); ErrStr: TMD.MdmRecvExch:(Carrier "
                                "Detect is not in GetLineStatus set)");
  EXPECT_EQ(failed[0].details, "PortName: \\\\.\\COM1; Result : ");
  EXPECT_TRUE(core.Errors().empty()) << "a failed receive is no error report";

  EXPECT_TRUE(e->DisConnect());
  EXPECT_EQ(e->ChannelIndex(), -1);
  EXPECT_FALSE(manager->Pool()->Channels(0).Sending());
}

}  // namespace
}  // namespace kestrel::session
