/*
 * kestrel.h - the modem transport gate, as its host sees it.
 *
 * The gate is a shared library (libKestrel.so, Kestrel.dll) with exactly
 * fourteen exported functions. A host loads it (dlopen/LoadLibrary), looks the
 * functions up by name and calls them with the types below. On 32-bit Windows
 * every export uses the stdcall convention; elsewhere the platform's C one.
 *
 * Conventions of every export:
 *  - Booleans are one byte (0 false, 1 true).
 *  - Handles of transmit and receive processes are 32-bit values that the
 *    gate returns and later receives back; 0 is "no handle" (and, given to the
 *    Stop functions, means "the whole gate").
 *  - Texts are NUL-terminated Windows-1251.
 *  - No export lets an error escape: failures return 0 / false and are logged
 *    through the core's GateInfo (see heron.h).
 *  - Blocks handed out are copies; the host allocates the destination buffer
 *    after learning its size (two-step hand-over).
 *
 * Thread use: the transmit and listen exports may be called from any thread of
 * the host's core, but not concurrently with a whole-gate stop. The editing
 * exports and their dialogs run on the host's user-interface thread.
 */
#ifndef KESTREL_KESTREL_H
#define KESTREL_KESTREL_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define KESTREL_CALL __stdcall
#else
#define KESTREL_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t KBool;
typedef uint32_t KHandle;

/* The core's reference of one packet. */
typedef struct TRefPack {
  int32_t Number; /* packet number */
  int32_t Date;   /* the core's integer date: days since 0001-01-01, that day being 1 */
  int32_t Time;   /* the core's integer time: milliseconds since midnight */
} TRefPack;

/* Parameter type codes of TParamListItem.ParamType. */
enum {
  PARAM_ENUM = 1,      /* enumeration ordinal, held in Value (low byte), Size 0 */
  PARAM_INT32 = 5,     /* signed 32-bit integer, held in Value, Size 0 */
  PARAM_BOOL = 10,     /* Boolean, held in Value (low byte), Size 0 */
  PARAM_DATETIME = 21, /* 8-byte floating-point day count; Value points to it, Size 8 */
  PARAM_TEXT = 100     /* Size bytes of text without terminator; Value points to them, or Size 0 */
};

/* One named parameter. Value holds a scalar when Size is 0, otherwise it
 * points to Size bytes. Whoever built an item frees it. */
typedef struct TParamListItem {
  char* Name;
  int32_t ParamType;
  intptr_t Value;
  int32_t Size;
} TParamListItem;

/* A list of parameter items, in order. */
typedef struct TParamList {
  int32_t Count;
  int32_t Capacity;
  TParamListItem** Items;
} TParamList;

/* The fourteen exports, in ordinal order (1..14). */
KHandle KESTREL_CALL StartTransmit(const void* AddrPtr, int32_t AddrSize, int32_t SelfIdCl, int16_t GateCode,
                                   int16_t OnLineLevel);
KBool KESTREL_CALL SendToGate(const void* DataPtr, int32_t DataSize, const TRefPack* RefPackPtr, KHandle TransProc);
KBool KESTREL_CALL StopTransmit(KHandle TransProc);
KHandle KESTREL_CALL StartListen(const void* SelfAddrPtr, int32_t SelfAddrSize, int32_t SelfIdCl, int16_t GateCode,
                                 int16_t OnLineLevel);
KBool KESTREL_CALL StopListen(KHandle RecvProc, KBool StopMode);
KBool KESTREL_CALL EditAddrGate(const void* Data, int32_t Size, KBool SelfAddr, int32_t* NewSize, KBool Flag);
KBool KESTREL_CALL GetGateData(void* Dest);
KBool KESTREL_CALL ViewAddrGate(const void* Data, int32_t Size, KBool SelfAddr, int32_t* TextLen);
KBool KESTREL_CALL GetViewStr(void* Dest);
void* KESTREL_CALL StructuredAddress(int32_t Mode, void* Data, int32_t* Size, TParamList* ParamList);
KBool KESTREL_CALL EditGateSetting(const void* Data, int32_t Size, int32_t* NewSize, KBool AlwaysSave);
KBool KESTREL_CALL GetGateSetting(void* Dest);
int32_t KESTREL_CALL AdjustmentGate(int32_t Code, void* Ptr, int32_t* Size, void* Param);
void KESTREL_CALL GateMonitor(void);

#ifdef __cplusplus
}
#endif

/* The fourteen exports in ordinal order, for hosts that look them up by name:
 * KESTREL_EXPORTS(X) expands to X(StartTransmit) X(SendToGate) ... X(GateMonitor).
 * The first five are the transmit and listen exports. */
#define KESTREL_TRANSMIT_EXPORTS(X) X(StartTransmit) X(SendToGate) X(StopTransmit) X(StartListen) X(StopListen)
#define KESTREL_EDITING_EXPORTS(X)                                                                         \
  X(EditAddrGate) X(GetGateData) X(ViewAddrGate) X(GetViewStr) X(StructuredAddress) X(EditGateSetting) \
  X(GetGateSetting) X(AdjustmentGate) X(GateMonitor)
#define KESTREL_EXPORTS(X) KESTREL_TRANSMIT_EXPORTS(X) KESTREL_EDITING_EXPORTS(X)

#endif /* KESTREL_KESTREL_H */
