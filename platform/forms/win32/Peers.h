// The Win32 peers of the forms layer: one class per control kind, and the
// form, a top-level window whose controls are all its direct children
// (panels have no window, a group box is a frame behind its controls), so
// that the focus, the Tab order and the painting need no nesting.
//
// Each control window is subclassed: the keys a dialog operator expects
// (Tab, Shift+Tab, Enter for the default button, Escape to close) and the
// mouse presses that would move the focus go through the form first, which
// asks the control losing the focus (TControlSink::PeerExitQuery). This
// works in any message loop: the form's own modal one, a message box's,
// and the host's, which runs a modeless form.
//
// For tools and tests in the same process, every control window carries
// the property "Kestrel.Name" (a const char* to the control's ASCII name,
// valid while the window lives); a form's window class is the form's name.
//
// The thread that made a form only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/forms/Backend.h"
#include "platform/forms/win32/Layout.h"

struct HWND__;
struct HFONT__;
struct HINSTANCE__;

namespace kestrel::forms::win32 {

using THwnd = HWND__*;

inline constexpr wchar_t kNameProperty[] = L"Kestrel.Name";

// The system's message font and the distances derived from its dialog units
// (a quarter of the average character width, an eighth of its height), so
// that every size follows the font and the screen's DPI.
struct TMetrics {
  HFONT__* font = nullptr;
  int char_w = 6;
  int line_h = 13;
  int DluX(int dlu) const { return (dlu * char_w + 2) / 4; }
  int DluY(int dlu) const { return (dlu * line_h + 4) / 8; }
  TSpacing Spacing() const;
};
// Made at the first call (any thread); lives as long as the process.
const TMetrics& Metrics();
// The size of `text` (lines split at '\n') in the metrics' font.
TSize TextExtent(const std::wstring& text);

class TWinForm;
class TWinContainer;
class TWinPeer;

// The peer of a control window of this backend, or null.
TWinPeer* PeerOfWindow(THwnd window);
// The module (this plugin) that owns the backend's window classes.
HINSTANCE__* ThisModule();

// A peer inside a form: its window, the window of its label, its node.
class TWinPeer {
 public:
  TWinPeer(TWinForm& form, TControlKind kind, std::string name, TControlSink* sink);
  virtual ~TWinPeer();
  TWinPeer(const TWinPeer&) = delete;
  TWinPeer& operator=(const TWinPeer&) = delete;

  TControlKind Kind() const { return kind_; }
  THwnd Hwnd() const { return hwnd_; }
  TControlSink* Sink() const { return sink_; }
  TWinForm& Form() const { return form_; }
  TLayoutNode& Node() { return node_; }

  // Before a layout: the node's preferred size and label from the texts.
  virtual void Measure(const TMetrics& m) = 0;
  // After a layout: the windows go to the node's rectangles.
  virtual void Place();
  // Takes the focus by Tab; by a press of mouse button message `press`.
  virtual bool TabStop() const { return false; }
  virtual bool FocusOnPress(unsigned press) const;
  // Keeps a key for itself instead of the form's use of it (Enter in a
  // memo, Enter and Escape in an open drop-down list).
  virtual bool KeepsKey(unsigned key) const;
  // The focus came by Tab.
  virtual void TabbedIn() {}
  // Notifications reaching the form's window: a WM_COMMAND code, a WM_NOTIFY.
  virtual void Command(int code) { (void)code; }
  virtual void Notify(const void* header) { (void)header; }
  // The control's own messages, before the default handling; true with
  // `result` when handled.
  virtual bool Handle(unsigned message, std::uintptr_t wparam, std::intptr_t lparam, std::intptr_t& result);

  // A press of the form's default button (Enter).
  virtual void Press() {}

  // Enables or disables the control (a container: with what it holds).
  virtual void EnableTree(bool enabled);
  // Set by the container the peer was put in.
  void SetParent(TWinContainer* parent) { parent_ = parent; }

 protected:
  // Makes the control's window as a child of the form, with the font, the
  // properties and the subclass.
  void MakeWindow(const wchar_t* window_class, unsigned long style, unsigned long ex_style, const std::wstring& text);
  // Makes the window of the label shown beside or above the control.
  void MakeLabel(const std::string& label);
  void SetLabelNode(const TMetrics& m);
  // Signals reach the sink only while the peer is attached.
  void Signal(void (TControlSink::*call)()) const {
    if (sink_ != nullptr) (sink_->*call)();
  }

