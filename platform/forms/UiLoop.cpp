#include "platform/forms/UiLoop.h"

#include <exception>
#include <system_error>

#include "platform/MainThread.h"
#include "platform/forms/Application.h"

namespace kestrel::forms {
namespace {

class TBackendLoop final : public platform::TMainThreadLoop {
 public:
  // Queuing allocates and takes the backend's lock (std::bad_alloc,
  // std::system_error): the pump takes the call instead.
  bool Post(std::function<void()> run) override {
    try {
      return CurrentBackend().PostToUiThread(std::move(run));
    } catch (const std::exception&) {
      return false;
    }
  }
  // The handlers the toolkit runs are guarded (RunGuarded); only making its
  // event loop can fail here, and the pump then waits by itself.
  bool ProcessEvents(std::uint32_t wait_ms) override {
    try {
      return CurrentBackend().ProcessEvents(wait_ms);
    } catch (const std::exception&) {
      return false;
    }
  }
};

TBackendLoop& Loop() {
  static TBackendLoop loop;
  return loop;
}

}  // namespace

void InstallUiLoop() {
  // The forms layer's state and the loop are made now, so that they outlive
  // what the module does while it unloads (RemoveUiLoop among it).
  (void)LoadedBackend();
  platform::SetMainThreadLoop(&Loop());
}

void RemoveUiLoop() {
  if (platform::SetMainThreadLoop(nullptr) == nullptr) return;
  // Nothing was posted through a backend that was never loaded.
  if (TBackend* backend = LoadedBackend()) {
    try {
      backend->DropPosted();
    } catch (const std::system_error&) {
      // Only the backend's lock can fail; the module unloads all the same,
      // and nothing it could do here would take the calls back.
    }
  }
}

}  // namespace kestrel::forms
