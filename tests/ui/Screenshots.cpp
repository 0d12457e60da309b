// Draws the pictures of the README: every dialog and the monitor window as
// the forms backend shows them (Qt offscreen, or Win32 under Wine), with
// Russian texts, as PNG files in $KESTREL_SCREENSHOT_DIR (scripts/screenshots
// sets it to docs/ or docs/windows/). Not a test: nothing here is checked
// but that each picture was written.
#include <filesystem>

#include "host/OnlineGateMonitorForm.h"
#include "host/ProcessList.h"
#include "tests/host/MonitorGate.h"
#include "tests/ui/DialogTest.h"
#include "ui/mdm_aopt.h"
#include "ui/mdm_gopt.h"
#include "ui/mdm_gset.h"
#include "ui/mdm_iadr.h"
#include "ui/mdm_oadr.h"
#include "ui/mdm_phop.h"

namespace kestrel::ui::testing {
namespace {

using forms::testing::TUi;

std::string PicturePath(const std::string& name) {
  const char* dir = std::getenv("KESTREL_SCREENSHOT_DIR");
  if (dir == nullptr || *dir == '\0') ADD_FAILURE() << "KESTREL_SCREENSHOT_DIR names no folder";
  std::filesystem::create_directories(dir != nullptr ? dir : ".");
  return (std::filesystem::path(dir != nullptr ? dir : ".") / (name + ".png")).string();
}

class Pictures : public forms::testing::UiTest {
 protected:
  // Shows `dialog`, saves its picture as `name`.png and closes it.
  static void Shoot(forms::TForm& dialog, const std::string& name, const TScript& prepare = {}) {
    Op().Expect([&](TFormDriver& f) {
      if (prepare) prepare(f);
      EXPECT_TRUE(f.SaveImage(PicturePath(name))) << name;
      f.CloseBox();
    });
    dialog.ShowModal();
  }
};

TEST_F(Pictures, Dialogs) {
  const std::string_view first = "Модем 1 (внешний)"_cp, second = "Модем 2"_cp, spare = "Резервный"_cp;
  TfmMdmGtSettings settings;
  Open(settings, SettingsBlock({Channel(1, std::string(first)), Channel(3, std::string(second)),
                                Channel(4, std::string(spare))}, true));
  Shoot(settings, "dialog-gate-settings");

  TfmMdmGOpt channel;
  channel.Channel = Channel(3, std::string(second));
  channel.FreePorts = AllPortsBut({1});
  Shoot(channel, "dialog-channel");

  store::TMdmAddress own = store::DefaultAddress();
  own.IdCl = 1001;
  own.UseComPorts[0] = own.UseComPorts[2] = 1;
  TfmInAddr own_address;
  Open(own_address, OwnBlock(own));
  Shoot(own_address, "dialog-own-address");

  store::TMdmAddress remote = store::DefaultAddress();
  remote.IdCl = 2040;
  remote.DialPhoneType = gate::TDialType::dtDialTone;
  remote.UseComPorts[0] = remote.UseComPorts[1] = 1;
  TfmOutAddr remote_address;
  Open(remote_address, RemoteBlock(remote, {"8 (495) 123-45-67", "8 (495) 123-45-68"}));
  Shoot(remote_address, "dialog-remote-address");

  TfmPhoneNumbers phones;
  phones.SetPhones({"8 (495) 123-45-67", "8 (495) 123-45-68", "101"});
  Shoot(phones, "dialog-phone-numbers");

  TfmMdmAopt chooser;
  chooser.Ports[0] = chooser.Ports[2] = true;
  Shoot(chooser, "dialog-port-chooser", [](TFormDriver& f) { f.Select("lvAllChannels", 2); });
}

TEST_F(Pictures, Monitor) {
  host::TMonitorGate gate;
  gate.Set(0, std::string("Модем 1"_cp), host::TChannelActivity::kConnected, 0x0000000A);
  gate.Set(1, std::string("Модем 2"_cp), host::TChannelActivity::kListening, 0x00000003);
  gate.Set(2, std::string("Модем 3"_cp), host::TChannelActivity::kSending, 0x0000000B);
  gate.Set(4, std::string("Резерв"_cp), host::TChannelActivity::kIdle, 0);
  for (const char* line : {"[$00004F21] MDMGATE.StartListen:(Начало функции)",
                           "[$00004F21] MDMGATE.StartListen:(Конец функции)  Return: $00000003",
                           "[$00004F30] TML[$00000003].DoOnTwoMdmConnected:(Канал COM1 соединен)",
                           "[$00004F21] MDMGATE.StartTransmit:(Начало функции)",
                           "[$00004F44] TME[$0000000B].Connect:(Набор номера 101)"})
    gate.Log(text::Utf8ToCp1251(line));
  const KHandle listening = gate.ProcessList->AddListener(std::make_unique<host::TIdleListener>(&gate));
  host::TOnlineGateMonitorFormEx form;
  form.GateManager = &gate;
  form.FormCreate(&form);
  form.SetCaption(std::string("Монитор модемного шлюза"_cp));
  form.Show();
  const auto windows = TUi::Windows(form.Name());
  EXPECT_TRUE(windows.size() == 1 && windows[0]->SaveImage(PicturePath("monitor")));
  form.Hide();
  EXPECT_TRUE(gate.ProcessList->StopListen(listening));
}

}  // namespace
}  // namespace kestrel::ui::testing
