// The gate as its host sees it: libKestrel loaded with the dynamic loader and
// its exports looked up by name. Each object is one load of the library:
// constructing it runs the library's load, destroying it its unload.
#pragma once

#include <memory>
#include <string>

#include "kestrel/kestrel.h"
#include "platform/SharedLibrary.h"

namespace kestrel::testing {

class TGateLibrary {
 public:
  TGateLibrary();
  ~TGateLibrary() = default;
  TGateLibrary(const TGateLibrary&) = delete;
  TGateLibrary& operator=(const TGateLibrary&) = delete;

  // Empty when loaded and every export was found; otherwise why not.
  const std::string& Error() const { return error_; }
  // Unloads it now; the exports must not be called afterwards.
  void Unload() { library_.reset(); }

#define KESTREL_EXPORT_MEMBER(name) decltype(&::name) name = nullptr;
  KESTREL_EXPORTS(KESTREL_EXPORT_MEMBER)
#undef KESTREL_EXPORT_MEMBER

 private:
  std::unique_ptr<platform::TSharedLibrary> library_;
  std::string error_;
};

}  // namespace kestrel::testing
