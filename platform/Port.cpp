#include "platform/Port.h"

#include <condition_variable>
#include <map>
#include <mutex>

#include "platform/ModuleEntry.h"
#include "platform/PortDevice.h"
#include "platform/PortNames.h"
#include "platform/SysError.h"

namespace kestrel::platform {
namespace {

// One open handle. `users` counts calls in progress, so that PortClose can
// wait for them before the device is released.
struct TEntry {
  std::unique_ptr<TPortDevice> device;
  std::mutex mutex;
  std::condition_variable idle;
  int users = 0;
  bool closing = false;
};

struct TTable {
  std::mutex mutex;
  std::uint32_t next_id = 1;
  std::map<TPortHandle, std::shared_ptr<TEntry>> entries;
};

// Left to the system at process end: a thread ended there inside a port call
// may have held a lock or a wait of an entry, and a library's unload then
// would wait or spin on it for ever.
TTable& Table() {
  static TProcessStatic<TTable> table;
  return *table;
}

// Holds one call's use of an entry; null device when the handle is invalid.
class TUse {
 public:
  explicit TUse(TPortHandle port) {
    {
      TTable& table = Table();
      std::lock_guard lock(table.mutex);
      const auto it = table.entries.find(port);
      if (it != table.entries.end()) entry_ = it->second;
    }
    if (!entry_) return;
    bool closing = false;
    {
      std::lock_guard lock(entry_->mutex);
      closing = entry_->closing;
      if (!closing) ++entry_->users;
    }
    // Let go only once the entry's lock is released: when PortClose has
    // already finished, this is the last owner and the lock goes with it.
    if (closing) entry_.reset();
  }
  ~TUse() {
    if (!entry_) return;
    std::lock_guard lock(entry_->mutex);
    if (--entry_->users == 0) entry_->idle.notify_all();
  }
  TUse(const TUse&) = delete;
  TUse& operator=(const TUse&) = delete;

  TPortDevice* operator->() const { return entry_->device.get(); }
  explicit operator bool() const { return entry_ != nullptr; }

