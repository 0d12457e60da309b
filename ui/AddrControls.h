// What the two address dialogs (TfmInAddr, TfmOutAddr) share: the controls
// they end with, and the reading and writing of the address record.
//
// The user-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/forms/Controls.h"
#include "platform/forms/Form.h"
#include "store/MdmAddress.h"

namespace kestrel::ui {

// The controls an address dialog ends with, made in this order after the
// dialog's own fields: the two time-outs every address has, the row of COM
// ports with its chooser (read-only text, "..." button), and the OK and
// Отмена buttons below the group. The chooser's button is wired here.
class TAddrTailControls {
 public:
  // `ports_label` names the ports' use ("Порты для слушания", "Порты для
  // посылки"); `addr` is the dialog's address, whose ports the chooser
  // changes, calling `on_ports_chosen` when the operator confirmed it.
  TAddrTailControls(forms::TForm& form, forms::TGroupBox& group, std::string ports_label, store::TMdmAddress& addr,
                    std::function<void()> on_ports_chosen);

  // Shows the time-outs and ports of the address.
  void Show();
  // Whether the time-out fields still show the address's values.
  bool TimesUnchanged() const;
  // Stores the time-out fields into the address; throws forms::EConvertError.
  void StoreTimes();

  forms::TMaskEdit medDataWaitTimeOut;
  forms::TMaskEdit medStayOnLineTimeOut;
  forms::TPanel pnlUseComPorts;
  forms::TEdit edUseComPorts;
  forms::TButton btnUseComPorts;
  forms::TPanel pnlButtons;
  forms::TButton btnOK;
  forms::TButton btnCancel;

 private:
  void ChoosePorts();

  forms::TForm& form_;
  store::TMdmAddress& addr_;
  std::function<void()> on_ports_chosen_;
};

// How a stored block's record was read.
enum class TRecordRead : std::uint8_t {
  kNew,      // an empty block: a new address
  kRead,     // the 168-byte record was read
  kDamaged,  // a non-empty block shorter than the record (or null)
};

// Reads the record at the start of a stored block into `addr`; the default
// address when it is new or damaged. Nothing past the block is read.
TRecordRead ReadAddressRecord(const void* data, std::int32_t size, store::TMdmAddress& addr);

// The message a damaged stored address shows: "Неверные данные адреса,
// взятые из базы".
std::string DamagedAddressText();

// The record of `addr` followed by `rest` (the phone section of a remote address).
std::string AddressBlock(const store::TMdmAddress& addr, std::string_view rest = {});

}  // namespace kestrel::ui
