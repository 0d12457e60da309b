// TfmOutAddr: the remote address dialog. The party's client identifier,
// phone numbers (edited in TfmPhoneNumbers), dialling mode, retries and
// time-outs, and the COM ports the gate may send from (TfmMdmAopt).
//
// Use: create, Init with the stored block (the 168-byte record and the
// phone section, or empty for a new address), ShowModal; after mrOk
// ResultBlock holds the new block. An existing address confirmed without a
// change ends as mrCancel; confirming the phone dialog or the port chooser
// counts as a change. A field that does not convert keeps the focus when
// left; an OK with one (or with a retry count below 1) shows the message and
// keeps the dialog open; Отмена and the close box always close.
//
// A damaged phone section opens with no numbers after the message "Неверные
// данные адреса, взятые из базы"; a non-empty block shorter than the record
// opens as a new address after the same message.
//
// Closing sets the process-wide time separator to ':'. The user-interface
// thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/forms/Controls.h"
#include "platform/forms/Form.h"
#include "store/MdmAddress.h"
#include "ui/AddrControls.h"

namespace kestrel::ui {

class TfmOutAddr : public forms::TForm {
 public:
  TfmOutAddr();

  // `data` may be null when `size` is 0; `unused` has no effect.
  void Init(const void* data, std::int32_t size, bool unused = false);

  const std::string& ResultBlock() const { return result_block_; }
  std::int32_t ResultSize() const { return result_size_; }

  store::TMdmAddress Addr;
  std::vector<std::string> Phones;
  bool IsNewAddr = true;
  bool ListsChanged = false;

  forms::TGroupBox grbxAddr;
  forms::TEdit edIdCl;
  forms::TPanel pnlPhoneNumbers;
  forms::TEdit edPhoneNumbers;
  forms::TButton btnPhoneNumbers;
  forms::TComboBox cmbxDialType;
  forms::TEdit edRestoreConnTries;
  forms::TMaskEdit medRestoreConnTimeOut;
  forms::TMaskEdit medDialTimeOut;
  forms::TMaskEdit medRestoreConnAfterBreakTimeOut;
  TAddrTailControls Tail;  // time-outs, ports, OK and Отмена

 protected:
  void FormShow() override;
  bool FormCloseQuery() override;

 private:
  void EditPhones();
  bool Unchanged() const;
  // Converts every field into Addr in order; throws at the first that fails.
  void StoreFields();

  std::string result_block_;
  std::int32_t result_size_ = 0;
};

}  // namespace kestrel::ui
