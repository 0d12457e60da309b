// Pictures of every dialog as the Qt backend draws it, with Russian texts.
// They go to $KESTREL_SCREENSHOT_DIR when it is set (docs/ of the
// repository keeps the ones shown in the README), else to a temporary
// directory; each must come out as a PNG file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/Cp1251.h"
#include "tests/dialogs/Blocks.h"
#include "tests/forms/Operator.h"
#include "ui/mdm_aopt.h"
#include "ui/mdm_gopt.h"
#include "ui/mdm_gset.h"
#include "ui/mdm_iadr.h"
#include "ui/mdm_oadr.h"
#include "ui/mdm_phop.h"

namespace kestrel::ui {
namespace {

using namespace kestrel::literals;
using forms::testing::TFormDriver;
using forms::testing::TQtUi;
using testing::ChannelOn;

class ScreenshotTest : public ::testing::Test {
 protected:
  void SetUp() override { TQtUi::SetUp(); }
  void TearDown() override { TQtUi::TearDown(); }

  static std::filesystem::path Dir() {
    if (const char* dir = std::getenv("KESTREL_SCREENSHOT_DIR"); dir != nullptr && *dir != '\0') return dir;
    auto dir = std::filesystem::temp_directory_path() / "kestrel-dialog-shots";
    std::filesystem::create_directories(dir);
    return dir;
  }

  // Queues a script that saves the form's picture as `name`.png and closes it.
  void Shoot(const std::string& name, const std::function<void(TFormDriver&)>& prepare = {}) {
    path_ = Dir() / (name + ".png");
    std::filesystem::remove(path_);
    TQtUi::Operator().Expect([this, prepare](TFormDriver& f) {
      if (prepare) prepare(f);
      EXPECT_TRUE(f.SaveImage(path_.string()));
      f.CloseBox();
    });
  }

  void ExpectPng() {
    std::ifstream file(path_, std::ios::binary);
    char magic[8] = {};
    file.read(magic, sizeof magic);
    EXPECT_EQ(std::string(magic + 1, 3), "PNG") << path_;
  }

  std::filesystem::path path_;
};

TEST_F(ScreenshotTest, GateSettingsDialog) {
  const std::string_view first = "Модем 1 (внешний)"_cp, second = "Модем 2"_cp, spare = "Резервный"_cp;
  const std::string block = testing::SettingsBlock({ChannelOn(1, std::string(first)),
                                                    ChannelOn(3, std::string(second)), ChannelOn(4, std::string(spare))});
  TfmMdmGtSettings dialog;
  dialog.Init(block.data(), static_cast<std::int32_t>(block.size()), false);
  Shoot("dialog-gate-settings");
  dialog.ShowModal();
  ExpectPng();
}

TEST_F(ScreenshotTest, ChannelDialog) {
  TfmMdmGOpt dialog;
  dialog.Channel = ChannelOn(3, std::string("Модем 2"_cp));
  dialog.FreePorts.fill(true);
  dialog.FreePorts[0] = false;
  Shoot("dialog-channel");
  dialog.ShowModal();
  ExpectPng();
}

TEST_F(ScreenshotTest, OwnAddressDialog) {
  store::TMdmAddress addr = store::DefaultAddress();
  addr.IdCl = 1001;
  addr.UseComPorts[0] = addr.UseComPorts[2] = 1;
  const std::string block = testing::AddressBlock(addr);
  TfmInAddr dialog;
  dialog.Init(block.data(), static_cast<std::int32_t>(block.size()));
  Shoot("dialog-own-address");
  dialog.ShowModal();
  ExpectPng();
}

TEST_F(ScreenshotTest, RemoteAddressDialog) {
  store::TMdmAddress addr = store::DefaultAddress();
  addr.IdCl = 2040;
  addr.DialPhoneType = gate::TDialType::dtDialTone;
  addr.UseComPorts[0] = addr.UseComPorts[1] = 1;
  const std::string block = testing::AddressBlock(addr, {"8 (495) 123-45-67", "8 (495) 123-45-68"});
  TfmOutAddr dialog;
  dialog.Init(block.data(), static_cast<std::int32_t>(block.size()));
  Shoot("dialog-remote-address");
  dialog.ShowModal();
  ExpectPng();
}

TEST_F(ScreenshotTest, PhoneNumbersDialog) {
  TfmPhoneNumbers dialog;
  dialog.SetPhones({"8 (495) 123-45-67", "8 (495) 123-45-68", "101"});
  Shoot("dialog-phone-numbers");
  dialog.ShowModal();
  ExpectPng();
}

TEST_F(ScreenshotTest, PortChooser) {
  TfmMdmAopt chooser;
  chooser.Ports[0] = chooser.Ports[2] = true;
  Shoot("dialog-port-chooser", [](TFormDriver& f) { f.Select("lvAllChannels", 2); });
  chooser.ShowModal();
  ExpectPng();
}

}  // namespace
}  // namespace kestrel::ui
