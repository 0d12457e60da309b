#include <dlfcn.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/forms/PluginLoader.h"

namespace kestrel::forms {
namespace {

using TEntry = TBackend* (*)(std::uint32_t);

// The directory of the module that holds this code: the gate library when
// the forms layer is linked into it, else the program.
std::string OwnDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LoadPluginBackend), &info) == 0 || info.dli_fname == nullptr) return {};
  const std::string file = info.dli_fname;
  const auto slash = file.rfind('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

}  // namespace

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

TBackend* LoadPluginBackend(const std::string& path, std::string& error) {
  std::vector<std::string> candidates;
  if (!path.empty()) candidates.push_back(path);
  if (const char* env = std::getenv(kPluginPathVariable); env != nullptr && *env != '\0') candidates.push_back(env);
  if (const std::string dir = OwnDirectory(); !dir.empty()) candidates.push_back(dir + "/" + kPluginFileName);
  candidates.push_back(kPluginFileName);

  error.clear();
  for (const auto& file : candidates) {
    std::string why;
    if (TBackend* backend = LoadPluginFile(file, why)) {
      error.clear();
      return backend;
    }
    if (!error.empty()) error += "; ";
    // The loader's own message usually names the file already.
    error += why.rfind(file, 0) == 0 ? why : file + ": " + why;
  }
  return nullptr;
}

}  // namespace kestrel::forms
