#include "host/Protocol.h"

#include "host/ClientSession.h"
#include "host/CoreCalls.h"
#include "host/Exchanger.h"
#include "host/ServerSession.h"
#include "platform/Check.h"

namespace kestrel::host {

TProtocol::TProtocol(TGateManager* manager, TWhoIsIt who, const void* addr, std::int32_t addr_size)
    : manager_(manager), who_(who) {
  if (addr != nullptr && addr_size > 0) addr_.assign(static_cast<const char*>(addr), static_cast<std::size_t>(addr_size));
}

TProtocol::~TProtocol() { delete Exchanger; }

void TProtocol::InitServer(std::int32_t mode, double restore_timeout, std::int32_t restore_tries) {
  server_mode_ = mode;
  restore_timeout_ = restore_timeout;
  restore_tries_ = restore_tries;
}

void TProtocol::InitClient(std::int32_t self_id_cl, std::int32_t far_id_cl) {
  self_id_cl_ = self_id_cl;
  far_id_cl_ = far_id_cl;
}

void TProtocol::Run(KHandle process) {
  KESTREL_CHECK(manager_ != nullptr && Exchanger != nullptr, "a protocol runs only with its manager and exchanger");
  try {
    if (who_ == TWhoIsIt::Client) {
      TClientSession(*this, process).Run();
    } else {
      TServerSession(*this, process).Run();
    }
  } catch (...) {
    // The sessions catch what they expect; anything else (an allocation that
    // failed) ends the session here rather than the thread or the process.
    FrameworkLog(*manager_, "TProtocol[$" + Hex8(Identity()) + "].Run:(Session aborted)");
  }
}

}  // namespace kestrel::host
