// TfmMdmGtSettings: the gate settings dialog. The list of modem channels (at
// most one per COM port, always sorted by port) and the switch for the
// data-transfer progress indicator.
//
// Use: create, Init with the stored settings block, ShowModal; after mrOk
// ResultBlock holds the new block (the 104-byte gate record and the channel
// part). The dialog works on copies: the block passed to Init is only read.
// Without AlwaysSave an OK that changed nothing ends as mrCancel.
//
// A damaged stored block (a channel part of the wrong length, a block too
// short for the gate record, channels on ports outside COM1..COM16 or twice
// on one port) opens with what could be read after the message "Неверные
// данные каналов, взятые из базы"; nothing is written unless the operator
// confirms a change.
//
// The user-interface thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/forms/Controls.h"
#include "platform/forms/Form.h"
#include "store/MdmSettings.h"
#include "ui/DialogFields.h"

namespace kestrel::ui {

class TfmMdmGtSettings : public forms::TForm {
 public:
  TfmMdmGtSettings();

  // Reads the stored block (`data` may be null when `size` is 0). Shows the
  // message box above for a damaged block.
  void Init(const void* data, std::int32_t size, bool always_save);

  // The new block after mrOk; before, ResultBlock is empty and ResultSize
  // the size passed to Init.
  const std::string& ResultBlock() const { return result_block_; }
  std::int32_t ResultSize() const { return result_size_; }

  store::TMdmGateSettings GateSettings;
  store::TChannelList ChannelList;  // sorted by PortNumber
  TPortFlags FreePorts{};           // true: no channel uses the port
  bool Modified = false;
  bool AlwaysSave = false;

  forms::TGroupBox grbxChannels;
  forms::TListView lvChannels;
  forms::TPanel pnlChannelButtons;
  forms::TButton btnNew;
  forms::TButton btnEdit;
  forms::TButton btnDelete;
  forms::TCheckBox chbxShowProgress;
  forms::TPanel pnlButtons;
  forms::TButton btnOk;
  forms::TButton btnCancel;

 protected:
  void FormShow() override;
  bool FormCloseQuery() override;

 private:
  void NewChannel();
  void EditChannel();
  void DeleteChannel();
  // Inserts a copy before the first channel on a higher port; returns its position.
  int AddChannel(const store::TMdmChannelSettings& channel);
  void RemoveChannel(int position);
  // Marks a port used or free, then applies the button rule.
  void MarkPort(int port, bool free);
  void ApplyButtonRule();
  // Rebuilds the list and selects `wanted` (below 0: the first; past the end: the last).
  void FillList(int wanted);

  std::string result_block_;
  std::int32_t result_size_ = 0;
};

}  // namespace kestrel::ui
