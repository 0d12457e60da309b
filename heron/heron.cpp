// libHeron: forwards each core function to the handler the host program
// installed, or answers as a core with nothing stored that accepts everything.
#include "heron.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

template <typename Fn>
class Slot {
 public:
  void Set(Fn fn, void* ctx) {
    std::lock_guard lock(mutex_);
    fn_ = fn;
    ctx_ = ctx;
  }
  // The handler and its context, read together.
  std::pair<Fn, void*> Get() const {
    std::lock_guard lock(mutex_);
    return {fn_, ctx_};
  }

 private:
  mutable std::mutex mutex_;
  Fn fn_ = nullptr;
  void* ctx_ = nullptr;
};

Slot<HeronReadGateSettingsFn> g_read_settings;
Slot<HeronGateInfoFn> g_gate_info;
Slot<HeronRecvFromGateFn> g_recv_from_gate;
Slot<HeronRecvPacketFromGateFn> g_recv_packet;
Slot<HeronPacketDeliveredFromGateFn> g_delivered;
Slot<HeronProgressFromGateFn> g_progress;
Slot<HeronGetLocalizResourceFn> g_localiz;
Slot<HeronMainThreadPumpFn> g_pump;
Slot<HeronPartyKeyFromCoreFn> g_party_key;
Slot<HeronSessionFromGateFn> g_session;

// Wakes a host that waits in HeronPumpMainThread while no gate is loaded.
std::mutex g_pump_mutex;
std::condition_variable g_pump_installed;

}  // namespace

extern "C" {

HERON_API const void* KESTREL_CALL ReadGateSettings(int16_t GateCode, int32_t* Size) {
  const auto [fn, ctx] = g_read_settings.Get();
  int32_t size = 0;
  const void* block = fn ? fn(ctx, GateCode, &size) : nullptr;
  if (Size) *Size = block ? size : 0;
  return block;
}

HERON_API KBool KESTREL_CALL GateInfo(int32_t Kind, int16_t GateCode, const char* Text, const char* Details,
                                      int32_t /*Reserved*/) {
  const auto [fn, ctx] = g_gate_info.Get();
  return fn ? (fn(ctx, Kind, GateCode, Text ? Text : "", Details) ? 1 : 0) : 1;
}

HERON_API KBool KESTREL_CALL RecvFromGate(const TRefPack* RefPack, int32_t Code, int32_t Param) {
  const auto [fn, ctx] = g_recv_from_gate.Get();
  return fn ? (fn(ctx, RefPack, Code, Param) ? 1 : 0) : 1;
}

HERON_API KBool KESTREL_CALL RecvPacketFromGate(int32_t SenderIdCl, const TRefPack* RefPack, const void* Data,
                                                int32_t Size) {
  const auto [fn, ctx] = g_recv_packet.Get();
  return fn ? (fn(ctx, SenderIdCl, RefPack, Data, Size) ? 1 : 0) : 1;
}

HERON_API KBool KESTREL_CALL PacketDeliveredFromGate(KHandle TransProc, const TRefPack* RefPack) {
  const auto [fn, ctx] = g_delivered.Get();
  return fn ? (fn(ctx, TransProc, RefPack) ? 1 : 0) : 1;
}

HERON_API void KESTREL_CALL ProgressFromGate(KHandle Proc, const char* Caption, int32_t Done, int32_t Total,
                                             int32_t Direction) {
  const auto [fn, ctx] = g_progress.Get();
  if (fn) fn(ctx, Proc, Caption ? Caption : "", Done, Total, Direction);
}

HERON_API int32_t KESTREL_CALL GetLocalizResource(const char* Key, char* Dest, int32_t DestSize) {
  const auto [fn, ctx] = g_localiz.Get();
  if (Dest == nullptr || DestSize < 0) DestSize = 0;
  if (DestSize > 0) Dest[0] = '\0';
  if (fn == nullptr || Key == nullptr) return -1;
  const int32_t length = fn(ctx, Key, DestSize > 0 ? Dest : nullptr, DestSize);
  // A handler that copied too much or forgot the terminator still leaves a
  // terminated text behind.
  if (DestSize > 0) Dest[length < 0 ? 0 : (length < DestSize ? length : DestSize - 1)] = '\0';
  return length < 0 ? -1 : length;
}

HERON_API void HeronSetReadGateSettings(HeronReadGateSettingsFn fn, void* ctx) { g_read_settings.Set(fn, ctx); }
HERON_API void HeronSetGateInfo(HeronGateInfoFn fn, void* ctx) { g_gate_info.Set(fn, ctx); }
HERON_API void HeronSetRecvFromGate(HeronRecvFromGateFn fn, void* ctx) { g_recv_from_gate.Set(fn, ctx); }
HERON_API void HeronSetRecvPacketFromGate(HeronRecvPacketFromGateFn fn, void* ctx) { g_recv_packet.Set(fn, ctx); }
HERON_API void HeronSetPacketDeliveredFromGate(HeronPacketDeliveredFromGateFn fn, void* ctx) {
  g_delivered.Set(fn, ctx);
}
HERON_API void HeronSetProgressFromGate(HeronProgressFromGateFn fn, void* ctx) { g_progress.Set(fn, ctx); }
HERON_API void HeronSetGetLocalizResource(HeronGetLocalizResourceFn fn, void* ctx) { g_localiz.Set(fn, ctx); }

HERON_API int32_t KESTREL_CALL PartyKeyFromCore(int32_t IdCl, void* Key, int32_t KeySize) {
  const auto [fn, ctx] = g_party_key.Get();
  if (fn == nullptr) return 0;
  const int32_t got = fn(ctx, IdCl, Key != nullptr && KeySize >= HERON_KEY_SIZE ? Key : nullptr, KeySize);
  // Anything but the three answers the contract allows means "not known".
  return got == 0 || got == HERON_KEY_SIZE ? got : -1;
}

HERON_API void KESTREL_CALL SessionFromGate(int32_t IdCl, int32_t Direction, int32_t Kind, const char* Reason) {
  const auto [fn, ctx] = g_session.Get();
  if (fn) fn(ctx, IdCl, Direction, Kind, Reason ? Reason : "");
}

HERON_API void HeronSetPartyKeyFromCore(HeronPartyKeyFromCoreFn fn, void* ctx) { g_party_key.Set(fn, ctx); }
HERON_API void HeronSetSessionFromGate(HeronSessionFromGateFn fn, void* ctx) { g_session.Set(fn, ctx); }

}  // extern "C"

extern "C" {

HERON_API int32_t KESTREL_CALL HeronPumpMainThread(uint32_t WaitMs) {
  const auto [fn, ctx] = g_pump.Get();
  if (fn != nullptr) return fn(ctx, WaitMs);
  // No gate to pump: wait as asked, so that the host's loop does not spin.
  std::unique_lock lock(g_pump_mutex);
  g_pump_installed.wait_for(lock, std::chrono::milliseconds(WaitMs), [] { return g_pump.Get().first != nullptr; });
  return 0;
}

HERON_API void HeronSetMainThreadPump(HeronMainThreadPumpFn fn, void* ctx) {
  g_pump.Set(fn, ctx);
  {
    std::lock_guard lock(g_pump_mutex);
  }
  g_pump_installed.notify_all();
}

}  // extern "C"
