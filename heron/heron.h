/*
 * heron.h - the host's transport core, as the gate imports it, and how a host
 * program plugs itself in.
 *
 * libHeron exports the core functions that the gate calls (ReadGateSettings,
 * GateInfo, RecvFromGate, and the framework's delivery functions). Each one
 * forwards to a handler that the host program installs with the Heron*Set*
 * functions below. A function whose handler is not installed behaves as a core
 * with nothing stored that accepts every log line and every message:
 *   ReadGateSettings -> NULL with *Size = 0; GateInfo -> 1; RecvFromGate -> 1.
 *
 * Installing a handler is thread-safe and takes effect for calls that start
 * afterwards; a handler may be called from any thread of the gate, also
 * concurrently with itself, and must not call back into the gate's exports.
 * Passing NULL uninstalls it. `ctx` is handed back to the handler unchanged.
 *
 * Later additions only add new functions; existing ones keep their signatures.
 */
#ifndef KESTREL_HERON_H
#define KESTREL_HERON_H

#include <stdint.h>

#include "kestrel/kestrel.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define HERON_API __declspec(dllexport)
#else
#define HERON_API __attribute__((visibility("default")))
#endif

/* ---- The core functions the gate calls. ---- */

/* The stored gate settings block of GateCode and its length in *Size; NULL and
 * 0 when none is stored. The block stays the core's: the caller copies it and
 * neither writes nor frees it. It stays valid until the handler is replaced. */
HERON_API const void* KESTREL_CALL ReadGateSettings(int16_t GateCode, int32_t* Size);

/* A message of the gate. Kind 1: an error report; Kind 2: a log line. Text and
 * Details are NUL-terminated Windows-1251; Details may be NULL. Reserved is 0.
 * A false result to a log line tells the gate to stop logging. */
HERON_API KBool KESTREL_CALL GateInfo(int32_t Kind, int16_t GateCode, const char* Text, const char* Details,
                                      int32_t Reserved);

/* A status message about a packet: Code -10 with Param -1 says that sending
 * the packet of RefPack failed. True when the core took the message. */
HERON_API KBool KESTREL_CALL RecvFromGate(const TRefPack* RefPack, int32_t Code, int32_t Param);

/* ---- Handlers of the host program. ---- */

typedef const void* (*HeronReadGateSettingsFn)(void* ctx, int16_t gate_code, int32_t* size);
typedef KBool (*HeronGateInfoFn)(void* ctx, int32_t kind, int16_t gate_code, const char* text, const char* details);
typedef KBool (*HeronRecvFromGateFn)(void* ctx, const TRefPack* ref, int32_t code, int32_t param);

HERON_API void HeronSetReadGateSettings(HeronReadGateSettingsFn fn, void* ctx);
HERON_API void HeronSetGateInfo(HeronGateInfoFn fn, void* ctx);
HERON_API void HeronSetRecvFromGate(HeronRecvFromGateFn fn, void* ctx);

#ifdef __cplusplus
}
#endif

#endif /* KESTREL_HERON_H */
