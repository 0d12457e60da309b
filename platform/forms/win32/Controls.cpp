// The Win32 peers of the control kinds: system controls (BUTTON, STATIC,
// COMBOBOX, EDIT, the list view) made as children of the form, each with
// its size from its texts and the font's dialog units.
#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <stdexcept>

#include "platform/forms/win32/Peers.h"
#include "platform/forms/win32/Text.h"
#include "platform/forms/win32/TimeField.h"

namespace kestrel::forms::win32 {
namespace {

// A list view's own message to itself: its selection changed (the system
// reports a move as two changes; the operator made one).
constexpr UINT kSelectionSettled = WM_APP + 0x41;

std::wstring WindowText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = ::GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return text;
}

std::wstring ClipboardText(HWND owner) {
  std::wstring text;
  if (!::OpenClipboard(owner)) return text;
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
      text = chars;
      ::GlobalUnlock(data);
    }
  }
  ::CloseClipboard();
  return text;
}

bool IsLeftPress(unsigned m) { return m == WM_LBUTTONDOWN || m == WM_LBUTTONDBLCLK; }
bool IsRightPress(unsigned m) { return m == WM_RBUTTONDOWN || m == WM_RBUTTONDBLCLK; }

// The TControlPeer members every control kind has.
class TLeaf : public TControlPeer, public TWinPeer {
 public:
  TLeaf(TWinContainer& parent, const TControlDesc& desc, TControlSink& sink)
      : TWinPeer(parent.ContainerForm(), desc.kind, desc.name, &sink) {}

  void SetEnabled(bool enabled) override { EnableTree(enabled); }
  bool Enabled() const override { return hwnd_ != nullptr && ::IsWindowEnabled(hwnd_); }
  void SetFocus() override { form_.Focus(this); }
  bool Focused() const override { return hwnd_ != nullptr && ::GetFocus() == hwnd_; }
  void SetSizeHint(int chars, int lines) override {
    hint_chars_ = chars;
    hint_lines_ = lines;
  }

 protected:
  // Sets a title, label or button text; the form makes room for it when
  // the text needs more than it has (a count that changes with every key
  // typed elsewhere moves nothing).
  void SetTitle(const std::string& text) {
    if (hwnd_ == nullptr) return;
    ::SetWindowTextW(hwnd_, Widen(text).c_str());
    Measure(Metrics());
    if (node_.preferred.w > node_.rect.w || node_.preferred.h > node_.rect.h) form_.Relayout();
  }
  std::string Title() const { return hwnd_ != nullptr ? Narrow(WindowText(hwnd_)) : std::string(); }
  void SelectAll() const { ::SendMessageW(hwnd_, EM_SETSEL, 0, -1); }
};

// A panel (no window of its own) or a group box (a frame with a title that
// lies behind the controls it holds).
class TContainerPeer final : public TLeaf, public TWinContainer {
 public:
  TContainerPeer(TWinContainer& parent, const TControlDesc& desc, TControlSink& sink) : TLeaf(parent, desc, sink) {
    node_.container = true;
    node_.layout = desc.layout;
    node_.align = desc.align;
    if (desc.kind == TControlKind::kGroupBox) MakeWindow(L"BUTTON", BS_GROUPBOX, 0, Widen(desc.caption));
    MakeLabel(desc.label);
  }
  TWinForm& ContainerForm() override { return form_; }
  TLayoutNode& ContainerNode() override { return node_; }
  // A container disabled disables what it holds, and enabling it enables them all.
  void EnableTree(bool enabled) override {
    TWinPeer::EnableTree(enabled);
    for (TWinPeer* child : children_) child->EnableTree(enabled);
  }
  bool Enabled() const override { return hwnd_ == nullptr || ::IsWindowEnabled(hwnd_); }
  void SetCaption(const std::string& caption) override { SetTitle(caption); }
  std::string Caption() const override { return Title(); }
  void Measure(const TMetrics& m) override {
    SetLabelNode(m);
    node_.preferred = {hint_chars_ * m.char_w, hint_lines_ * m.line_h};
    if (hwnd_ == nullptr) {
      node_.insets = {};
      return;
    }
    // The title sits on the frame's top line; the children start below it.
    const bool titled = ::GetWindowTextLengthW(hwnd_) > 0;
    const int top = (titled ? m.line_h : m.line_h / 2) + m.DluY(4);
    node_.insets = {m.DluX(6), top, m.DluX(6), m.DluY(6)};
    // The title is not cut: the frame is at least as wide as it with its
    // corners.
    if (titled) node_.preferred.w = std::max(node_.preferred.w, TextExtent(WindowText(hwnd_)).w + 2 * m.DluX(8));
  }
};

