// TfmMdmGOpt: the channel settings dialog. One modem channel of the gate
// settings: its COM port, serial parameters, initialisation string and
// alias, with a connection test that talks to the modem.
//
// The gate settings dialog creates it for New and Edit, fills Channel,
// IsNewChannel and FreePorts, shows it modally and, after mrOk, reads
// Channel back. Channel changes only when the dialog ends with OK; an
// existing channel confirmed without a change ends as mrCancel.
//
// The user-interface thread only. The connection test blocks it until the
// modem answered or its time-outs passed (about 1 s for a silent modem).
#pragma once

#include <string>

#include "platform/forms/Controls.h"
#include "platform/forms/Form.h"
#include "store/MdmSettings.h"
#include "ui/DialogFields.h"

namespace kestrel::ui {

class TfmMdmGOpt : public forms::TForm {
 public:
  // `caption` is shown until the dialog is shown (it then reads "Настройки
  // канала"); `owner` (may be null) is the form it appears over.
  explicit TfmMdmGOpt(forms::TForm* owner = nullptr, const std::string& caption = {});

  store::TMdmChannelSettings Channel;
  bool IsNewChannel = false;
  // The ports the channel may take; its own port is among them.
  TPortFlags FreePorts{};

  forms::TGroupBox grbxModem;
  forms::TComboBox cmbxPort;
  forms::TComboBox cmbxBaudRate;
  forms::TComboBox cmbxDataBits;
  forms::TComboBox cmbxParity;
  forms::TComboBox cmbxStopBits;
  forms::TComboBox cmbxFlowControl;
  forms::TPanel pnlInitString;
  forms::TEdit edInitString;
  forms::TGroupBox grbxAlias;
  forms::TEdit edAlias;
  forms::TPanel pnlButtons;
  forms::TButton btnTestConn;
  forms::TButton btnOK;
  forms::TButton btnCancel;

  // What the controls show, as item indexes (-1: none) and texts.
  struct TShown {
    int port, baud_rate, data_bits, parity, stop_bits, flow_control;
    std::string init_string, alias;
    bool operator==(const TShown&) const = default;
  };
  // The controls' view of a channel record, with the port list of `free_ports`.
  static TShown ShownOf(const store::TMdmChannelSettings& channel, const TPortFlags& free_ports);
  // Writes what the controls show into a record: every chosen item, the
  // first 50 characters of each text. An item of -1 leaves its field.
  static void StoreShown(const TShown& shown, const TPortFlags& free_ports, store::TMdmChannelSettings& channel);

 protected:
  void FormShow() override;
  bool FormCloseQuery() override;

 private:
  TShown Current() const;
  void TestConnection();
};

}  // namespace kestrel::ui
