// The one-line texts of an address block (Windows-1251), as the host's lists
// show them (abbreviated, Full = false) and as the address dialogs and the
// detailed log lines show them (Full = true).
//
//   own address:     Порты:COM2
//   remote address:  Тел:(101;...) Порты:(COM1;...)
//
// None of them throws: an exception while a text is built becomes the text
// itself, "<class name>: <message>". Pure functions: thread-safe, no I/O.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrel::ui {

// "Порты:" + PortsViewText of the record's ports. A block shorter than the
// 168-byte record (or a null `data`) gives "Переданный блок памяти имеет
// размер меньше минимального для TMdmAddress".
std::string OwnAddrViewText(const void* data, std::int32_t size, bool full);

// "Тел:" + PhonesViewText + " Порты:" + PortsViewText. A phone section that
// is present but malformed gives "(ошибка в структуре тел-ов)" in place of
// "Тел:..."; the ports follow all the same. Size 0 or below (or a null
// `data`) gives ""; 1..167 the short-block text of OwnAddrViewText.
std::string RemoteAddrViewText(const void* data, std::int32_t size, bool full);

// The ports whose flag is non-zero, COM1..COM16: none "(не заданы)"; one
// "COM3"; several "(COM1;...)" abbreviated, "(COM1; COM3; COM7)" in full.
std::string PortsViewText(std::span<const std::uint8_t, 16> ports, bool full);

// The numbers, each trimmed of surrounding blanks: none "(не заданы)"; one the
// number alone; several "(101;...)" abbreviated, "(101; 102; 103)" in full.
std::string PhonesViewText(const std::vector<std::string>& phones, bool full);

}  // namespace kestrel::ui
