// TCommPortDriver: synchronous writes and reads.
//
// Both loops keep the rules of a polling loop (what ends them, what they
// count, which flag they set) but block on the port between passes instead of
// asking for the queue counts again at once: with sixteen channels on two
// cores, spinning loops starve each other into spurious time-outs.
#include <algorithm>

#include "platform/ScopeExit.h"
#include "platform/SysError.h"
#include "platform/Thread.h"
#include "platform/Tick.h"
#include "serial/ExCPDrv.h"

namespace kestrel::serial {
namespace {

constexpr std::uint32_t kNoLimit = 0xFFFFFFFFu;

// Ms to wait so that, when it has passed, "more than `limit` ms since
// `start`" holds.
std::uint32_t UntilPast(std::uint32_t start, std::uint32_t limit) {
  if (limit == kNoLimit) return kNoLimit;
  return platform::Remaining(start, platform::GetTickCount(), limit + 1);
}

// One slice of a blocking wait: AbortWaits is asked again after it.
std::uint32_t Slice(std::uint32_t wait_ms) { return std::min(wait_ms, TCommPortDriver::kAbortCheckMs); }

// A read that still wants at least kGatherFrom bytes (a frame's payload, not
// a header) lets the line's bytes gather for a while before it looks again:
// they come at the line's pace, a few at a time, and a look for every few
// would cost a wake-up and a handful of system calls each.
constexpr std::uint32_t kGatherFrom = 256;
constexpr std::uint32_t kGatherMs = 20;

// How long to let bytes gather: what `wanted` bytes take at `baud` (ten bits
// a byte), at most kGatherMs, and never longer than half of an input buffer
// of `buffer` bytes takes to fill.
std::uint32_t GatherMs(std::uint32_t wanted, std::uint32_t buffer, std::uint32_t baud) {
  if (baud == 0) return 0;
  const std::uint64_t bytes = std::min(wanted, buffer / 2);
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes * 10000 / baud, kGatherMs));
}

bool Past(std::uint32_t start, std::uint32_t limit) {
  return platform::Elapsed(start, platform::GetTickCount()) > limit;
}

}  // namespace

std::uint32_t TCommPortDriver::SendDataEx(const void* data, std::uint32_t size, std::uint32_t time_limit) {
  std::uint32_t result = 0;
  if (!Connected()) return 0;
  const std::uint32_t start = platform::GetTickCount();
  const char* position = static_cast<const char*>(data);
  std::uint32_t remaining = size;
  while (remaining > 0) {
    const std::uint16_t free_space = OutFreeSpace();
    std::uint32_t written = 0;
    if (free_space > 0) {
      if (CheckLineStatus && GetLineStatus().Empty()) break;
      // A device that counts no transmit queue (a pseudo-terminal) shows free
      // space even when full; wait for real room here, within the limit, so
      // that the write itself never waits longer than the limit allows.
      if (platform::PortWaitTransmit(FHandle.load(), Slice(UntilPast(start, time_limit))) !=
          platform::TPortWait::kTimeout) {
        ClearLastError();
        const std::uint32_t piece = std::min<std::uint32_t>(free_space, remaining);
        if (!platform::PortWrite(FHandle.load(), position, piece, written)) {
          CaptureLastError();
          break;
        }
      }
      if (written != 0) {
        result += written;
        position += written;
        remaining -= written;
        if (Past(start, time_limit)) break;
        continue;
      }
    }
    if (Past(start, time_limit) || AbortWaits()) break;
    // Nothing went out: sleep until the transmit side has room or the limit
    // has passed, instead of asking again at once.
    (void)platform::PortWaitTransmit(FHandle.load(), Slice(UntilPast(start, time_limit)));
  }
  return result;
}

std::uint32_t TCommPortDriver::SendData(const void* data, std::uint32_t size) {
  return SendDataEx(data, size, OutputTimeout);
}

bool TCommPortDriver::SendString(std::string_view text) { return SendString(text, OutputTimeout); }

bool TCommPortDriver::SendString(std::string_view text, std::uint32_t time_limit) {
  const auto size = static_cast<std::uint32_t>(text.size());
  return SendDataEx(text.data(), size, time_limit) == size;
}

std::uint32_t TCommPortDriver::ReadData(void* buffer, std::uint32_t wanted, bool& timed_out,
                                        std::uint32_t& elapsed, bool check_cd, bool& carrier_lost) {
  return ReadData(buffer, wanted, timed_out, elapsed, check_cd, carrier_lost, InputTimeout);
}

std::uint32_t TCommPortDriver::ReadData(void* buffer, std::uint32_t wanted, bool& timed_out,
                                        std::uint32_t& elapsed, bool check_cd, bool& carrier_lost,
                                        std::uint32_t idle_limit) {
  timed_out = false;
  elapsed = 0;
  carrier_lost = false;
  std::uint32_t result = 0;
  if (!Connected()) return 0;

  // On every way out: the time taken (noted first), and the poll resumed.
  const TPollPause pause(*this);
  const std::uint32_t start = platform::GetTickCount();
  const platform::TScopeExit note_elapsed([&] { elapsed = platform::Elapsed(start, platform::GetTickCount()); });

  char* position = static_cast<char*>(buffer);
  while (wanted > 0) {
    const std::uint32_t waiting = CountRX();
    if (waiting > 0) {
      std::uint32_t got = 0;
      if (!platform::PortRead(FHandle.load(), position, std::min(waiting, wanted), got)) got = 0;
      result += got;
      position += got;
      wanted -= got;
      if (got > 0 && wanted >= kGatherFrom && !AbortWaits())
        platform::SleepFor(GatherMs(wanted, InBufSize(), BaudRateValue()));
      // A count that promises bytes no read delivers (a failing device) must
      // still end by the time limit rather than loop for ever.
      if (got == 0 && Past(start, idle_limit)) {
        timed_out = true;
        break;
      }
      continue;
    }
    std::uint32_t lines = 0;
    if (check_cd) {
      if (!ModemStatus(lines) || (lines & platform::kModemRlsdOn) == 0) {
        carrier_lost = true;
        break;
      }
    }
    if (Past(start, idle_limit) || AbortWaits()) {
      timed_out = true;
      break;
    }
    // Until a byte comes, the lines differ from those just seen (carrier
    // loss), or the limit has passed.
    (void)platform::PortWaitReceive(FHandle.load(), Slice(UntilPast(start, idle_limit)),
                                    check_cd ? &lines : nullptr);
  }
  return result;
}

}  // namespace kestrel::serial
