#include "platform/forms/Controls.h"

#include "platform/forms/Form.h"
#include "platform/forms/HandlerGuard.h"

namespace kestrel::forms {
namespace {

TControlDesc MakeDesc(TControlKind kind, std::string name, std::string caption, std::string label = {}) {
  TControlDesc s;
  s.kind = kind;
  s.name = std::move(name);
  s.caption = std::move(caption);
  s.label = std::move(label);
  return s;
}

void Fire(const std::function<void()>& handler) {
  if (handler) RunGuarded(handler);
}

}  // namespace

TButton::TButton(TContainer& parent, std::string name, std::string caption, TModalResult modal_result)
    : TControl(parent, MakeDesc(TControlKind::kButton, std::move(name), std::move(caption))),
      modal_result_(modal_result) {}

std::string TButton::Caption() const { return Peer().Caption(); }
void TButton::SetCaption(const std::string& caption) { Peer().SetCaption(caption); }
void TButton::SetDefault(bool is_default) { Peer().SetDefault(is_default); }
void TButton::SetFocusOnClick(bool takes_focus) { Peer().SetFocusOnClick(takes_focus); }

void TButton::PeerClicked() {
  Fire(OnClick);
  if (modal_result_ != TModalResult::mrNone) RunGuarded([this] { Form().RequestClose(modal_result_); });
}

TCheckBox::TCheckBox(TContainer& parent, std::string name, std::string caption)
    : TControl(parent, MakeDesc(TControlKind::kCheckBox, std::move(name), std::move(caption))) {}

bool TCheckBox::Checked() const { return Peer().Checked(); }
void TCheckBox::SetChecked(bool checked) { Peer().SetChecked(checked); }
void TCheckBox::PeerClicked() { Fire(OnClick); }

TComboBox::TComboBox(TContainer& parent, std::string name, std::string label)
    : TControl(parent, MakeDesc(TControlKind::kComboBox, std::move(name), {}, std::move(label))) {}

void TComboBox::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  Peer().SetItems(items_);
}

int TComboBox::ItemIndex() const { return Peer().ItemIndex(); }

void TComboBox::SetItemIndex(int index) {
  Peer().SetItemIndex(index >= 0 && index < static_cast<int>(items_.size()) ? index : -1);
}

void TComboBox::PeerChanged() { Fire(OnChange); }

TEdit::TEdit(TContainer& parent, std::string name, std::string label)
    : TControl(parent, MakeDesc(TControlKind::kEdit, std::move(name), {}, std::move(label))) {}

std::string TEdit::Text() const { return Peer().Text(); }
void TEdit::SetText(const std::string& text) { Peer().SetText(text); }
void TEdit::SetReadOnly(bool read_only) { Peer().SetReadOnly(read_only); }
void TEdit::PeerChanged() { Fire(OnChange); }

TMaskEdit::TMaskEdit(TContainer& parent, std::string name, std::string label)
    : TControl(parent, MakeDesc(TControlKind::kMaskEdit, std::move(name), {}, std::move(label))) {}

std::string TMaskEdit::Text() const { return Peer().Text(); }
void TMaskEdit::SetText(const std::string& text) { Peer().SetText(text); }
void TMaskEdit::PeerChanged() { Fire(OnChange); }

TMemo::TMemo(TContainer& parent, std::string name, std::string label)
    : TControl(parent, MakeDesc(TControlKind::kMemo, std::move(name), {}, std::move(label))) {}

std::vector<std::string> TMemo::Lines() const { return SplitLines(Peer().Text()); }

void TMemo::SetLines(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  Peer().SetText(text);
}

std::string TMemo::Text() const { return Peer().Text(); }
void TMemo::SetReadOnly(bool read_only) { Peer().SetReadOnly(read_only); }
void TMemo::PeerChanged() { Fire(OnChange); }

TListView::TListView(TContainer& parent, std::string name, std::string column_caption)
    : TControl(parent, MakeDesc(TControlKind::kListView, std::move(name), std::move(column_caption))) {}

void TListView::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  Peer().SetItems(items_);
}

int TListView::ItemIndex() const { return Peer().ItemIndex(); }

void TListView::SetItemIndex(int index) {
  Peer().SetItemIndex(index >= 0 && index < static_cast<int>(items_.size()) ? index : -1);
}

void TListView::PeerChanged() { Fire(OnChange); }

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(line));
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

}  // namespace kestrel::forms
