// The editing exports of libKestrel, loaded as a host loads it: the view
// texts and their hand-over, the conversion of an address to and from the
// host's parameters, the answers without a gate manager, and the address and
// settings dialogs driven by an operator on the Qt backend (offscreen).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/ParamList.h"
#include "platform/Cp1251.h"
#include "store/MdmAddress.h"
#include "store/MdmSettings.h"
#include "tests/gate/GateTest.h"
#include "tests/kit/Blocks.h"
#include "tests/kit/forms/Operator.h"

namespace kestrel::testing {
namespace {

using namespace kestrel::literals;
using forms::testing::TFormDriver;
using forms::testing::TQtUi;

constexpr std::string_view kShortBlock = "Переданный блок памяти имеет размер меньше минимального для TMdmAddress"_cp;
constexpr std::string_view kRemoteView = "Тел:(101;...) Порты:(COM1;...)"_cp;
constexpr std::string_view kOwnView = "Порты:COM2"_cp;
constexpr std::string_view kStructuredError =
    "MDMGATE.StructuredAddress:(Ошибка Exception:(Phone number '"_cp;

std::int32_t Len(const std::string& s) { return static_cast<std::int32_t>(s.size()); }

class EditExports : public GateTest {
 protected:
  // ViewAddrGate then GetViewStr, as the host does them.
  std::string View(const void* data, std::int32_t size, bool self) {
    std::int32_t len = -1;
    EXPECT_EQ(gate.ViewAddrGate(data, size, self ? 1 : 0, &len), 1);
    if (len <= 0) return "<no length>";
    std::string text(static_cast<std::size_t>(len), '\x7f');
    EXPECT_EQ(gate.GetViewStr(text.data()), 1);
    EXPECT_EQ(text.back(), '\0') << "the text ends in its NUL";
    return text;
  }
};

TEST_F(EditExports, ViewTextsCarryTheirNulAndStayUntilTheNextView) {
  std::vector<char> before(8, 'x');
  EXPECT_EQ(gate.GetViewStr(before.data()), 0) << "no view text yet";
  EXPECT_EQ(before, std::vector<char>(8, 'x'));

  std::int32_t len = 0;
  ASSERT_EQ(gate.ViewAddrGate(nullptr, 168, 0, &len), 1);
  EXPECT_EQ(len, 18);
  EXPECT_EQ(View(nullptr, 0, true), std::string("Address not exist", 18));

  // The texts themselves are the dialogs layer's (tested with it); the
  // export picks the own or the remote one and hands it over.
  const std::string remote = RemoteBlock(QuickAddress({1, 3}), {"101", "102", "103"});
  EXPECT_EQ(View(remote.data(), Len(remote), false), std::string(kRemoteView) + '\0');
  // The text stays for as many copies as the host wants.
  std::string again(kRemoteView.size() + 1, '\x7f');
  EXPECT_EQ(gate.GetViewStr(again.data()), 1);
  EXPECT_EQ(again, std::string(kRemoteView) + '\0');
  EXPECT_EQ(gate.GetViewStr(nullptr), 0);
  const std::string own = OwnBlock(QuickAddress({2}));
  EXPECT_EQ(View(own.data(), Len(own), true), std::string(kOwnView) + '\0');
  EXPECT_EQ(View(own.data(), 100, true), std::string(kShortBlock) + '\0');
  EXPECT_EQ(View(remote.data(), 0, false), std::string(1, '\0')) << "a remote address of size 0: the NUL alone";
  EXPECT_TRUE(core.Errors().empty());
}

// An address read as parameters and built back from them, as a host does it.
TEST_F(EditExports, StructuredAddressReadsAndBuildsAddresses) {
  std::int32_t size = 4242;
  TParamList host_list{};
  EXPECT_EQ(gate.StructuredAddress(2, &size, &size, &host_list), nullptr) << "mode 2 before any mode 1";
  EXPECT_EQ(size, 4242);
  EXPECT_EQ(gate.StructuredAddress(4, nullptr, &size, &host_list), nullptr);
  EXPECT_EQ(gate.StructuredAddress(-1, nullptr, &size, &host_list), nullptr);

  // Mode 0 then 3: a block as the gate's parameter list.
  store::TMdmAddress addr = QuickAddress({1, 3});
  addr.IdCl = 77;
  const std::string block = RemoteBlock(addr, {"101", "102"});
  size = Len(block);
  auto* list = static_cast<TParamList*>(gate.StructuredAddress(0, const_cast<char*>(block.data()), &size, &host_list));
  ASSERT_NE(list, nullptr);
  // The list's names and order are the address list's (tested with it).
  ASSERT_EQ(list->Count, 10);
  EXPECT_EQ(host::ItemName(*list->Items[7]), "IdCl");
  EXPECT_EQ(list->Items[7]->Value, 77);
  EXPECT_EQ(host::ItemBytes(*list->Items[8]), "1010000000000000");
  EXPECT_EQ(host::ItemBytes(*list->Items[9]), "101\r\n102");
  EXPECT_EQ(gate.StructuredAddress(3, nullptr, nullptr, &host_list), &host_list);

  // Mode 1 then 2: the host's own list as a block.
  TParamList* mine = host::NewParamList();
  host::AddParamListItem(*mine, host::NewScalarItem("IdCl", PARAM_INT32, 5));
  host::AddParamListItem(*mine, host::NewBytesItem("UseComPorts", PARAM_TEXT, "01", 2));
  host::AddParamListItem(*mine, host::NewBytesItem("PhonesList", PARAM_TEXT, "7\r\n\r\n8\n", 7));
  size = 0;
  EXPECT_EQ(gate.StructuredAddress(1, nullptr, &size, mine), mine);
  ASSERT_EQ(size, 168 + 4 + 2 * 100);
  // A buffer larger than the block: only the block is copied.
  std::string built(static_cast<std::size_t>(size) + 16, '\x55');
  std::int32_t asked = size + 16;
  EXPECT_EQ(gate.StructuredAddress(2, built.data(), &asked, mine), mine);
  EXPECT_EQ(built.substr(static_cast<std::size_t>(size)), std::string(16, '\x55'));
  built.resize(static_cast<std::size_t>(size));
  store::TMdmAddress expected = store::DefaultAddress();
  expected.IdCl = 5;
  expected.UseComPorts[1] = 1;
  EXPECT_EQ(built, RemoteBlock(expected, {"7", "8"}));
  EXPECT_EQ(gate.StructuredAddress(2, built.data(), &size, mine), nullptr) << "the built block was handed over";

  // A list no block can be made of: 0 and the error line, nothing thrown.
  host::AddParamListItem(*mine, host::NewBytesItem("PhonesList", PARAM_TEXT, std::string(101, '1').data(), 101));
  size = 9;
  EXPECT_EQ(gate.StructuredAddress(1, nullptr, &size, mine), nullptr);
  EXPECT_EQ(size, 9);
  const auto errors = core.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text.rfind(std::string(kStructuredError), 0), 0u) << errors[0].text;
  host::DestroyParamList(*mine);
  host::FreeParamList(mine);
}

TEST_F(EditExports, NilOutArgumentsAreRefusedAndWithoutAManagerEveryExportButTheMonitorAnswersZero) {
  EXPECT_EQ(gate.ViewAddrGate(nullptr, 0, 0, nullptr), 0);
  EXPECT_EQ(gate.EditGateSetting(nullptr, 0, nullptr, 0), 0);
  const auto errors = core.Errors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].text, std::string("MDMGATE.ViewAddrGate:(Ошибка EMdmGateError:(TextLen is nil))"_cp));
  EXPECT_EQ(errors[1].text, std::string("MDMGATE.EditGateSetting:(Ошибка EMdmGateError:(NewSize is nil))"_cp));

  ASSERT_EQ(gate.StopTransmit(0), 1);  // destroys the manager
  core.ClearLines();
  const std::string own = OwnBlock(QuickAddress({1}));
  std::int32_t out = -7;
  char buffer[32];
  std::memset(buffer, 'x', sizeof buffer);
  TParamList list{};
  EXPECT_EQ(gate.EditAddrGate(own.data(), Len(own), 1, &out, 0), 0);
  EXPECT_EQ(gate.GetGateData(buffer), 0);
  EXPECT_EQ(gate.ViewAddrGate(own.data(), Len(own), 1, &out), 0);
  EXPECT_EQ(gate.GetViewStr(buffer), 0);
  for (std::int32_t mode = 0; mode <= 3; ++mode)
    EXPECT_EQ(gate.StructuredAddress(mode, buffer, &out, &list), nullptr) << "mode " << mode;
  EXPECT_EQ(gate.EditGateSetting(nullptr, 0, &out, 1), 0);
  EXPECT_EQ(gate.GetGateSetting(buffer), 0);
  EXPECT_EQ(gate.AdjustmentGate(1, buffer, &out, buffer), 0);
  EXPECT_EQ(out, -7) << "out-arguments untouched";
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'x'));
  EXPECT_TRUE(core.Lines().empty());
}

