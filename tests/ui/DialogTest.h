// What the dialog tests share: a fixture on the forms backend, and stored
// blocks built from records and read back.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/Cp1251.h"
#include "platform/forms/Form.h"
#include "store/MdmAddress.h"
#include "store/MdmSettings.h"
#include "tests/kit/Blocks.h"
#include "tests/kit/forms/Operator.h"
#include "ui/DialogFields.h"

namespace kestrel::ui::testing {

using namespace kestrel::literals;
using enum forms::TModalResult;
using forms::TModalResult;
using forms::TMsgKind;
using forms::testing::TFormDriver;
using forms::testing::TScript;
using kestrel::testing::OwnBlock;
using kestrel::testing::RemoteBlock;
using kestrel::testing::SettingsBlock;

// Hands `block` to the dialog as the host does.
template <typename Dialog>
void Open(Dialog& dialog, const std::string& block, bool flag = false) {
  dialog.Init(block.data(), static_cast<std::int32_t>(block.size()), flag);
}

// What an address dialog says of an empty identifier.
constexpr const char* kNoInteger = "'' is not a valid integer value";

class DialogTest : public forms::testing::UiTest {
 protected:
  std::vector<std::string> Said() { return Op().MessageTexts(); }
};

// A channel on COM`port` with the default settings and `alias`.
inline store::TMdmChannelSettings Channel(int port, const std::string& alias = {}) {
  store::TMdmChannelSettings c = store::DefaultChannelSettings();
  c.PortNumber = static_cast<gate::TPortNumber>(port);
  (void)store::SetShortText(c.Alias, alias);
  return c;
}

inline bool SameRecord(const store::TMdmChannelSettings& a, const store::TMdmChannelSettings& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// "COM<n>" of each port.
inline std::vector<std::string> Names(std::initializer_list<int> ports) {
  std::vector<std::string> names;
  for (int p : ports) names.push_back("COM" + std::to_string(p));
  return names;
}

inline TPortFlags AllPortsBut(std::initializer_list<int> used) {
  TPortFlags free;
  free.fill(true);
  for (int p : used) free[static_cast<std::size_t>(p - 1)] = false;
  return free;
}

}  // namespace kestrel::ui::testing
