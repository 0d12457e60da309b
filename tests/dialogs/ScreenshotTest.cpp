// Pictures of every dialog as the Qt backend draws it, with Russian texts,
// saved where ScreenshotPath (tests/forms/Operator.h) says; each must come
// out as a PNG file.
#include "tests/dialogs/DialogTest.h"
#include "ui/mdm_aopt.h"
#include "ui/mdm_gopt.h"
#include "ui/mdm_gset.h"
#include "ui/mdm_iadr.h"
#include "ui/mdm_oadr.h"
#include "ui/mdm_phop.h"

namespace kestrel::ui::testing {
namespace {

using forms::testing::TQtUi;

class ScreenshotTest : public ::testing::Test {
 protected:
  void SetUp() override { TQtUi::SetUp(); }
  void TearDown() override { TQtUi::TearDown(); }

  // Shows `dialog`, saves its picture as `name`.png and closes it.
  static void Shoot(forms::TForm& dialog, const std::string& name, const TScript& prepare = {}) {
    const std::string path = forms::testing::ScreenshotPath(name);
    TQtUi::Operator().Expect([&](TFormDriver& f) {
      if (prepare) prepare(f);
      EXPECT_TRUE(f.SaveImage(path));
      f.CloseBox();
    });
    dialog.ShowModal();
    EXPECT_TRUE(forms::testing::IsPngFile(path)) << path;
  }
};

TEST_F(ScreenshotTest, EveryDialog) {
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

}  // namespace
}  // namespace kestrel::ui::testing
