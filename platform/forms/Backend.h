// What a forms backend implements: native peers for forms and controls, and
// message boxes. The forms layer (Form.h, Controls.h) is the only caller;
// dialog code never sees a peer.
//
// Texts crossing this interface are Windows-1251 std::strings; a backend
// converts them for its toolkit. Names are ASCII and unique within a form:
// backends give them to their widgets so that tests and tools can find them.
//
// Threads: everything runs on the thread that drives the user interface (the
// first thread that used the backend). Sink calls are made on that thread,
// from inside RunModal or a message box, never from a backend's own thread.
//
// Exceptions: a backend reports failure (no display, wrong thread) by
// throwing std::runtime_error from CreateForm, CreateControl and
// ShowMessage; the forms layer turns it into EFormsError. A backend never
// lets an exception out of a sink call: the sinks do not throw.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/forms/FormTypes.h"

namespace kestrel::forms {

// Raised when a backend built against another version of this interface is
// found: the loader compares it before using anything else.
inline constexpr std::uint32_t kBackendAbi = 2;

// Calls from a peer into the forms layer. None of them throws.
class TControlSink {
 public:
  // The operator pressed a button or toggled a check box.
  virtual void PeerClicked() {}
  // The operator changed the text, the chosen item or the selected row.
  // Never called for changes made through the peer's setters.
  virtual void PeerChanged() {}
  // The operator is about to move the focus away from this control to
  // another control of the same form (a mouse press on it, Tab, Shift+Tab).
  // False keeps the focus here and cancels what would have moved it (the
  // press or the key is dropped). Not called when the whole window loses the
  // focus (a message box, another window).
  virtual bool PeerExitQuery() { return true; }
  // Forms only: the operator asked to close the window (close box, Escape).
  virtual void PeerCloseRequest() {}

 protected:
  ~TControlSink() = default;
};

// Calls from a timer peer. Never throws.
class TTimerSink {
 public:
  virtual void PeerTimer() = 0;

 protected:
  ~TTimerSink() = default;
};

// A repeating timer of the toolkit's event loop; it fires on the
// user-interface thread while that thread handles its events. Disabled when
// made.
class TTimerPeer {
 public:
  virtual ~TTimerPeer() = default;
  virtual void SetInterval(std::uint32_t ms) = 0;
  virtual void SetEnabled(bool enabled) = 0;
};

// What a backend needs to make a control.
struct TControlDesc {
  TControlKind kind = TControlKind::kPanel;
  std::string name;     // ASCII: "btnOK", "edIdCl"; the form's class name for forms
  std::string caption;  // title, button text, label text, a list view's column caption
  std::string label;    // the row label in a kFields container; "" for none
  TLayout layout = TLayout::kColumn;  // containers and forms
  TAlign align = TAlign::kFill;       // containers and forms
};

// One native control. The forms layer calls only the members that suit the
// control's kind; the others keep their do-nothing defaults.
class TControlPeer {
 public:
  virtual ~TControlPeer() = default;

  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
  virtual void SetFocus() = 0;
  virtual bool Focused() const = 0;
  // A preferred size in average characters and text lines (0: the backend's choice).
  virtual void SetSizeHint(int chars, int lines) = 0;

  // Title of a form or group box, text of a label, button or check box.
  virtual void SetCaption(const std::string&) {}
  virtual std::string Caption() const { return {}; }
  // Edit, mask edit, memo. A memo's lines are separated by "\n". A mask
  // edit's text is what was typed with unfilled positions left out.
  virtual void SetText(const std::string&) {}
  virtual std::string Text() const { return {}; }
  virtual void SetReadOnly(bool) {}
  // Check box.
  virtual void SetChecked(bool) {}
  virtual bool Checked() const { return false; }
  // Combo box and list view: the items, and the chosen item or selected row
  // (-1: none). Setting the items clears the choice.
  virtual void SetItems(const std::vector<std::string>&) {}
  virtual void SetItemIndex(int) {}
  virtual int ItemIndex() const { return -1; }
  // Button: pressed by Enter anywhere in the form except in a memo.
  virtual void SetDefault(bool) {}
  // Button: whether a mouse press gives it the focus (it always takes the
  // focus by Tab). One that does not is pressed without the focused control
  // being asked to let the focus go.
  virtual void SetFocusOnClick(bool) {}
};

class TFormPeer : public TControlPeer {
 public:
  // `owner` is the peer of the owner form, or null.
  virtual void SetPosition(TFormPosition position, TFormPeer* owner) = 0;
  // Shows the form modally and returns once EndModal was called. The
  // operator's actions arrive as sink calls meanwhile.
  virtual void RunModal() = 0;
  // Hides the form and lets RunModal return. May be called from a sink call.
  virtual void EndModal() = 0;

  // Shows the form without a modal loop and returns at once; a form already
  // shown comes to the front. The close box then calls PeerCloseRequest, and
  // the form stays until Hide. Throws std::runtime_error when the backend
  // cannot show forms that way.
  virtual void ShowModeless() { throw std::runtime_error("this forms backend shows forms modally only"); }
  virtual void Hide() {}
  virtual bool Visible() const { return false; }
};

class TBackend {
 public:
  virtual ~TBackend() = default;

  virtual std::string_view Name() const = 0;
  // Makes sure the toolkit runs (creates its application object when the
  // host has none). Throws std::runtime_error when it cannot.
  virtual void Start() = 0;
  // `sink` outlives the peer. Throws std::runtime_error when the toolkit
  // cannot run.
  virtual std::unique_ptr<TFormPeer> CreateForm(const TControlDesc& desc, TControlSink& sink) = 0;
  // `parent` is a form or container peer of the same form; the control goes
  // after its earlier children.
  virtual std::unique_ptr<TControlPeer> CreateControl(TControlPeer& parent, const TControlDesc& desc,
                                                      TControlSink& sink) = 0;
  // A modal message box with one OK button; returns when it was closed.
  // An empty caption lets the backend choose one from the kind.
  virtual void ShowMessage(TMsgKind kind, const std::string& caption, const std::string& text) = 0;

  // ---- The toolkit's event loop (modeless forms and timers) ----
  // Any thread: queues `call` to run later on the user-interface thread from
  // the toolkit's event loop. False, queuing nothing, when the toolkit has no
  // application yet.
  virtual bool PostToUiThread(std::function<void()> call) {
    (void)call;
    return false;
  }
  // Any thread: forgets every call queued with PostToUiThread that has not
  // run yet (a module that queued them is about to be unloaded).
  virtual void DropPosted() {}
  // User-interface thread: handles the toolkit's events for up to `wait_ms`
  // (0: only those pending). False at once without an application.
  virtual bool ProcessEvents(std::uint32_t wait_ms) {
    (void)wait_ms;
    return false;
  }
  // A timer; null when the backend has none (a form then refreshes only
  // when asked). `sink` outlives the peer.
  virtual std::unique_ptr<TTimerPeer> CreateTimer(TTimerSink& sink) {
    (void)sink;
    return nullptr;
  }
};

}  // namespace kestrel::forms
