// A form with one control of every kind, for the forms layer's tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Cp1251.h"
#include "platform/forms/Application.h"
#include "platform/forms/Controls.h"
#include "platform/forms/Form.h"

namespace kestrel::forms::testing {

using namespace kestrel::literals;

class TfmSample : public TForm {
 public:
  explicit TfmSample(TForm* owner = nullptr) : TForm("TfmSample", owner) {
    SetCaption(std::string("Образец"_cp));
    cmbxKind.SetItems({"один"_cp.data(), "два"_cp.data(), "три"_cp.data()});
    btnOK.SetDefault(true);
    cmbxKind.OnChange = [this] { ++combo_changes; };
    lvRows.OnChange = [this] { ++list_changes; };
    btnMore.OnClick = [this] {
      if (on_more) on_more();
    };
  }

  TGroupBox grbxFields{*this, "grbxFields", std::string("Поля"_cp), TLayout::kFields};
  TEdit edName{grbxFields, "edName", std::string("Имя"_cp)};
  TComboBox cmbxKind{grbxFields, "cmbxKind", std::string("Вид"_cp)};
  TCheckBox chbxFlag{*this, "chbxFlag", std::string("Флажок"_cp)};
  TListView lvRows{*this, "lvRows", std::string("Строки"_cp)};
  TPanel pnlButtons{*this, "pnlButtons", TLayout::kRow, TAlign::kEnd};
  TButton btnMore{pnlButtons, "btnMore", std::string("Ещё"_cp)};
  TButton btnOK{pnlButtons, "btnOK", "OK", TModalResult::mrOk};
  TButton btnCancel{pnlButtons, "btnCancel", std::string("Отмена"_cp), TModalResult::mrCancel};

  std::function<void()> on_more;
  bool refuse_close = false;
  std::vector<TModalResult> close_queries;
  int closes = 0;
  int shows = 0;
  int combo_changes = 0;
  int list_changes = 0;

 protected:
  void FormShow() override { ++shows; }
  bool FormCloseQuery() override {
    close_queries.push_back(ModalResult());
    return !refuse_close;
  }
  void FormClose() override { ++closes; }
};

}  // namespace kestrel::forms::testing
