// TExchanger: what the framework's protocol moves packets through. A gate
// derives its exchanger from it and overrides all seven slots.
//
// An exchanger is used by one exchange thread at a time. The framework owns
// it from the moment it is handed to a protocol and destroys it after the
// protocol has called DisConnect. No slot throws: a failure is told by the
// result (false, an empty packet), as the framework's sessions expect.
#pragma once

#include <cstdint>
#include <string>

#include "host/HostObject.h"

namespace kestrel::host {

class TGateManager;

class TExchanger : public THostObject {
 public:
  // The address block is copied; `addr` may be null when `size` is 0.
  TExchanger(TGateManager* manager, const void* addr, std::int32_t size);
  ~TExchanger() override;

  [[nodiscard]] virtual bool Connect() = 0;                      // slot 0
  [[nodiscard]] virtual bool DisConnect() = 0;                   // slot 1
  [[nodiscard]] virtual bool Send(const std::string& data) = 0;  // slot 2
  [[nodiscard]] virtual std::string Receive() = 0;               // slot 3: empty = nothing received
  virtual double GetStayOnLineTimeOut() = 0;                     // slot 4: day fraction
  virtual std::int32_t GetRestoreConnAfterBreakTimeOut() = 0;    // slot 5: ms
  virtual void GetRestoreConnParams(double& timeout, std::int32_t& tries) = 0;  // slot 6

  TGateManager* Manager() const { return manager_; }
  const std::string& AddrBlock() const { return addr_; }

 private:
  TGateManager* manager_;
  std::string addr_;
};

}  // namespace kestrel::host