class TLabelPeer final : public TLeaf {
 public:
  TLabelPeer(TWinContainer& parent, const TControlDesc& desc, TControlSink& sink) : TLeaf(parent, desc, sink) {
    MakeWindow(L"STATIC", SS_LEFT | SS_NOPREFIX, 0, Widen(desc.caption));
    MakeLabel(desc.label);
  }
  void SetCaption(const std::string& caption) override { SetTitle(caption); }
  std::string Caption() const override { return Title(); }
  void Measure(const TMetrics& m) override {
    SetLabelNode(m);
    node_.preferred = TextExtent(WindowText(hwnd_));
    node_.preferred.w = std::max(node_.preferred.w, hint_chars_ * m.char_w);
  }
};

class TButtonPeer final : public TLeaf {
 public:
  TButtonPeer(TWinContainer& parent, const TControlDesc& desc, TControlSink& sink) : TLeaf(parent, desc, sink) {
    MakeWindow(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0, Widen(desc.caption));
    MakeLabel(desc.label);
  }
  void SetCaption(const std::string& caption) override { SetTitle(caption); }
  std::string Caption() const override { return Title(); }
  void SetDefault(bool is_default) override {
    ::SendMessageW(hwnd_, BM_SETSTYLE, is_default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    form_.SetDefaultButton(this, is_default);
  }
  void SetFocusOnClick(bool takes_focus) override { focus_on_click_ = takes_focus; }

  void Measure(const TMetrics& m) override {
    SetLabelNode(m);
    // A button given a width keeps it: the small "..." buttons beside fields.
    const int text = TextExtent(WindowText(hwnd_)).w;
    const int w = hint_chars_ > 0 ? hint_chars_ * m.char_w + m.DluX(6) : std::max(m.DluX(50), text + m.DluX(10));
    node_.preferred = {w, hint_lines_ > 0 ? hint_lines_ * m.line_h + m.DluY(6) : m.DluY(14)};
  }
  bool TabStop() const override { return true; }
  bool FocusOnPress(unsigned press) const override { return focus_on_click_ && IsLeftPress(press); }
  void Command(int code) override {
    if (code == BN_CLICKED) Signal(&TControlSink::PeerClicked);
  }
  void Press() override { NotifyPressed(); }

  // A button that takes no focus on a click follows the mouse itself: the
  // system's button would take the focus with the press.
  bool Handle(unsigned message, std::uintptr_t, std::intptr_t lparam, std::intptr_t& result) override {
    if (focus_on_click_) return false;
    const POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    switch (message) {
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        tracking_ = true;
        ::SetCapture(hwnd_);
        ::SendMessageW(hwnd_, BM_SETSTATE, TRUE, 0);
        return Done(result);
      case WM_MOUSEMOVE:
        if (!tracking_) return false;
        ::SendMessageW(hwnd_, BM_SETSTATE, ::PtInRect(&client, at) ? TRUE : FALSE, 0);
        return Done(result);
      case WM_LBUTTONUP: {
        if (!tracking_) return false;
        const bool inside = ::PtInRect(&client, at) != FALSE;
        tracking_ = false;
        ::ReleaseCapture();
        ::SendMessageW(hwnd_, BM_SETSTATE, FALSE, 0);
        if (inside) NotifyPressed();
        return Done(result);
      }
      case WM_CAPTURECHANGED:
        if (tracking_) {
          tracking_ = false;
          ::SendMessageW(hwnd_, BM_SETSTATE, FALSE, 0);
        }
        return false;
      default:
        return false;
    }
  }

 private:
  static bool Done(std::intptr_t& result) {
    result = 0;
    return true;
  }
  // Tells the form as a system button tells its dialog that it was pressed,
  // so that whatever watches the dialog's commands sees every press.
  void NotifyPressed() const {
    const int id = ::GetDlgCtrlID(hwnd_);
    ::SendMessageW(::GetParent(hwnd_), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(hwnd_));
  }
  bool focus_on_click_ = true;
  bool tracking_ = false;
};

class TCheckBoxPeer final : public TLeaf {
 public:
  TCheckBoxPeer(TWinContainer& parent, const TControlDesc& desc, TControlSink& sink) : TLeaf(parent, desc, sink) {
    MakeWindow(L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0, Widen(desc.caption));
    MakeLabel(desc.label);
  }
  void SetCaption(const std::string& caption) override { SetTitle(caption); }
  std::string Caption() const override { return Title(); }
  void SetChecked(bool checked) override {
    ::SendMessageW(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  bool Checked() const override { return ::SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void Measure(const TMetrics& m) override {
    SetLabelNode(m);
    const TSize text = TextExtent(WindowText(hwnd_));
    node_.preferred = {::GetSystemMetrics(SM_CXMENUCHECK) + m.DluX(4) + text.w, std::max(m.DluY(10), text.h)};
  }
  bool TabStop() const override { return true; }
  void Command(int code) override {
    if (code == BN_CLICKED) Signal(&TControlSink::PeerClicked);
  }
};

class TComboBoxPeer final : public TLeaf {
 public:
  TComboBoxPeer(TWinContainer& parent, const TControlDesc& desc, TControlSink& sink) : TLeaf(parent, desc, sink) {
    MakeWindow(L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, L"");
    MakeLabel(desc.label);
  }
  void SetItems(const std::vector<std::string>& items) override {
    ::SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
    widest_ = 0;
    for (const std::string& item : items) {
      const std::wstring text = Widen(item);
      ::SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
      widest_ = std::max(widest_, TextExtent(text).w);
    }
    count_ = static_cast<int>(items.size());
    chosen_ = -1;
  }
  void SetItemIndex(int index) override {
    ::SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    chosen_ = ItemIndex();
  }
  int ItemIndex() const override {
    const LRESULT index = ::SendMessageW(hwnd_, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
  }
  void Measure(const TMetrics& m) override {
    SetLabelNode(m);
    // The system keeps a drop-down list's window as high as its closed box.
    RECT box{};
    ::GetWindowRect(hwnd_, &box);
    const int text = std::max(widest_, 8 * m.char_w);
    node_.preferred = {text + ::GetSystemMetrics(SM_CXVSCROLL) + m.DluX(8), static_cast<int>(box.bottom - box.top)};
    node_.grow_x = true;
  }
  void Place() override {
    TWinPeer::Place();
    // The height given beyond the box is the height of the open list.
    const int item = static_cast<int>(::SendMessageW(hwnd_, CB_GETITEMHEIGHT, 0, 0));
    const TRect& r = node_.rect;
    ::MoveWindow(hwnd_, r.x, r.y, r.w, r.h + std::clamp(count_, 1, 12) * std::max(item, 1) + 2, TRUE);
  }
  bool TabStop() const override { return true; }
  bool KeepsKey(unsigned) const override { return ::SendMessageW(hwnd_, CB_GETDROPPEDSTATE, 0, 0) != FALSE; }
  void Command(int code) override {
    // Walking an open list is not a choice yet; closing it is.
    if (code == CBN_CLOSEUP || (code == CBN_SELCHANGE && !KeepsKey(VK_RETURN))) {
      const int index = ItemIndex();
      if (index == chosen_) return;
      chosen_ = index;
      Signal(&TControlSink::PeerChanged);
    }
  }

 private:
  int widest_ = 0;
  int count_ = 0;
  int chosen_ = -1;  // the item the sink last heard of
};

// A one-line field; with `time_mask` the time field "99:99:99", whose
// positions the peer edits itself (TimeField.h).
class TEditPeer final : public TLeaf {
 public:
  TEditPeer(TWinContainer& parent, const TControlDesc& desc, TControlSink& sink, bool time_mask)
      : TLeaf(parent, desc, sink), time_mask_(time_mask) {
    MakeWindow(L"EDIT", ES_AUTOHSCROLL | ES_LEFT | WS_TABSTOP, WS_EX_CLIENTEDGE,
               time_mask_ ? Widen(field_.Shown()) : std::wstring());
    MakeLabel(desc.label);
  }
  void SetText(const std::string& text) override {
    setting_ = true;
    if (time_mask_) field_.SetText(text);
    ::SetWindowTextW(hwnd_, Widen(time_mask_ ? field_.Shown() : text).c_str());
    setting_ = false;
    // A text longer than the field shows its beginning.
    ::SendMessageW(hwnd_, EM_SETSEL, 0, 0);
  }
  std::string Text() const override { return time_mask_ ? field_.Text() : Narrow(WindowText(hwnd_)); }
  void SetReadOnly(bool read_only) override { ::SendMessageW(hwnd_, EM_SETREADONLY, read_only ? TRUE : FALSE, 0); }

  void Measure(const TMetrics& m) override {
    SetLabelNode(m);
    const int chars = hint_chars_ > 0 ? hint_chars_ : time_mask_ ? 10 : 20;
    node_.preferred = {chars * m.char_w + m.DluX(4) + 2 * ::GetSystemMetrics(SM_CXEDGE), m.DluY(14)};
    node_.grow_x = true;
  }
  bool TabStop() const override { return true; }
  bool FocusOnPress(unsigned press) const override { return IsLeftPress(press) || IsRightPress(press); }
  void TabbedIn() override { SelectAll(); }
  void Command(int code) override {
    if (code == EN_CHANGE && !setting_ && !time_mask_) Signal(&TControlSink::PeerChanged);
  }
  bool Handle(unsigned message, std::uintptr_t wparam, std::intptr_t, std::intptr_t& result) override {
    if (message == WM_CHAR && wparam == 1) {  // Ctrl+A
      SelectAll();
      result = 0;
      return true;
    }
    return time_mask_ && HandleMask(message, wparam, result);
  }

 private:
  // What the operator's keys and the edit commands do to the time field.
  bool HandleMask(unsigned message, std::uintptr_t wparam, std::intptr_t& result) {
    DWORD from = 0, to = 0;
    ::SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    const int f = static_cast<int>(from), t = static_cast<int>(to);
    result = 0;
    switch (message) {
      case WM_CHAR:
        if (wparam == 0x03) return false;  // Ctrl+C: the edit copies
        if (wparam == 0x16) return Edit(field_.Paste(f, t, Narrow(ClipboardText(hwnd_))));
        if (wparam == 0x18) return Cut(f, t);
        if (wparam == L'\b') return Edit(field_.Erase(f, t, false));
        if (wparam >= 0x20 && wparam < 0x80) return Edit(field_.Type(f, t, static_cast<char>(wparam)));
        return true;  // nothing else is typed into a time field
      case WM_KEYDOWN:
        if (wparam != VK_DELETE) return false;
        return Edit(field_.Erase(f, t, true));
      case WM_PASTE:
        return Edit(field_.Paste(f, t, Narrow(ClipboardText(hwnd_))));
      case WM_CUT:
        return Cut(f, t);
      case WM_CLEAR:
        return Edit(field_.Erase(f, t, true));
      case WM_UNDO:
      case EM_UNDO:
        return true;
      default:
        return false;
    }
  }
  bool Cut(int from, int to) {
    if (from == to) return true;
    ::SendMessageW(hwnd_, WM_COPY, 0, 0);
    return Edit(field_.Erase(from, to, false));
  }
  // Shows the field after an edit that left the caret at `caret`.
  bool Edit(int caret) {
    const std::wstring shown = Widen(field_.Shown());
    if (shown != WindowText(hwnd_)) {
      setting_ = true;
      ::SetWindowTextW(hwnd_, shown.c_str());
      setting_ = false;
      ::SendMessageW(hwnd_, EM_SETSEL, static_cast<WPARAM>(caret), caret);
      Signal(&TControlSink::PeerChanged);
    } else {
      ::SendMessageW(hwnd_, EM_SETSEL, static_cast<WPARAM>(caret), caret);
    }
    return true;
  }

  bool time_mask_;
  bool setting_ = false;
  TTimeField field_;
};

class TMemoPeer final : public TLeaf {
 public:
  TMemoPeer(TWinContainer& parent, const TControlDesc& desc, TControlSink& sink) : TLeaf(parent, desc, sink) {
    MakeWindow(L"EDIT",
               ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP,
               WS_EX_CLIENTEDGE, L"");
    ::SendMessageW(hwnd_, EM_SETLIMITTEXT, 0, 0);
    MakeLabel(desc.label);
  }
  void SetText(const std::string& text) override {
    std::wstring shown;
    for (const wchar_t c : Widen(text)) {
      if (c == L'\n') shown += L'\r';
      shown += c;
    }
    setting_ = true;
    ::SetWindowTextW(hwnd_, shown.c_str());
    setting_ = false;
  }
  std::string Text() const override {
    std::wstring text;
    for (const wchar_t c : WindowText(hwnd_))
      if (c != L'\r') text += c;
    return Narrow(text);
  }
  void SetReadOnly(bool read_only) override { ::SendMessageW(hwnd_, EM_SETREADONLY, read_only ? TRUE : FALSE, 0); }
  void Measure(const TMetrics& m) override {
    SetLabelNode(m);
    const int chars = hint_chars_ > 0 ? hint_chars_ : 30;
    const int lines = hint_lines_ > 0 ? hint_lines_ : 5;
    const int edges = 2 * ::GetSystemMetrics(SM_CXEDGE) + m.DluX(2);
    node_.preferred = {chars * m.char_w + ::GetSystemMetrics(SM_CXVSCROLL) + edges,
                       lines * m.line_h + ::GetSystemMetrics(SM_CYHSCROLL) + edges};
    node_.grow_x = node_.grow_y = true;
  }
  bool TabStop() const override { return true; }
  bool FocusOnPress(unsigned press) const override { return IsLeftPress(press) || IsRightPress(press); }
  bool KeepsKey(unsigned key) const override { return key == VK_RETURN; }
  void Command(int code) override {
    if (code == EN_CHANGE && !setting_) Signal(&TControlSink::PeerChanged);
  }
  bool Handle(unsigned message, std::uintptr_t wparam, std::intptr_t, std::intptr_t& result) override {
    if (message != WM_CHAR || wparam != 1) return false;  // Ctrl+A
    SelectAll();
    result = 0;
    return true;
  }

 private:
  bool setting_ = false;
};

class TListViewPeer final : public TLeaf {
 public:
  TListViewPeer(TWinContainer& parent, const TControlDesc& desc, TControlSink& sink) : TLeaf(parent, desc, sink) {
    MakeWindow(WC_LISTVIEWW, LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP,
               WS_EX_CLIENTEDGE, L"");
    const DWORD extended = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
    ::SendMessageW(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    column_caption_ = Widen(desc.caption);
    std::wstring caption = column_caption_;
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = 100;
    column.pszText = caption.data();
    ::SendMessageW(hwnd_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    MeasureRow();
    MakeLabel(desc.label);
  }
  void SetItems(const std::vector<std::string>& items) override {
    setting_ = true;
    ::SendMessageW(hwnd_, LVM_DELETEALLITEMS, 0, 0);
    for (std::size_t i = 0; i < items.size(); ++i) {
      std::wstring text = Widen(items[i]);
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(i);
      item.pszText = text.data();
      ::SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    setting_ = false;
    selected_ = -1;
    FitColumn();
  }
  void SetItemIndex(int index) override {
    setting_ = true;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    const int count = static_cast<int>(::SendMessageW(hwnd_, LVM_GETITEMCOUNT, 0, 0));
    if (index >= 0 && index < count) {
      state.state = LVIS_SELECTED | LVIS_FOCUSED;
      ::SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
      ::SendMessageW(hwnd_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
    }
    setting_ = false;
    selected_ = ItemIndex();
  }
  int ItemIndex() const override {
    return static_cast<int>(::SendMessageW(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  }
  void Measure(const TMetrics& m) override {
    SetLabelNode(m);
    const int chars = hint_chars_ > 0 ? hint_chars_ : 20;
    const int lines = hint_lines_ > 0 ? hint_lines_ : 6;
    const int edges = 2 * ::GetSystemMetrics(SM_CXEDGE);
    // The column's caption is not cut, even beside a scroll bar.
    const int text = std::max(chars * m.char_w, TextExtent(column_caption_).w + m.DluX(8));
    node_.preferred = {text + ::GetSystemMetrics(SM_CXVSCROLL) + edges, header_h_ + lines * row_h_ + edges};
    node_.grow_x = node_.grow_y = true;
  }
  void Place() override {
    TWinPeer::Place();
    FitColumn();
  }
  bool TabStop() const override { return true; }
  bool FocusOnPress(unsigned press) const override { return IsLeftPress(press) || IsRightPress(press); }
  void Notify(const void* header) override {
    const auto* change = static_cast<const NMLISTVIEW*>(header);
    if (change->hdr.code != LVN_ITEMCHANGED || setting_ || pending_) return;
    if ((change->uChanged & LVIF_STATE) == 0 || ((change->uOldState ^ change->uNewState) & LVIS_SELECTED) == 0) return;
    pending_ = ::PostMessageW(hwnd_, kSelectionSettled, 0, 0) != FALSE;
  }
  bool Handle(unsigned message, std::uintptr_t, std::intptr_t, std::intptr_t& result) override {
    if (message != kSelectionSettled) return false;
    pending_ = false;
    result = 0;
    const int index = ItemIndex();
    if (index != selected_) {
      selected_ = index;
      Signal(&TControlSink::PeerChanged);
    }
    return true;
  }

 private:
  // The one column takes the width the list leaves (less a scroll bar when shown).
  void FitColumn() { ::SendMessageW(hwnd_, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER); }
  // The header's and a row's height, from a row put in and taken out again.
  void MeasureRow() {
    setting_ = true;
    if (HWND header = reinterpret_cast<HWND>(::SendMessageW(hwnd_, LVM_GETHEADER, 0, 0))) {
      RECT area{0, 0, 1000, 1000};
      WINDOWPOS pos{};
      HDLAYOUT layout{&area, &pos};
      if (::SendMessageW(header, HDM_LAYOUT, 0, reinterpret_cast<LPARAM>(&layout))) header_h_ = pos.cy;
    }
    wchar_t probe[] = L"Ag";
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.pszText = probe;
    ::SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    RECT row{};
    row.left = LVIR_BOUNDS;
    if (::SendMessageW(hwnd_, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row))) row_h_ = row.bottom - row.top;
    ::SendMessageW(hwnd_, LVM_DELETEALLITEMS, 0, 0);
    setting_ = false;
    const int line = Metrics().line_h;
    if (header_h_ <= 0) header_h_ = line + 6;
    if (row_h_ <= 0) row_h_ = line + 4;
  }

  std::wstring column_caption_;
  bool setting_ = false;
  bool pending_ = false;
  int selected_ = -1;  // the row the sink last heard of
  int header_h_ = 0;
  int row_h_ = 0;
};

}  // namespace

std::unique_ptr<TControlPeer> MakeControlPeer(TWinContainer& parent, const TControlDesc& desc, TControlSink& sink) {
  std::unique_ptr<TLeaf> peer;
  switch (desc.kind) {
    case TControlKind::kPanel:
    case TControlKind::kGroupBox:
      peer = std::make_unique<TContainerPeer>(parent, desc, sink);
      break;
    case TControlKind::kLabel:
      peer = std::make_unique<TLabelPeer>(parent, desc, sink);
      break;
    case TControlKind::kButton:
      peer = std::make_unique<TButtonPeer>(parent, desc, sink);
      break;
    case TControlKind::kCheckBox:
      peer = std::make_unique<TCheckBoxPeer>(parent, desc, sink);
      break;
    case TControlKind::kComboBox:
      peer = std::make_unique<TComboBoxPeer>(parent, desc, sink);
      break;
    case TControlKind::kEdit:
      peer = std::make_unique<TEditPeer>(parent, desc, sink, false);
      break;
    case TControlKind::kMaskEdit:
      peer = std::make_unique<TEditPeer>(parent, desc, sink, true);
      break;
    case TControlKind::kMemo:
      peer = std::make_unique<TMemoPeer>(parent, desc, sink);
      break;
    case TControlKind::kListView:
      peer = std::make_unique<TListViewPeer>(parent, desc, sink);
      break;
  }
  if (!peer) throw std::runtime_error("Kestrel forms (Win32): unknown control kind for " + desc.name);
  parent.Adopt(peer.get());
  return peer;
}

}  // namespace kestrel::forms::win32