 private:
  std::shared_ptr<TEntry> entry_;
};

bool Fail(std::uint32_t code) {
  SetLastError(code);
  return false;
}

bool Result(std::uint32_t code) { return code == 0 || Fail(code); }

}  // namespace

TPortHandle PortOpen(std::string_view name) {
  const std::string target = ResolvePortName(name);
  std::uint32_t error = 0;
  std::unique_ptr<TPortDevice> device;
  if (target.rfind(kSimPortPrefix, 0) == 0)
    device = OpenSimDevice(target.substr(kSimPortPrefix.size()), error);
  else if (!target.empty())
    device = OpenSystemDevice(target, error);
  else
    error = kErrorFileNotFound;
  if (!device) {
    SetLastError(error != 0 ? error : kErrorFileNotFound);
    return kInvalidPortHandle;
  }
  auto entry = std::make_shared<TEntry>();
  entry->device = std::move(device);
  TTable& table = Table();
  std::lock_guard lock(table.mutex);
  // Ids are never reused: a stale handle of a closed port must not reach a
  // port opened later. 2^32 - 2 opens in one process are not a concern.
  const TPortHandle id = table.next_id++;
  table.entries.emplace(id, std::move(entry));
  return id;
}

bool PortClose(TPortHandle port) {
  std::shared_ptr<TEntry> entry;
  {
    TTable& table = Table();
    std::lock_guard lock(table.mutex);
    const auto it = table.entries.find(port);
    if (it == table.entries.end()) return Fail(kErrorInvalidHandle);
    entry = std::move(it->second);
    table.entries.erase(it);
  }
  {
    std::lock_guard lock(entry->mutex);
    entry->closing = true;
  }
  entry->device->Abort();
  {
    std::unique_lock lock(entry->mutex);
    entry->idle.wait(lock, [&] { return entry->users == 0; });
  }
  entry->device->Close();
  return true;
}

bool PortSetState(TPortHandle port, const TPortDcb& dcb) {
  TUse use(port);
  if (!use) return Fail(kErrorInvalidHandle);
  if (dcb.baud_rate == 0 || dcb.byte_size < 5 || dcb.byte_size > 8 || dcb.parity > 4 || dcb.stop_bits > 2)
    return Fail(kErrorInvalidParameter);
  return Result(use->SetState(dcb));
}

bool PortSetupComm(TPortHandle port, std::uint32_t in_size, std::uint32_t out_size) {
  TUse use(port);
  if (!use) return Fail(kErrorInvalidHandle);
  if (in_size == 0 || out_size == 0) return Fail(kErrorInvalidParameter);
  return Result(use->SetupComm(in_size, out_size));
}

bool PortSetTimeouts(TPortHandle port, const TPortTimeouts& timeouts) {
  TUse use(port);
  if (!use) return Fail(kErrorInvalidHandle);
  return Result(use->SetTimeouts(timeouts));
}

bool PortPurge(TPortHandle port, std::uint32_t flags) {
  TUse use(port);
  if (!use) return Fail(kErrorInvalidHandle);
  if ((flags & ~0x000Fu) != 0) return Fail(kErrorInvalidParameter);
  return Result(use->Purge(flags));
}

bool PortClearError(TPortHandle port, std::uint32_t* errors, TPortQueueStat* stat) {
  TUse use(port);
  if (!use) return Fail(kErrorInvalidHandle);
  std::uint32_t e = 0;
  TPortQueueStat s;
  if (!Result(use->ClearError(e, s))) return false;
  if (errors != nullptr) *errors = e;
  if (stat != nullptr) *stat = s;
  return true;
}

bool PortGetModemStatus(TPortHandle port, std::uint32_t& status) {
  TUse use(port);
  if (!use) return Fail(kErrorInvalidHandle);
  std::uint32_t s = 0;
  if (!Result(use->ModemStatus(s))) return false;
  status = s;
  return true;
}

void PortWakeReceive(TPortHandle port) {
  TUse use(port);
  if (use) use->WakeReceive();
}

bool PortHasVirtualLines(TPortHandle port) {
  TUse use(port);
  return use && use->VirtualLines();
}

bool PortRead(TPortHandle port, void* data, std::uint32_t size, std::uint32_t& done) {
  done = 0;
  TUse use(port);
  if (!use) return Fail(kErrorInvalidHandle);
  if (data == nullptr && size != 0) return Fail(kErrorInvalidParameter);
  if (size == 0) return true;
  return Result(use->Read(data, size, done));
}

bool PortWrite(TPortHandle port, const void* data, std::uint32_t size, std::uint32_t& done) {
  done = 0;
  TUse use(port);
  if (!use) return Fail(kErrorInvalidHandle);
  if (data == nullptr && size != 0) return Fail(kErrorInvalidParameter);
  if (size == 0) return true;
  return Result(use->Write(data, size, done));
}

TPortWait PortWaitReceive(TPortHandle port, std::uint32_t timeout_ms, const std::uint32_t* lines_seen) {
  TUse use(port);
  if (!use) {
    SetLastError(kErrorInvalidHandle);
    return TPortWait::kError;
  }
  std::uint32_t error = 0;
  const TPortWait result = use->WaitReceive(timeout_ms, lines_seen, error);
  if (result == TPortWait::kError) SetLastError(error);
  return result;
}

TPortWait PortWaitTransmit(TPortHandle port, std::uint32_t timeout_ms) {
  TUse use(port);
  if (!use) {
    SetLastError(kErrorInvalidHandle);
    return TPortWait::kError;
  }
  std::uint32_t error = 0;
  const TPortWait result = use->WaitTransmit(timeout_ms, error);
  if (result == TPortWait::kError) SetLastError(error);
  return result;
}

}  // namespace kestrel::platform
