// TOnlineGateMonitorFormEx: the framework's monitor window of a gate. It
// shows the gate's channels with what each is doing (idle, listening,
// calling, connected) and who holds it, the number of running processes,
// and the latest lines of the gate's log (newest first), and refreshes them
// every second while it is visible and once each time it is shown.
//
// A gate derives its own window class from it, sets GateManager in its
// FormCreate before running this one's, and gives the caption in its
// GetLocalRes. The creator runs FormCreate once, right after construction,
// and shows the window modelessly (forms::TForm::Show).
//
// The user-interface thread only. Closing it with the close box only hides
// it. GateManager is not owned and must outlive the window (or be set to
// null first); with null the window says that no gate runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/forms/Controls.h"
#include "platform/forms/Form.h"
#include "platform/forms/Timer.h"

namespace kestrel::host {

class TGateManager;

inline constexpr std::uint32_t kMonitorRefreshMs = 1000;
inline constexpr std::size_t kMonitorLogLines = 40;

class TOnlineGateMonitorFormEx : public forms::TForm {
 public:
  // Builds the controls; `name` is the window's class name. Throws
  // forms::EFormsError without a forms backend.
  explicit TOnlineGateMonitorFormEx(std::string name = "TOnlineGateMonitorFormEx");
  ~TOnlineGateMonitorFormEx() override;

  // The creation handler: builds the display from GateManager (set before),
  // runs GetLocalRes and reads the gate once. `sender` is the form itself.
  virtual void FormCreate(forms::TForm* sender);
  // Sets the window's texts; the base sets its caption "Монитор шлюза" and
  // the group titles. Called by FormCreate.
  virtual void GetLocalRes();

  // Reads the gate again and shows what changed. Nothing while Closing.
  void Refresh();

  TGateManager* GateManager = nullptr;  // not owned
  // Set while the window is being released: it reads the gate no more.
  bool Closing = false;
  // The log lines shown, one text ("\n" between lines); emptied on release.
  std::string Text;

  forms::TGroupBox grbxChannels;
  forms::TListView lvChannels;
  forms::TGroupBox grbxProcesses;
  forms::TLabel lblProcesses;
  forms::TGroupBox grbxLog;
  forms::TMemo memLog;
  forms::TTimer tmRefresh;

 protected:
  // Refreshes and starts the timer whenever the window appears.
  void FormShow() override;
  // Stops the timer while the window is hidden.
  void FormClose() override;

 private:
  std::vector<std::string> channel_rows_;
  std::string processes_text_;
};

}  // namespace kestrel::host