// ---- The dialogs, on the Qt backend ----

class EditDialogs : public EditExports {
 protected:
  void SetUp() override {
    EditExports::SetUp();
    TQtUi::SetUp();
  }
  void TearDown() override { TQtUi::TearDown(); }
  forms::testing::TOperator& Op() { return TQtUi::Operator(); }
};

TEST_F(EditDialogs, ConfirmedAddressIsHandedOverOnceToABufferAndACancelledOneKeepsItsSize) {
  Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.FormName(), "TfmInAddr");
    EXPECT_TRUE(f.Type("edSelfId", "17"));
    EXPECT_TRUE(f.Click("btnOK"));
  });
  std::int32_t new_size = -1;
  ASSERT_EQ(gate.EditAddrGate(nullptr, 0, 1, &new_size, 1), 1);
  ASSERT_EQ(new_size, 168);
  EXPECT_EQ(gate.GetGateData(nullptr), 0) << "a nil buffer keeps the block";
  std::string got(168, '\0');
  ASSERT_EQ(gate.GetGateData(got.data()), 1);
  store::TMdmAddress expected = store::DefaultAddress();
  expected.IdCl = 17;
  EXPECT_EQ(got, OwnBlock(expected));
  EXPECT_EQ(gate.GetGateData(got.data()), 0) << "handed over once";

  const std::string block = RemoteBlock(QuickAddress({1}), {"101"});
  Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.FormName(), "TfmOutAddr");
    EXPECT_TRUE(f.Type("edIdCl", "99"));
    EXPECT_TRUE(f.Click("btnCancel"));
  });
  EXPECT_EQ(gate.EditAddrGate(block.data(), Len(block), 0, &new_size, 0), 0);
  EXPECT_EQ(new_size, Len(block));
  EXPECT_EQ(gate.GetGateData(got.data()), 0) << "nothing is held";
  EXPECT_TRUE(core.Errors().empty());
}

