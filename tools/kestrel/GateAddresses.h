// Address blocks through the gate's editing exports: reading one as
// parameters (StructuredAddress modes 0 and 3), building one from parameters
// (modes 1 and 2), its one-line view text (ViewAddrGate, GetViewStr) and the
// gate's own address dialogs (EditAddrGate, GetGateData).
//
// A gate library without one of these exports (a build whose editing
// exports are not there) refuses what needs it with a message naming the
// missing export.
//
// Main thread only (the gate's editing exports are not thread-safe, and its
// dialogs run on the calling thread).
#pragma once

#include <optional>
#include <string>

#include "tools/host/GateLibrary.h"
#include "tools/kestrel/Params.h"

namespace kestrel::app {

class TGateAddresses {
 public:
  explicit TGateAddresses(TGateLibrary& gate) : gate_(gate) {}

  // The parameters of `block`; an empty block gives the default address.
  // Throws EToolError when the gate cannot read the block.
  TParams Read(const std::string& block);
  // The block the gate builds from `params`. Throws EToolError when it refuses them.
  std::string Build(const TParams& params);
  // The gate's abbreviated view text of the block, in UTF-8.
  std::string View(const std::string& block, bool self);
  // Opens the gate's own-address (`self`) or remote-address dialog on
  // `block`; the new block when the operator confirmed a change.
  std::optional<std::string> Edit(const std::string& block, bool self);

 private:
  TGateLibrary& gate_;
};

// Points the gate's forms layer at the dialog plugin of this build when
// nothing else says where it is (KESTREL_FORMS_PLUGIN unset).
void PrepareDialogs();

}  // namespace kestrel::app
