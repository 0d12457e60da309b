/*
 * heron.h - the host's transport core, as the gate imports it, and how a host
 * program plugs itself in.
 *
 * libHeron exports the core functions that the gate calls (ReadGateSettings,
 * GateInfo, RecvFromGate) and those that the host framework calls to hand
 * over received packets, delivery confirmations, progress and localised
 * texts (RecvPacketFromGate, PacketDeliveredFromGate, ProgressFromGate,
 * GetLocalizResource). Each one
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

/* ---- The core functions the host framework calls. ---- */

/* A packet that arrived for this core. SenderIdCl is the sending party's
 * client id, RefPack the sender's reference of it, Data/Size its bytes (Data
 * may be NULL when Size is 0; all three are valid for the call only). True
 * when the core took the packet; false makes the sending side report the
 * packet as failed. Each packet is handed over once. */
HERON_API KBool KESTREL_CALL RecvPacketFromGate(int32_t SenderIdCl, const TRefPack* RefPack, const void* Data,
                                                int32_t Size);

/* The packet of RefPack, given to the transmit process TransProc, has reached
 * the far core. Sent once per delivered packet; the core's answer is only
 * noted. */
HERON_API KBool KESTREL_CALL PacketDeliveredFromGate(KHandle TransProc, const TRefPack* RefPack);

/* Directions of ProgressFromGate. */
enum { HERON_PROGRESS_SEND = 0, HERON_PROGRESS_RECEIVE = 1 };

/* Progress of one transfer of the process Proc (a transmit process, or the
 * exchange process serving a call): Done of Total bytes of the current packet,
 * in the given direction. Caption is NUL-terminated Windows-1251. Called from
 * the exchange threads, only while the gate asks for progress to be shown. */
HERON_API void KESTREL_CALL ProgressFromGate(KHandle Proc, const char* Caption, int32_t Done, int32_t Total,
                                             int32_t Direction);

/* The core's localised text for Key (NUL-terminated). Returns the text's
 * length in bytes (without the terminator), or -1 when the core has none.
 * When Dest is not NULL and DestSize > 0, at most DestSize - 1 bytes and a
 * terminating NUL are copied there; a result >= DestSize means the text was
 * cut, and a second call with a larger buffer gets it whole. */
HERON_API int32_t KESTREL_CALL GetLocalizResource(const char* Key, char* Dest, int32_t DestSize);

/* ---- Handlers of the host program. ---- */

typedef const void* (*HeronReadGateSettingsFn)(void* ctx, int16_t gate_code, int32_t* size);
typedef KBool (*HeronGateInfoFn)(void* ctx, int32_t kind, int16_t gate_code, const char* text, const char* details);
typedef KBool (*HeronRecvFromGateFn)(void* ctx, const TRefPack* ref, int32_t code, int32_t param);

HERON_API void HeronSetReadGateSettings(HeronReadGateSettingsFn fn, void* ctx);
HERON_API void HeronSetGateInfo(HeronGateInfoFn fn, void* ctx);
HERON_API void HeronSetRecvFromGate(HeronRecvFromGateFn fn, void* ctx);

/* Handlers of the framework's functions. Unset: RecvPacketFromGate and
 * PacketDeliveredFromGate answer 1 (the packet is taken and dropped),
 * ProgressFromGate does nothing, GetLocalizResource answers -1 (no text).
 * A localisation handler follows the contract of GetLocalizResource: it
 * returns the full length (or -1) and copies what fits, terminator included;
 * libHeron terminates the buffer again whatever the handler did. */
typedef KBool (*HeronRecvPacketFromGateFn)(void* ctx, int32_t sender_id_cl, const TRefPack* ref, const void* data,
                                          int32_t size);
typedef KBool (*HeronPacketDeliveredFromGateFn)(void* ctx, KHandle trans_proc, const TRefPack* ref);
typedef void (*HeronProgressFromGateFn)(void* ctx, KHandle proc, const char* caption, int32_t done, int32_t total,
                                        int32_t direction);
