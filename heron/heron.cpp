// libHeron: forwards each core function to the handler the host program
// installed, or answers as a core with nothing stored that accepts everything.
#include "heron.h"

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

HERON_API void HeronSetReadGateSettings(HeronReadGateSettingsFn fn, void* ctx) { g_read_settings.Set(fn, ctx); }
HERON_API void HeronSetGateInfo(HeronGateInfoFn fn, void* ctx) { g_gate_info.Set(fn, ctx); }
HERON_API void HeronSetRecvFromGate(HeronRecvFromGateFn fn, void* ctx) { g_recv_from_gate.Set(fn, ctx); }

}  // extern "C"
