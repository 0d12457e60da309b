// Loading the forms backend plugin (see Application.h for the search order).
#pragma once

#include <string>

#include "platform/forms/Backend.h"

namespace kestrel::forms {

// The plugin's file name on this system (the loader's backend file says it)
// and its one exported entry point:
//   extern "C" kestrel::forms::TBackend* KestrelFormsBackend(std::uint32_t abi);
// which returns null when `abi` is not its kBackendAbi.
extern const char* const kPluginFileName;
inline constexpr const char* kPluginEntry = "KestrelFormsBackend";
inline constexpr const char* kPluginPathVariable = "KESTREL_FORMS_PLUGIN";
// The folder beside the gate library that an install puts the plugin in.
inline constexpr const char* kPluginFolder = "kestrel";

// The backend of the plugin in `file` (a path, or a bare name for the
// loader's search), or null with `why` telling why not. (The system's
// loader: PluginLoader_<os>.cpp.)
TBackend* LoadPluginFile(const std::string& file, std::string& why);

// The folder of the module that holds the forms layer (the gate library, or
// a program it is linked into); "" when the system cannot tell.
std::string OwnModuleDirectory();

// The backend of the first plugin that loads, or null with `error` telling
// every place tried and why each failed. `path` ("" for none) is tried first.
TBackend* LoadPluginBackend(const std::string& path, std::string& error);

}  // namespace kestrel::forms
