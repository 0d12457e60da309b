// TfmPhoneNumbers: the remote party's phone numbers, one per line of a
// multi-line field, with a count of the lines above it.
//
// Use: create, SetPhones, ShowModal; after mrOk read Phones(). An OK is
// refused, with a message naming the number, while a line holds a number
// longer than the 100 characters a stored entry has room for: a number is
// never cut. The characters of a number are not restricted otherwise.
//
// The user-interface thread only.
#pragma once

#include <string>
#include <vector>

#include "platform/forms/Controls.h"
#include "platform/forms/Form.h"

namespace kestrel::ui {

class TfmPhoneNumbers : public forms::TForm {
 public:
  explicit TfmPhoneNumbers(forms::TForm* owner = nullptr);

  // One number per line; the count label follows.
  void SetPhones(const std::vector<std::string>& phones);
  // The lines as typed, without those that are empty once trimmed.
  std::vector<std::string> Phones() const;

  forms::TGroupBox grbxPhones;
  forms::TLabel lblNumPhoneNumbers;
  forms::TMemo memPhoneNumbers;
  forms::TPanel pnlButtons;
  forms::TButton btnOK;
  forms::TButton btnCancel;

 protected:
  bool FormCloseQuery() override;

 private:
  void ShowCount();
};

// "Задано телефонных номеров: <count>".
std::string PhoneCountText(std::size_t count);

}  // namespace kestrel::ui
