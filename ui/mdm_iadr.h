// TfmInAddr: the own address dialog. The gate's own identifier, two
// time-outs, and the COM ports on which it listens (chosen in TfmMdmAopt).
//
// Use: create, Init with the stored block (168 bytes, or empty for a new
// address), ShowModal; after mrOk ResultBlock holds the new 168-byte block.
// Fields without a control keep their stored or default values; bytes after
// the first 168 are dropped. An existing address confirmed without a change
// ends as mrCancel. A field whose text does not convert keeps the focus when
// left, and an OK with such a field shows the conversion message and keeps
// the dialog open; Отмена and the close box always close.
//
// Closing sets the process-wide time separator to ':'. The user-interface
// thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/forms/Controls.h"
#include "platform/forms/Form.h"
#include "store/MdmAddress.h"
#include "ui/AddrControls.h"

namespace kestrel::ui {

class TfmInAddr : public forms::TForm {
 public:
  TfmInAddr();

  // `data` may be null when `size` is 0; `unused` has no effect. A non-empty
  // block shorter than the record opens as a new address after the message
  // "Неверные данные адреса, взятые из базы".
  void Init(const void* data, std::int32_t size, bool unused = false);

  const std::string& ResultBlock() const { return result_block_; }
  std::int32_t ResultSize() const { return result_size_; }

  store::TMdmAddress Addr;
  bool IsNewAddr = true;
  bool PortsChanged = false;

  forms::TGroupBox grbxAddr;
  forms::TEdit edSelfId;
  TAddrTailControls Tail;  // time-outs, ports, OK and Отмена

 protected:
  void FormShow() override;
  bool FormCloseQuery() override;

 private:
  std::string result_block_;
  std::int32_t result_size_ = 0;
};

}  // namespace kestrel::ui
