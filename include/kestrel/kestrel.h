/*
 * kestrel.h - the modem transport gate, as its host sees it.
 *
 * The gate is a shared library (libKestrel.so, Kestrel.dll) with exactly
 * fourteen exported functions. A host loads it (dlopen/LoadLibrary), looks the
 * functions up by name (on Windows also by ordinal, 1 to 14 in the order
 * below) and calls them with the types below. On 32-bit Windows every export
 * uses the stdcall convention; elsewhere the platform's C one.
 *
 * Conventions of every export:
 *  - Booleans are one byte (0 false, 1 true); a host reads only that byte.
 *  - Handles of transmit and receive processes are 32-bit values that the
 *    gate returns and later receives back; 0 is "no handle" (and, given to the
 *    Stop functions, means "the whole gate").
 *  - Texts are Windows-1251.
 *  - No export lets an error escape: a failure answers 0 / false / NULL and
 *    is reported through the core's GateInfo (heron.h) as an error line
 *    "MDMGATE.<export>:(Ошибка <class>:(<message>))".
 *  - Blocks handed out are copies. The host learns a block's size first,
 *    allocates a buffer of that size, then asks for the copy (two steps).
 *  - Blocks the host passes (addresses, settings) are only read, and only
 *    during the call; their formats are the gate's own (a host stores them
 *    as opaque bytes). A damaged block is never a crash: it is refused with
 *    an error line, or shown as what could be read.
 *  - The gate reads its settings from the core (ReadGateSettings, heron.h)
 *    for the gate code of the first start, and logs through GateInfo; it
 *    reads no files, registry or environment of its own.
 *
 * Threads. The transmit and listen exports may be called from any thread of
 * the host, but not concurrently with a whole-gate stop (StopTransmit(0),
 * StopListen(0, ...)) nor with unloading the library. Transfers run on the
 * gate's own threads. The editing exports show modal dialogs on the calling
 * thread, which must be the host's user-interface thread, and are not called
 * concurrently with each other. The monitor window lives on the process's
 * main thread (see GateMonitor).
 *
 * Lifetime. Loading the library makes the one gate manager; StopTransmit(0)
 * stops everything and discards it (every later call answers 0 until the
 * library is loaded again). A host stops the whole gate with StopTransmit(0)
 * before it unloads the library. Unloading without it:
 *  - libKestrel.so stops what runs before it goes;
 *  - Kestrel.dll may not wait for its threads while Windows unloads it, so
 *    from its first start until a whole-gate stop the gate holds its own
 *    library: FreeLibrary returns at once and leaves the gate running (its
 *    calls, channels and log); loaded again, it is the same gate, and a
 *    StopTransmit(0) then lets the next FreeLibrary unload it. A process that
 *    ends without a stop ends the gate's threads with it, mid-call.
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

/* ---- The transmit and listen exports (ordinals 1 to 5). ----
 * Each logs a begin and an end line ("MDMGATE.<export>:(Начало функции)" /
 * "(Конец функции)") with its arguments and result. */

/* Starts a transmit process towards the party whose remote address block is
 * AddrPtr/AddrSize (the 168-byte address record followed by its phone
 * numbers), as client SelfIdCl, for GateCode. The first start initialises the
 * gate from the settings the core stores for GateCode (ReadGateSettings),
 * opening and testing each configured modem: that first call blocks for a
 * few seconds per channel. Later starts reuse that initialisation.
 * Returns the process's handle, or 0 when the gate could not be initialised
 * (no settings block the gate can read, no modem channel configured: see the
 * error line) or the process could not be started. The address is copied;
 * AddrPtr may be NULL or short only to be refused. */
KHandle KESTREL_CALL StartTransmit(const void* AddrPtr, int32_t AddrSize, int32_t SelfIdCl, int16_t GateCode,
                                   int16_t OnLineLevel);

/* Queues a copy of the packet DataPtr/DataSize with the core's reference
 * *RefPackPtr on the transmit process TransProc, and returns at once; the
 * packet goes out on the process's own thread, dialling when needed. Its
 * outcome reaches the core later, exactly once: PacketDeliveredFromGate when
 * the far side confirmed it, or RecvFromGate(ref, -10, -1) when it could not
 * be delivered (heron.h). Returns false when the packet was not accepted (an
 * unknown or stopped handle, a NULL reference or data); the core is then
 * told at once with RecvFromGate(ref, -10, -1), unless RefPackPtr is NULL.
 * DataPtr may be NULL only when DataSize is 0. */
KBool KESTREL_CALL SendToGate(const void* DataPtr, int32_t DataSize, const TRefPack* RefPackPtr, KHandle TransProc);

/* TransProc != 0: ends that transmit process and returns at once: the
 * packets it has not started are reported failed now, each once; the packet
 * on its way is confirmed or reported failed by the process itself, which
 * then says goodbye, hangs up and ends on its own thread. Later SendToGate
 * calls with this handle are refused.
 * TransProc == 0: stops the whole gate and discards it: closes the monitor
 * window (on the main thread, only when one is open), ends every transmit and
 * receive process, joins their threads, closes every port, and destroys the
 * gate manager; afterwards every export answers 0 until the library is
 * loaded again, and the log is switched off. Returns within about a second
 * whatever the processes were doing. Returns false when there was nothing to
 * stop (no such process, or no gate manager). */
KBool KESTREL_CALL StopTransmit(KHandle TransProc);

