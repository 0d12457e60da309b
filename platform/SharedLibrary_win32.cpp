#include <windows.h>

#include "platform/SharedLibrary.h"
#include "platform/SysError.h"

namespace kestrel::platform {

std::unique_ptr<TSharedLibrary> TSharedLibrary::Open(const std::string& path, std::string& error, bool keep_loaded) {
  HMODULE module = ::LoadLibraryA(path.c_str());
  if (module == nullptr) {
    const DWORD code = ::GetLastError();
    const std::string text = SystemErrorText(code);
    error = path + ": " + (text.empty() ? "error " + std::to_string(code) : text);
    return nullptr;
  }
  if (keep_loaded) {
    // A second reference that is never released keeps it in the process.
    HMODULE pinned = nullptr;
    (void)::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, path.c_str(), &pinned);
  }
  return std::unique_ptr<TSharedLibrary>(new TSharedLibrary(module, path));
}

TSharedLibrary::~TSharedLibrary() { ::FreeLibrary(static_cast<HMODULE>(handle_)); }

void* TSharedLibrary::Symbol(const char* name) const {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace kestrel::platform
