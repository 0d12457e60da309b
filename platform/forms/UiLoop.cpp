#include "platform/forms/UiLoop.h"

#include "platform/MainThread.h"
#include "platform/forms/Application.h"

namespace kestrel::forms {
namespace {

class TBackendLoop final : public platform::TMainThreadLoop {
 public:
  bool Post(std::function<void()> run) override {
    try {
      return CurrentBackend().PostToUiThread(std::move(run));
    } catch (...) {
      return false;  // the pump takes the call instead
    }
  }
  bool ProcessEvents(std::uint32_t wait_ms) override {
    try {
      return CurrentBackend().ProcessEvents(wait_ms);
    } catch (...) {
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
    } catch (...) {
    }
  }
}

}  // namespace kestrel::forms
