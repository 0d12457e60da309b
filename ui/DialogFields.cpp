#include "ui/DialogFields.h"

#include "platform/Cp1251.h"
#include "platform/forms/Application.h"
#include "platform/forms/TextConvert.h"
#include "store/MdmAddress.h"

namespace kestrel::ui {

using namespace kestrel::literals;

int PortItemIndex(const TPortFlags& in_list, int port) {
  if (port < 1 || port > gate::kPortCount || !in_list[static_cast<std::size_t>(port - 1)]) return -1;
  int count = 0;
  for (int p = 1; p <= port; ++p)
    if (in_list[static_cast<std::size_t>(p - 1)]) ++count;
  return count - 1;
}

int PortOfItem(const TPortFlags& in_list, int item) {
  if (item < 0) return 0;
  int count = 0;
  for (int p = 1; p <= gate::kPortCount; ++p)
    if (in_list[static_cast<std::size_t>(p - 1)] && ++count == item + 1) return p;
  return 0;
}

int LowestSetPort(const TPortFlags& flags) { return PortOfItem(flags, 0); }

TPortFlags PortFlagsOf(const std::uint8_t (&ports)[gate::kPortCount]) {
  TPortFlags flags{};
  for (std::size_t i = 0; i < flags.size(); ++i) flags[i] = ports[i] != 0;
  return flags;
}

void StorePortFlags(const TPortFlags& flags, std::uint8_t (&ports)[gate::kPortCount]) {
  for (std::size_t i = 0; i < flags.size(); ++i) ports[i] = flags[i] ? 1 : 0;
}

std::string IdFieldText(std::int32_t id) { return id < 0 ? std::string() : std::to_string(id); }

std::string TimeSpanText(double span) { return forms::TimeToText(store::TimeSpanToMs(span)); }

double TimeSpanOfText(const std::string& text) { return store::MsToTimeSpan(forms::StrToTime(text)); }

std::string MustBePositiveText() { return std::string("Значение поля должно быть больше 0"_cp); }

namespace {

// Shows the conversion message of a text that does not convert.
bool Converts(const std::function<void()>& convert) {
  try {
    convert();
    return true;
  } catch (const forms::EConvertError& e) {
    forms::MessageBox(forms::TMsgKind::kError, e.what());
    return false;
  }
}

}  // namespace

void CheckIntegerOnExit(forms::TEdit& field) {
  field.OnExit = [&field] { return Converts([&] { (void)forms::StrToInt(field.Text()); }); };
}

void CheckPositiveIntegerOnExit(forms::TEdit& field) {
  field.OnExit = [&field] {
    std::int32_t value = 0;
    if (!Converts([&] { value = forms::StrToInt(field.Text()); })) return false;
    if (value >= 1) return true;
    forms::ShowMessage(MustBePositiveText());
    return false;
  };
}

void CheckTimeOnExit(forms::TMaskEdit& field) {
  field.OnExit = [&field] { return Converts([&] { (void)forms::StrToTime(field.Text()); }); };
}

}  // namespace kestrel::ui