/* Starts a receive process: every channel that the own address block
 * SelfAddrPtr/SelfAddrSize (the 168-byte record) allows is armed to answer
 * calls; each answered call runs on a thread of its own and hands the packets
 * it receives to the core (RecvPacketFromGate, heron.h), each once. Like
 * StartTransmit, the first start initialises the gate (and blocks meanwhile).
 * Returns the process's handle, or 0 when the gate could not be initialised
 * or no allowed channel could be armed (see the error line). */
KHandle KESTREL_CALL StartListen(const void* SelfAddrPtr, int32_t SelfAddrSize, int32_t SelfIdCl, int16_t GateCode,
                                 int16_t OnLineLevel);

/* RecvProc != 0: ends that receive process: its channels stop answering
 * and are closed; a call already answered goes on to its end as its own
 * process. Channels the process does not listen on are neither touched nor
 * waited for, so this returns at once also while another channel dials.
 * RecvProc == 0: stops the whole gate as StopTransmit(0) does, but keeps the
 * gate manager: a later start initialises it again from the stored settings.
 * StopMode is passed to the stop as it is (0 or 1).
 * Returns false when there was nothing to stop. */
KBool KESTREL_CALL StopListen(KHandle RecvProc, KBool StopMode);

/* ---- The editing exports (ordinals 6 to 14). ----
 * Each but GateMonitor answers 0 at once, touching no argument, when the gate
 * manager was discarded (StopTransmit(0)). They write no begin or end lines. */

/* Shows the address dialog, modally, on the calling thread (the host's user
 * interface thread): the own address when SelfAddr is true, a remote party's
 * otherwise, opened on Data/Size (NULL or 0: a new address). Blocks until the
 * operator closes it. *NewSize receives Size first; when the operator
 * confirmed a changed or new address it receives the new block's size and
 * the result is true: fetch the block with GetGateData. NewSize must not be
 * NULL (refused with an error line). Flag has no effect. Returns false, and
 * the host keeps its block, when the operator cancelled or changed nothing,
 * and when no dialog can be shown (no forms backend: see the error line). */
KBool KESTREL_CALL EditAddrGate(const void* Data, int32_t Size, KBool SelfAddr, int32_t* NewSize, KBool Flag);

/* Copies the block of the last confirmed EditAddrGate into Dest, which holds
 * at least the size EditAddrGate reported, and forgets it. False when Dest is
 * NULL (the block is kept for a later call) or no block is held. */
KBool KESTREL_CALL GetGateData(void* Dest);

/* Makes the one-line view text of an address block (SelfAddr as for
 * EditAddrGate; Data NULL gives "Address not exist") and stores its length,
 * the terminating NUL included, into *TextLen (must not be NULL). A damaged
 * block gives a text that says so. Fetch the text with GetViewStr. Always
 * true while the gate manager exists. */
KBool KESTREL_CALL ViewAddrGate(const void* Data, int32_t Size, KBool SelfAddr, int32_t* TextLen);

/* Copies the text of the last ViewAddrGate, its NUL included, into Dest,
 * which holds at least the length ViewAddrGate reported. The text stays for
 * further copies until the next ViewAddrGate. False before any
 * ViewAddrGate. */
KBool KESTREL_CALL GetViewStr(void* Dest);

/* Converts a remote address between its block and the host's parameter list:
 *   Mode 0: reads the block Data (*Size bytes) into the gate's own parameter list and
 *           returns it (a TParamList*, owned by the gate; valid until mode 3).
 *   Mode 1: builds a block from the host's ParamList; stores its size into
 *           *Size and returns ParamList, or NULL when no block could be built
 *           (an error line says why).
 *   Mode 2: copies the block built by mode 1 into Data (*Size bytes at most)
 *           and forgets it; returns ParamList, or NULL without a built block
 *           or with a NULL Data or Size.
 *   Mode 3: frees the gate's parameter list of mode 0; returns ParamList.
 * Any other mode returns NULL. */
void* KESTREL_CALL StructuredAddress(int32_t Mode, void* Data, int32_t* Size, TParamList* ParamList);

/* The settings dialog: as EditAddrGate, for the gate settings block Data/Size
 * (the list of modem channels). Its channel dialog can test a modem, which
 * opens that port for a few seconds. AlwaysSave is passed to the dialog.
 * Fetch a confirmed block with GetGateSetting. */
KBool KESTREL_CALL EditGateSetting(const void* Data, int32_t Size, int32_t* NewSize, KBool AlwaysSave);

/* As GetGateData, for the block of the last confirmed EditGateSetting. */
KBool KESTREL_CALL GetGateSetting(void* Dest);

/* Passes a call to the host framework's adjustment hook with its four
 * arguments unchanged and returns its answer (0 from this framework). */
int32_t KESTREL_CALL AdjustmentGate(int32_t Code, void* Ptr, int32_t* Size, void* Param);

/* Shows the gate's monitor window (channels, processes, the latest log lines,
 * refreshed every second), creating it when there is none, or brings it to
 * the front. The window lives on the process's main thread: called there it
 * runs at once; called on another thread it waits until the main thread has
 * shown it, so the main thread must be handling its events (a toolkit loop,
 * or HeronPumpMainThread, heron.h) — after 10 s without it, nothing is shown
 * and an error line says so. Works also after StopTransmit(0) (the window
 * then shows no gate). */
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
