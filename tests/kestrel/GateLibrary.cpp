#include "tests/kestrel/GateLibrary.h"

namespace kestrel::testing {
namespace {

template <typename F>
void Find(const platform::TSharedLibrary& library, const char* name, F& fn, std::string& error) {
  fn = reinterpret_cast<F>(library.Symbol(name));
  if (fn == nullptr && error.empty()) error = std::string("no export ") + name;
}

}  // namespace

TGateLibrary::TGateLibrary() {
  library_ = platform::TSharedLibrary::Open(KESTREL_LIBRARY_PATH, error_);
  if (!library_) return;
#define KESTREL_FIND_EXPORT(name) Find(*library_, #name, name, error_);
  KESTREL_EXPORTS(KESTREL_FIND_EXPORT)
#undef KESTREL_FIND_EXPORT
}

}  // namespace kestrel::testing
