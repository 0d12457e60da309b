// A party's modem address block: the record TMdmAddress (168 bytes) followed,
// for a remote party, by the phone section: a 32-bit count N and N entries of
// 100 bytes, each a phone number filled up with blanks. The own address has
// no phone section (its block is the 168 bytes alone).
//
// TMdmAddress is a packed little-endian byte image: read from a block with
// memcpy, written back the same way. Its wider fields are unaligned: use them
// by value (assign, copy, pass by value), never bind a reference to one or
// take its address. Its time spans are day fractions
// (1.0 = 24 hours); the gate waits for the time-of-day part of one.
//
// Everything here is a pure function of its arguments: thread-safe, no I/O.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gate/common/MdmTypes.h"

namespace kestrel::store {

static_assert(std::endian::native == std::endian::little, "stored records are little-endian byte images");

inline constexpr std::size_t kPhoneEntrySize = 100;  // bytes of one phone entry

#pragma pack(push, 1)

struct TMdmAddress {
  std::uint8_t Version;     // 1
  std::uint8_t SubVersion;  // 0
  gate::TDialType DialPhoneType;
  double RestoreConnAfterBreakTimeOut;  // time spans: fractions of a day
  double DataWaitTimeOut;
  double StayOnLineTimeOut;
  double RestoreConnTimeOut;
  std::int32_t RestoreConnTries;
  double DialTimeOut;
  std::int32_t IdCl;                       // the party's identifier; -1 = none
  std::uint8_t UseComPorts[gate::kPortCount];  // byte k non-zero: COM(k+1) may be used
  std::uint8_t Reserved[101];
};

#pragma pack(pop)

static_assert(sizeof(TMdmAddress) == 168);
static_assert(offsetof(TMdmAddress, Version) == 0);
static_assert(offsetof(TMdmAddress, SubVersion) == 1);
static_assert(offsetof(TMdmAddress, DialPhoneType) == 2);
static_assert(offsetof(TMdmAddress, RestoreConnAfterBreakTimeOut) == 3);
static_assert(offsetof(TMdmAddress, DataWaitTimeOut) == 11);
static_assert(offsetof(TMdmAddress, StayOnLineTimeOut) == 19);
static_assert(offsetof(TMdmAddress, RestoreConnTimeOut) == 27);
static_assert(offsetof(TMdmAddress, RestoreConnTries) == 35);
static_assert(offsetof(TMdmAddress, DialTimeOut) == 39);
static_assert(offsetof(TMdmAddress, IdCl) == 47);
static_assert(offsetof(TMdmAddress, UseComPorts) == 51);
static_assert(offsetof(TMdmAddress, Reserved) == 67);

inline constexpr std::uint32_t kMsPerDay = 86'400'000;

// The default address: version 1.0, pulse dialling, restore after a break
// 1 min, data wait 1 min, stay on line 3 min, restore 30 s, 2 tries, dial
// 30 s, IdCl -1, no port, every other byte zero.
TMdmAddress DefaultAddress();

// The milliseconds of the time-of-day part of a time span, 0..86399999: the
// whole days are dropped (exactly one day gives 0), a negative span counts
// by its magnitude, and NaN or infinity gives 0.
std::uint32_t TimeSpanToMs(double span);
// A time span of `ms` milliseconds, taken modulo one day.
double MsToTimeSpan(std::uint32_t ms);

// The phone section of a list of lines. Lines that are empty once blanks and
// control characters are trimmed from both ends are dropped; every other line
// is stored unchanged (untrimmed), filled up to 100 bytes with blanks.
// A line longer than 100 bytes whose trailing blanks and control characters
// make up the excess is stored without them (they never come back anyway);
// a line whose number itself is longer than 100 characters throws
// EParamListError "Phone number '<line>' is longer than 100 characters":
// a cut number would dial somebody else.
std::string EncodePhones(const std::vector<std::string>& lines);

// Reads a phone section. Shorter than 4 bytes: false, `phones` untouched.
// Otherwise `phones` is emptied; a negative count or a length other than
// exactly 4 + 100 * count gives false (and the list stays empty); else every
// entry, trimmed of blanks and control characters at both ends, is appended
// (an all-blank entry gives an empty string) and the result is true. Never
// reads outside `section`.
[[nodiscard]] bool DecodePhones(std::string_view section, std::vector<std::string>& phones);

// `text` without the blanks and control characters (bytes 0..32) at both ends.
std::string_view TrimBlanks(std::string_view text);

}  // namespace kestrel::store