typedef int32_t (*HeronGetLocalizResourceFn)(void* ctx, const char* key, char* dest, int32_t dest_size);

HERON_API void HeronSetRecvPacketFromGate(HeronRecvPacketFromGateFn fn, void* ctx);
HERON_API void HeronSetPacketDeliveredFromGate(HeronPacketDeliveredFromGateFn fn, void* ctx);
HERON_API void HeronSetProgressFromGate(HeronProgressFromGateFn fn, void* ctx);
HERON_API void HeronSetGetLocalizResource(HeronGetLocalizResourceFn fn, void* ctx);

/* ---- Parties and sessions. ---- */

/* The length of a party's secret key, shared by the two parties. */
enum { HERON_KEY_SIZE = 32 };

/* What the core knows of the party with client id IdCl, asked when a call
 * is answered (IdCl is the caller's) and when one is placed (IdCl is the
 * called address's): -1 when the party is not known, whose calls are then
 * refused; 0 when it is known and no key is shared with it; HERON_KEY_SIZE
 * when a key is shared, whose bytes are then copied to Key (when Key is not
 * NULL and KeySize >= HERON_KEY_SIZE). A core that admits unknown callers
 * answers 0 for them. For a call placed, -1 counts as 0: the core chose to
 * call the address. */
HERON_API int32_t KESTREL_CALL PartyKeyFromCore(int32_t IdCl, void* Key, int32_t KeySize);

/* Kinds of SessionFromGate. */
enum { HERON_SESSION_UNKEYED = 0, HERON_SESSION_KEYED = 1, HERON_SESSION_REFUSED = 2 };

/* The greeting of a session with the party IdCl is over: the session runs
 * unkeyed (as the protocol ran before keys), keyed (both sides proved they
 * hold the shared key, and every message is sealed) or was refused by one of
 * the two sides. Direction is HERON_PROGRESS_SEND for a call we placed,
 * HERON_PROGRESS_RECEIVE for one we answered. Reason is a NUL-terminated
 * ASCII text saying why a session was refused, "" otherwise. */
HERON_API void KESTREL_CALL SessionFromGate(int32_t IdCl, int32_t Direction, int32_t Kind, const char* Reason);

/* Their handlers. Unset: PartyKeyFromCore answers 0 (every party known,
 * none keyed); SessionFromGate does nothing. */
typedef int32_t (*HeronPartyKeyFromCoreFn)(void* ctx, int32_t id_cl, void* key, int32_t key_size);
typedef void (*HeronSessionFromGateFn)(void* ctx, int32_t id_cl, int32_t direction, int32_t kind,
                                       const char* reason);

HERON_API void HeronSetPartyKeyFromCore(HeronPartyKeyFromCoreFn fn, void* ctx);
HERON_API void HeronSetSessionFromGate(HeronSessionFromGateFn fn, void* ctx);

/* ---- The process's main thread. ---- */

/* The gate creates, shows and releases its monitor window only on the
 * process's main thread (the thread the process started with). A host whose
 * main thread runs a Qt event loop needs nothing more. A host whose main
 * thread waits otherwise (a console program) calls HeronPumpMainThread from
 * the main thread in its wait loop: it runs what the gate handed over to the
 * main thread and lets the gate's windows handle their events, for up to
 * WaitMs milliseconds. Returns the number of handed-over calls it ran. With
 * no gate loaded it only waits (up to WaitMs, less when a gate is loaded
 * meanwhile); with a gate loaded, a call on another thread returns 0 at once.
 * Must not run while the gate is being unloaded. */
HERON_API int32_t KESTREL_CALL HeronPumpMainThread(uint32_t WaitMs);

/* For the gate: the pump behind HeronPumpMainThread. The gate installs it
 * when it is loaded and removes it (NULL) before it is unloaded. */
typedef int32_t (*HeronMainThreadPumpFn)(void* ctx, uint32_t wait_ms);
HERON_API void HeronSetMainThreadPump(HeronMainThreadPumpFn fn, void* ctx);

#ifdef __cplusplus
}
#endif

#endif /* KESTREL_HERON_H */
