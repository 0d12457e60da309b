#include <dlfcn.h>

#include "platform/SharedLibrary.h"

namespace kestrel::platform {

std::unique_ptr<TSharedLibrary> TSharedLibrary::Open(const std::string& path, std::string& error, bool keep_loaded) {
  // RTLD_NOW: a library with a missing symbol fails here, not at its first call.
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | (keep_loaded ? RTLD_NODELETE : 0));
  if (handle == nullptr) {
    const char* why = ::dlerror();
    error = why != nullptr ? why : "the dynamic loader gave no reason";
    return nullptr;
  }
  return std::unique_ptr<TSharedLibrary>(new TSharedLibrary(handle, path));
}

TSharedLibrary::~TSharedLibrary() { ::dlclose(handle_); }

void* TSharedLibrary::Symbol(const char* name) const { return ::dlsym(handle_, name); }

}  // namespace kestrel::platform
