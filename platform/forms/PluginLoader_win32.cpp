#include <windows.h>

#include <string>

#include "platform/forms/PluginLoader.h"

namespace kestrel::forms {

const char* const kPluginFileName = "KestrelFormsWin32.dll";

namespace {

using TEntry = TBackend* (*)(std::uint32_t);

std::string WindowsErrorText(DWORD code) {
  char buf[512] = {};
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buf,
                                   sizeof buf, nullptr);
  std::string text(buf, n);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text.empty() ? "error " + std::to_string(code) : text;
}

}  // namespace

std::string OwnModuleDirectory() {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&LoadPluginBackend), &module))
    return {};
  char path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameA(module, path, MAX_PATH);
  if (n == 0 || n == MAX_PATH) return {};
  const std::string file(path, n);
  const auto slash = file.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

TBackend* LoadPluginFile(const std::string& file, std::string& why) {
  // Never freed: a backend cannot be unloaded safely once its windows ran.
  HMODULE module = ::LoadLibraryA(file.c_str());
  if (module == nullptr) {
    why = WindowsErrorText(::GetLastError());
    return nullptr;
  }
  auto entry = reinterpret_cast<TEntry>(reinterpret_cast<void*>(::GetProcAddress(module, kPluginEntry)));
  if (entry == nullptr) {
    why = std::string("no entry point ") + kPluginEntry;
    return nullptr;
  }
  TBackend* backend = entry(kBackendAbi);
  if (backend == nullptr) why = "built for another version of the forms interface";
  return backend;
}

}  // namespace kestrel::forms