TEST_F(EditDialogs, GateSettingsEditedAndCancelled) {
  const std::string block = SettingsBlock({ChannelOn(3)}, false);
  Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.FormName(), "TfmMdmGtSettings");
    EXPECT_EQ(f.Items("lvChannels"), std::vector<std::string>{"COM3: line3"});
    EXPECT_TRUE(f.Click("chbxShowProgress"));
    EXPECT_TRUE(f.Click("btnOk"));
  });
  std::int32_t new_size = -1;
  ASSERT_EQ(gate.EditGateSetting(block.data(), Len(block), &new_size, 1), 1);
  ASSERT_EQ(new_size, Len(block));
  EXPECT_EQ(gate.GetGateSetting(nullptr), 0);
  std::string got(block.size(), '\0');
  ASSERT_EQ(gate.GetGateSetting(got.data()), 1);
  EXPECT_EQ(got, SettingsBlock({ChannelOn(3)}, true));
  EXPECT_EQ(gate.GetGateSetting(got.data()), 0);

  Op().Expect([](TFormDriver& f) { EXPECT_TRUE(f.Click("btnCancel")); });
  new_size = -1;
  EXPECT_EQ(gate.EditGateSetting(block.data(), Len(block), &new_size, 0), 0);
  EXPECT_EQ(new_size, Len(block));
}

}  // namespace
}  // namespace kestrel::testing
