// What the configuration dialogs share: the free-port flags and the
// arithmetic between ports and list items, the texts their fields show for
// stored values, and the checks made when the operator leaves a field.
//
// Pure functions apart from the field checks, which show a message box.
// Texts are Windows-1251.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "gate/common/MdmTypes.h"
#include "platform/forms/Controls.h"

namespace kestrel::ui {

// One flag per port, COM1 (index 0) to COM16.
using TPortFlags = std::array<bool, gate::kPortCount>;

// The item of port `port` (1..16) in a list of the ports whose flag is set,
// in ascending order: the number of set flags among ports 1..port, less
// one. -1 when the port is below 1, above 16 or not in the list.
int PortItemIndex(const TPortFlags& in_list, int port);

// The port of item `item` of that list: walking ports 1 to 16, the port at
// which the count of set flags reaches item + 1. 0 when there is none.
int PortOfItem(const TPortFlags& in_list, int item);

// The lowest port whose flag is set, 0 when none is.
int LowestSetPort(const TPortFlags& flags);

// The flags of a stored port list (UseComPorts): a non-zero byte is set.
TPortFlags PortFlagsOf(const std::uint8_t (&ports)[gate::kPortCount]);
// Stores flags back as 1 and 0.
void StorePortFlags(const TPortFlags& flags, std::uint8_t (&ports)[gate::kPortCount]);

// A client identifier as its field shows it: decimal, or "" when negative.
std::string IdFieldText(std::int32_t id);
// The "hh:mm:ss" of a stored time span's time of day.
std::string TimeSpanText(double span);
// A time field's text as a stored time span. Throws forms::EConvertError.
double TimeSpanOfText(const std::string& text);

// Leaving the field requires its text to be a decimal integer (and, with
// `min_value`, at least that): otherwise the conversion message (or "Значение
// поля должно быть больше 0") is shown and the focus stays.
void CheckIntegerOnExit(forms::TEdit& field);
void CheckPositiveIntegerOnExit(forms::TEdit& field);
// Leaving the field requires its text to be a time of day.
void CheckTimeOnExit(forms::TMaskEdit& field);

// "Значение поля должно быть больше 0".
std::string MustBePositiveText();

}  // namespace kestrel::ui
