// The packet exchange of TMdmDriver on an established connection: one frame
// sent (MdmSendExch) or received (MdmRecvExch), with alternating kinds,
// repeat suppression and the resend of the last frame sent.
#include <algorithm>

#include "gate/common/Format.h"
#include "gate/common/GateAccess.h"
#include "gate/common/GateLog.h"
#include "gate/common/LogText.h"
#include "modem/MdmFrame.h"
#include "modem/MdmMain.h"
#include "platform/Tick.h"

namespace kestrel::modem {

using gate::Fmt;

namespace {
// The detail of a transfer log line: "<n> bytes for <t> ms; Rate: <r> Bit / sec".
std::string RateDetail(std::size_t bytes, std::uint32_t ms) {
  const double rate = static_cast<double>(bytes) * 8.0 / (static_cast<double>(ms) / 1000.0);
  return Fmt("%u bytes for %u ms; Rate: %s Bit / sec", static_cast<std::uint64_t>(bytes), ms,
             gate::FloatToText(rate));
}
}  // namespace

std::string TransferRateDetail(std::size_t bytes, std::uint32_t ms) { return RateDetail(bytes, ms); }

void TMdmDriver::ResetExchangeState() {
  last_sent_.clear();
  last_sent_kind_ = 0;
  last_recv_kind_ = 0;
  early_data_.clear();
}

std::uint32_t TMdmDriver::ReadFrameBytes(char* buffer, std::uint32_t wanted, std::uint32_t idle_limit,
                                         bool& timed_out, std::uint32_t& elapsed, bool& carrier_lost) {
  const auto early = static_cast<std::uint32_t>(std::min<std::size_t>(early_data_.size(), wanted));
  std::copy_n(early_data_.data(), early, buffer);
  early_data_.erase(0, early);
  timed_out = false;
  carrier_lost = false;
  elapsed = 0;
  if (early == wanted) return early;
  return early + ReadData(buffer + early, wanted - early, timed_out, elapsed, true, carrier_lost, idle_limit);
}

bool TMdmDriver::MdmSendExch(const std::string& data, std::string& err, std::uint32_t timeout_ms) {
  // The port's limit is 16 bits wide; a longer time-out is held at the
  // longest it can express rather than wrapped (70 000 ms would become 4 464).
  const std::uint32_t send_limit = timeout_ms > 0 ? FrameOutputTimeout(timeout_ms) : OutputTimeout;

  err.clear();
  last_sent_kind_ = NextFrameKind(last_sent_kind_);
  last_sent_ = BuildFrame(static_cast<std::uint16_t>(last_sent_kind_), data);

  const std::uint32_t t0 = platform::GetTickCount();
  const bool ok = SendString(last_sent_, send_limit);
  std::uint32_t took = platform::Elapsed(t0, platform::GetTickCount());
  if (took == 0) took = 1;
  gate::GateLog(10, "TMdmDriver.MdmSendExch", RateDetail(data.size(), took));
  if (!ok) {
    err = "TMD.MdmSendExch:(SendString:FALSE)";
    if (LastErrorCode() != 0) err += Fmt(";ErrorCode:(%u);ErrorMsg:%s", LastErrorCode(), LastErrorMsg());
  }
  return ok;
}

bool TMdmDriver::MdmRecvExch(std::string& data, std::string& err, std::uint32_t timeout_ms) {
  // Frames after the first of a connection come in their own time; the
  // first within the caller's time-out (0: the port's InputTimeout). The
  // kind looked at changes only when a frame is accepted, which ends the call.
  const std::uint32_t idle_limit = IsAlternatingKind(last_recv_kind_) ? next_frame_timeout_
                                   : timeout_ms != 0                  ? timeout_ms
                                                                      : InputTimeout;
  data.clear();
  err.clear();
  const std::uint32_t t0 = platform::GetTickCount();
  for (;;) {
    std::string header(kFrameHeaderSize, '\0');
    bool timed_out = false;
    bool carrier_lost = false;
    std::uint32_t elapsed = 0;
    const std::uint32_t got =
        ReadFrameBytes(header.data(), kFrameHeaderSize, idle_limit, timed_out, elapsed, carrier_lost);
    if (got < kFrameHeaderSize) {
      if (gate::GateStopRequested()) {
        err = "Break on stop gate";
        return false;
      }
      if (carrier_lost) {
        err = "TMD.MdmRecvExch:(Carrier Detect is not in GetLineStatus set)";
        return false;
      }
      if (timed_out && platform::Elapsed(t0, platform::GetTickCount()) <= timeout_ms &&
          GetLineStatus().Contains(serial::lsCD)) {
        gate::GateLog(10, "TMdmDriver.MdmRecvExch1:(Resend LastSendedString !!!)");
        if (!last_sent_.empty()) (void)SendString(last_sent_);
        continue;
      }
      if (timed_out) {
        err = Fmt("TMD.MdmRecvExch:(Timeout Happend); InputTimeout: %u; TimeElapsed: %u; Header: ", idle_limit,
                  elapsed) +
              gate::OctetText(header.data(), kFrameHeaderSize, 20);
      } else {
        err = "TMD.MdmRecvExch:(Read Header Size <> 12); Header: " +
              gate::OctetText(header.data(), kFrameHeaderSize, 20) + Fmt("; TimeElapsed: %u", elapsed);
      }
      return false;
    }

    TFrameHeader h;
    if (!ParseFrameHeader(header, h)) {
      err = "TMD.MdmRecvExch:(Check Header failed) Header: " + gate::OctetText(header.data(), kFrameHeaderSize, 20);
      return false;
    }
    if (h.Length > kMaxFramePayload) {
      err = Fmt("TMD.MdmRecvExch:(Input buffer is too large); BufLen: %u", h.Length);
      return false;
    }
    std::string payload(h.Length, '\0');
    const std::uint32_t read =
        h.Length == 0 ? 0 : ReadFrameBytes(payload.data(), h.Length, idle_limit, timed_out, elapsed, carrier_lost);
    if (read < h.Length) {
      if (carrier_lost) {
        err = "TMD.MdmRecvExch:(Carrier Detect is not in GetLineStatus set)";
      } else {
        err = Fmt("TMD.MdmRecvExch:(Can't read Packet of size pointed in header); BufLen: %u; WasRead: %u; "
                  "InputTimeout: %u; TimeElapsed: %u",
                  h.Length, read, idle_limit, elapsed);
      }
      return false;
    }
    if (ByteSum16(payload) != h.PayloadSum) {
      err = "TMD.MdmRecvExch:(Packet CheckSum wrong)";
      return false;
    }
    if (h.Kind == last_recv_kind_ && IsAlternatingKind(h.Kind)) continue;  // a repeat of the frame accepted last
    last_recv_kind_ = h.Kind;
    data = std::move(payload);
    return true;
  }
}

}  // namespace kestrel::modem
