#include "tests/kestrel/GateLibrary.h"

#include <dlfcn.h>

namespace kestrel::testing {
namespace {

template <typename F>
void Find(void* handle, const char* name, F& fn, std::string& error) {
  fn = reinterpret_cast<F>(dlsym(handle, name));
  if (fn == nullptr && error.empty()) error = std::string("no export ") + name;
}

}  // namespace

TGateLibrary::TGateLibrary() {
  handle_ = dlopen(KESTREL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    error_ = why != nullptr ? why : "dlopen failed";
    return;
  }
  Find(handle_, "StartTransmit", StartTransmit, error_);
  Find(handle_, "SendToGate", SendToGate, error_);
  Find(handle_, "StopTransmit", StopTransmit, error_);
  Find(handle_, "StartListen", StartListen, error_);
  Find(handle_, "StopListen", StopListen, error_);
}

TGateLibrary::~TGateLibrary() { (void)Unload(); }

bool TGateLibrary::Unload() {
  if (handle_ != nullptr) {
    dlclose(handle_);
    handle_ = nullptr;
  }
  void* again = dlopen(KESTREL_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
  if (again == nullptr) return true;
  dlclose(again);
  return false;
}

}  // namespace kestrel::testing
