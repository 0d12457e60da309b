#include "platform/forms/Application.h"

#include <mutex>
#include <stdexcept>
#include <typeinfo>

#include "platform/Cp1251.h"
#include "platform/forms/HandlerGuard.h"
#include "platform/forms/PluginLoader.h"

namespace kestrel::forms {

using namespace kestrel::literals;

namespace {

class TNullBackend final : public TBackend {
 public:
  TNullBackend() = default;
  explicit TNullBackend(std::string why) : reason(std::move(why)) {}
  std::string reason;

  std::string_view Name() const override { return "none"; }
  void Start() override { Fail(); }
  std::unique_ptr<TFormPeer> CreateForm(const TControlDesc&, TControlSink&) override { Fail(); }
  std::unique_ptr<TControlPeer> CreateControl(TControlPeer&, const TControlDesc&, TControlSink&) override { Fail(); }
  void ShowMessage(TMsgKind, const std::string&, const std::string&) override { Fail(); }

 private:
  [[noreturn]] void Fail() const { throw EFormsError("Kestrel forms: no user-interface backend (" + reason + ")"); }
};

struct TState {
  std::mutex mutex;
  TBackend* installed = nullptr;
  TBackend* plugin = nullptr;
  bool tried = false;
  std::string plugin_path;
  std::string plugin_error;
  TNullBackend null_backend;
};

// A static object, not a leaked one: a library holding the forms layer may
// be loaded and unloaded many times. It is made at its first use, before any
// form, so it outlives every static form of the host.
TState& State() {
  static TState state;
  return state;
}

}  // namespace

std::unique_ptr<TBackend> MakeNullBackend(std::string reason) {
  return std::make_unique<TNullBackend>(std::move(reason));
}

TBackend& CurrentBackend() {
  TState& s = State();
  std::lock_guard lock(s.mutex);
  if (s.installed != nullptr) return *s.installed;
  if (!s.tried) {
    s.tried = true;
    s.plugin = LoadPluginBackend(s.plugin_path, s.plugin_error);
    s.null_backend.reason = s.plugin_error;
  }
  if (s.plugin != nullptr) return *s.plugin;
  return s.null_backend;
}

TBackend* LoadedBackend() {
  TState& s = State();
  std::lock_guard lock(s.mutex);
  return s.installed != nullptr ? s.installed : s.plugin;
}

void InstallBackend(TBackend* backend) {
  TState& s = State();
  std::lock_guard lock(s.mutex);
  s.installed = backend;
}

void SetPluginPath(const std::string& path) {
  TState& s = State();
  std::lock_guard lock(s.mutex);
  s.plugin_path = path;
}

std::string PluginError() {
  TState& s = State();
  std::lock_guard lock(s.mutex);
  return s.plugin_error;
}

void MessageBox(TMsgKind kind, const std::string& text, const std::string& caption) {
  std::string title = caption;
  if (title.empty() && kind == TMsgKind::kInformation) title = "Информация"_cp;
  if (title.empty() && kind == TMsgKind::kError) title = "Ошибка"_cp;
  try {
    CurrentBackend().ShowMessage(kind, title, text);
  } catch (const EFormsError&) {
    throw;
  } catch (const std::exception& e) {
    throw EFormsError(e.what());
  }
}

void ShowMessage(const std::string& text) { MessageBox(TMsgKind::kPlain, text); }

void RunGuarded(const std::function<void()>& handler) noexcept {
  std::string message;
  try {
    handler();
    return;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "Unknown exception";
  }
  try {
    MessageBox(TMsgKind::kError, message);
  } catch (...) {
    // Nothing is left to tell the operator with; the event simply ends.
  }
}

}  // namespace kestrel::forms
