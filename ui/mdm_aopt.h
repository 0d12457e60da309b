// TfmMdmAopt: the port chooser of the address dialogs. Two lists, the ports
// not in use on the left and the chosen ones on the right, and two buttons
// that move the selected port across.
//
// Use: create, fill Ports, ShowModal; after mrOk read Ports. There is no
// nothing-changed rule: OK always ends with mrOk.
//
// The user-interface thread only.
#pragma once

#include <cstdint>

#include "platform/forms/Controls.h"
#include "platform/forms/Form.h"
#include "ui/DialogFields.h"

namespace kestrel::ui {

class TfmMdmAopt : public forms::TForm {
 public:
  explicit TfmMdmAopt(forms::TForm* owner = nullptr);

  TPortFlags Ports{};               // the chosen ports
  std::int32_t SelUnusedPort = -1;  // the port to select in the left list after the next refill
  std::int32_t SelUsedPort = -1;    // the same for the right list

  forms::TGroupBox grbxChannels;
  forms::TListView lvAllChannels;
  forms::TPanel pnlMove;
  forms::TButton btnAddChannel;
  forms::TButton btnRemoveChannel;
  forms::TListView lvUsedChannels;
  forms::TPanel pnlButtons;
  forms::TButton btnOK;
  forms::TButton btnCancel;

 protected:
  void FormShow() override { Refill(); }

 private:
  TPortFlags Unused() const;
  void Refill();
  void MoveRight();
  void MoveLeft();
};

}  // namespace kestrel::ui
