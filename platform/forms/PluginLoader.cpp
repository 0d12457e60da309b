#include <cstdlib>
#include <string>
#include <vector>

#include "platform/forms/PluginLoader.h"

namespace kestrel::forms {

TBackend* LoadPluginBackend(const std::string& path, std::string& error) {
  std::vector<std::string> candidates;
  if (!path.empty()) candidates.push_back(path);
  if (const char* env = std::getenv(kPluginPathVariable); env != nullptr && *env != '\0') candidates.push_back(env);
  if (const std::string dir = OwnModuleDirectory(); !dir.empty()) {
    candidates.push_back(dir + "/" + kPluginFileName);
    candidates.push_back(dir + "/" + kPluginFolder + "/" + kPluginFileName);
  }
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
