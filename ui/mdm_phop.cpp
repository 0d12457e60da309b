#include "ui/mdm_phop.h"

#include "platform/Cp1251.h"
#include "platform/forms/Application.h"
#include "store/MdmAddress.h"
#include "store/ParamListError.h"

namespace kestrel::ui {

using namespace kestrel::literals;
using forms::TAlign;
using forms::TLayout;
using forms::TModalResult;

std::string PhoneCountText(std::size_t count) {
  return std::string("Задано телефонных номеров: "_cp) + std::to_string(count);
}

TfmPhoneNumbers::TfmPhoneNumbers(forms::TForm* owner)
    : TForm("TfmPhoneNumbers", owner),
      grbxPhones(*this, "grbxPhones", {}, TLayout::kColumn),
      lblNumPhoneNumbers(grbxPhones, "lblNumPhoneNumbers", PhoneCountText(0)),
      memPhoneNumbers(grbxPhones, "memPhoneNumbers"),
      pnlButtons(*this, "pnlButtons", TLayout::kRow, TAlign::kEnd),
      btnOK(pnlButtons, "btnOK", "OK", TModalResult::mrOk),
      btnCancel(pnlButtons, "btnCancel", std::string("Отмена"_cp), TModalResult::mrCancel) {
  SetCaption(std::string("Телефоны получателя"_cp));
  SetPosition(forms::TFormPosition::kMainFormCentre);
  memPhoneNumbers.SetSizeHint(32, 8);
  btnCancel.SetFocusOnClick(false);
  memPhoneNumbers.OnChange = [this] { ShowCount(); };
}

void TfmPhoneNumbers::ShowCount() { lblNumPhoneNumbers.SetCaption(PhoneCountText(memPhoneNumbers.Lines().size())); }

void TfmPhoneNumbers::SetPhones(const std::vector<std::string>& phones) {
  memPhoneNumbers.SetLines(phones);
  // The label tells what the field holds from the start, not only after typing.
  ShowCount();
}

std::vector<std::string> TfmPhoneNumbers::Phones() const {
  std::vector<std::string> phones = memPhoneNumbers.Lines();
  for (auto i = phones.size(); i-- > 0;)
    if (store::TrimBlanks(phones[i]).empty()) phones.erase(phones.begin() + static_cast<std::ptrdiff_t>(i));
  return phones;
}

bool TfmPhoneNumbers::FormCloseQuery() {
  if (ModalResult() != TModalResult::mrOk) return true;
  // The stored entry has room for 100 characters; the rule of what fits is
  // the phone section's own.
  for (const auto& phone : Phones()) {
    try {
      (void)store::EncodePhones({phone});
    } catch (const store::EParamListError&) {
      forms::ShowMessage(std::string("Номер телефона длиннее 100 символов и не может быть сохранен:\r\n"_cp) +
                         std::string(store::TrimBlanks(phone)));
      return false;
    }
  }
  return true;
}

}  // namespace kestrel::ui
