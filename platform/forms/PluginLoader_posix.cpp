#include <dlfcn.h>

#include <string>

#include "platform/forms/PluginLoader.h"

namespace kestrel::forms {

const char* const kPluginFileName = "libKestrelFormsQt.so";

namespace {
using TEntry = TBackend* (*)(std::uint32_t);
}  // namespace

std::string OwnModuleDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LoadPluginBackend), &info) == 0 || info.dli_fname == nullptr) return {};
  const std::string file = info.dli_fname;
  const auto slash = file.rfind('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

TBackend* LoadPluginFile(const std::string& file, std::string& why) {
  // Never closed: a toolkit cannot be unloaded safely once it ran.
  void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* e = dlerror();
    why = e != nullptr ? e : "cannot be loaded";
    return nullptr;
  }
  auto entry = reinterpret_cast<TEntry>(dlsym(module, kPluginEntry));
  if (entry == nullptr) {
    why = std::string("no entry point ") + kPluginEntry;
    return nullptr;
  }
  TBackend* backend = entry(kBackendAbi);
  if (backend == nullptr) why = "built for another version of the forms interface";
  return backend;
}

}  // namespace kestrel::forms