  TWinForm& form_;
  TControlKind kind_;
  std::string name_;
  TControlSink* sink_;
  THwnd hwnd_ = nullptr;
  THwnd label_ = nullptr;
  TLayoutNode node_;
  TWinContainer* parent_ = nullptr;
  int hint_chars_ = 0;
  int hint_lines_ = 0;
  unsigned refused_press_ = 0;  // the button whose press was refused: its release is dropped too

 private:
  friend std::intptr_t ControlMessage(TWinPeer& peer, unsigned message, std::uintptr_t wparam, std::intptr_t lparam);
};

// Where a container's children go: their nodes join the container's node
// in the order they were made.
class TWinContainer {
 public:
  virtual ~TWinContainer() = default;
  virtual TWinForm& ContainerForm() = 0;
  virtual TLayoutNode& ContainerNode() = 0;
  void Adopt(TWinPeer* child);
  void Release(TWinPeer* child);

 protected:
  std::vector<TWinPeer*> children_;
};

// Makes the peer of a control of `desc.kind` inside `parent`.
std::unique_ptr<TControlPeer> MakeControlPeer(TWinContainer& parent, const TControlDesc& desc, TControlSink& sink);

// A top-level window holding the controls of one form.
class TWinForm final : public TFormPeer, public TWinContainer {
 public:
  TWinForm(const TControlDesc& desc, TControlSink& sink);
  ~TWinForm() override;

  // TControlPeer
  void SetEnabled(bool enabled) override;
  bool Enabled() const override;
  void SetFocus() override;
  bool Focused() const override;
  void SetSizeHint(int chars, int lines) override;
  void SetCaption(const std::string& caption) override;
  std::string Caption() const override;
  // TFormPeer
  void SetPosition(TFormPosition position, TFormPeer* owner) override;
  void RunModal() override;
  void EndModal() override;
  void ShowModeless() override;
  void Hide() override;
  bool Visible() const override;
  // TWinContainer
  TWinForm& ContainerForm() override { return *this; }
  TLayoutNode& ContainerNode() override { return root_; }

  THwnd Hwnd() const { return hwnd_; }
  int NextControlId() { return next_id_++; }
  void Register(TWinPeer* peer);
  void Unregister(TWinPeer* peer);
  void SetDefaultButton(TWinPeer* button, bool is_default);
  // Asks the control holding the focus whether it may go to `target`
  // (null: the form itself). False keeps it there.
  bool MayMoveFocus(TWinPeer* target);
  // Tab and Shift+Tab from `from` (null: from the form itself).
  void Tab(TWinPeer* from, bool backwards);
  void PressDefault();
  void CloseRequest();
  // A control to be focused: now when the form is shown, else when it is.
  void Focus(TWinPeer* peer);
  // Lays the controls out again after a text changed while shown; the
  // window grows when they need more room.
  void Relayout();
  // The form's window procedure's work (exceptions are caught there).
  std::intptr_t Message(unsigned message, std::uintptr_t wparam, std::intptr_t lparam);

 private:
  TWinPeer* PeerOf(THwnd window) const;
  TWinPeer* FocusedPeer() const;
  // Sizes the window to its controls and places them.
  void Layout(bool fit_window);
  void PlaceOnScreen(THwnd around);
  void RestoreFocus();
  // Gives the other windows back and hides the form (once).
  void LeaveModal();

  THwnd hwnd_ = nullptr;
  TControlSink* sink_;
  TLayoutNode root_;
  std::vector<TWinPeer*> peers_;  // creation order: the Tab order
  TWinPeer* default_ = nullptr;
  TWinPeer* focus_ = nullptr;  // the control to focus when the form is activated
  TWinForm* owner_ = nullptr;
  THwnd previous_ = nullptr;       // active before RunModal: active again after it
  std::vector<THwnd> disabled_;   // the windows RunModal disabled
  TSize hint_;
  int next_id_ = 100;
  bool ending_ = false;
  bool modal_ = false;
  bool querying_ = false;
  bool laid_out_ = false;
};

}  // namespace kestrel::forms::win32
