// The gate as its host sees it: libKestrel loaded with the dynamic loader and
// its exports looked up by name. Each object is one load of the library:
// constructing it runs the library's load, destroying it its unload.
#pragma once

#include <string>

#include "kestrel/kestrel.h"

namespace kestrel::testing {

class TGateLibrary {
 public:
  TGateLibrary();
  // Unloads the library; Unloaded() tells whether it really left the process.
  ~TGateLibrary();
  TGateLibrary(const TGateLibrary&) = delete;
  TGateLibrary& operator=(const TGateLibrary&) = delete;

  // Empty when loaded and every export was found; otherwise the loader's text.
  const std::string& Error() const { return error_; }
  // Unloads now (the destructor does nothing more); true when the library
  // is no longer in the process.
  bool Unload();

  decltype(&::StartTransmit) StartTransmit = nullptr;
  decltype(&::SendToGate) SendToGate = nullptr;
  decltype(&::StopTransmit) StopTransmit = nullptr;
  decltype(&::StartListen) StartListen = nullptr;
  decltype(&::StopListen) StopListen = nullptr;

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace kestrel::testing
