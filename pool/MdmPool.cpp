#include "pool/MdmPool.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "gate/common/Format.h"
#include "gate/common/GateLog.h"
#include "gate/common/LogText.h"
#include "gate/common/MdmError.h"
#include "host/HostObject.h"
#include "platform/CriticalSection.h"
#include "platform/Cp1251.h"
#include "store/MdmSettings.h"

namespace kestrel::pool {

using namespace kestrel::literals;
using gate::BoolToText;
using gate::Fmt;
using gate::GateLog;

namespace {

constexpr std::size_t kGateRecordSize = sizeof(store::TMdmGateSettings);

// The index error of the channel list, in the words the error lines show.
[[noreturn]] void ThrowIndexError(std::int64_t index) {
  throw std::out_of_range(Fmt("List index out of bounds (%d)", index));
}

bool Allowed(const store::TMdmAddress& addr, std::int32_t index) { return addr.UseComPorts[index] != 0; }

std::string ChannelSettingsText(const store::TMdmChannelSettings& rec) {
  const std::string_view port = gate::PortDisplayName(static_cast<int>(rec.PortNumber));
  return Fmt("(Port:%s; BaudRate:%s; DataBits:%s; HwFlow:%s; SwFlow:%s; Parity:%s; StopBits:%s; InitSt:%s; Alias:%s)",
             port, gate::BaudRateName(static_cast<int>(rec.BaudRate)),
             gate::DataBitsName(static_cast<int>(rec.DataBits)), gate::HwFlowName(static_cast<int>(rec.HwFlow)),
             gate::SwFlowName(static_cast<int>(rec.SwFlow)), gate::ParityName(static_cast<int>(rec.Parity)),
             gate::StopBitsName(static_cast<int>(rec.StopBits)), store::ShortTextToString(rec.InitString),
             store::ShortTextToString(rec.Alias));
}

}  // namespace

TMdmPoolManager::TMdmPoolManager() {
  for (std::int32_t i = 0; i < kChannelCount; ++i) {
    auto channel = std::make_unique<modem::TMdmDriver>();
    channel->SetPort(static_cast<gate::TPortNumber>(i + 1));
    identities_[i].store(channel.get(), std::memory_order_release);
    channels_[i] = std::move(channel);
  }
}

TMdmPoolManager::~TMdmPoolManager() {
  DisconnectAll();
  for (std::int32_t i = kChannelCount - 1; i >= 0; --i) {
    // Forget the address first: the channel's own last lines must not find
    // it in a pool that is taking it apart.
    identities_[i].store(nullptr, std::memory_order_release);
    channels_[i].reset();
  }
}

void TMdmPoolManager::DisconnectAll() {
  for (auto& channel : channels_)
    if (channel) channel->Disconnect();
}

modem::TMdmDriver& TMdmPoolManager::Channels(std::int32_t index) {
  if (index < 0 || index >= kChannelCount || !channels_[index]) ThrowIndexError(index);
  return *channels_[index];
}

const modem::TMdmDriver& TMdmPoolManager::Channels(std::int32_t index) const {
  if (index < 0 || index >= kChannelCount || !channels_[index]) ThrowIndexError(index);
  return *channels_[index];
}

std::int32_t TMdmPoolManager::IndexOf(const void* channel) const {
  if (channel == nullptr) return -1;
  for (std::int32_t i = 0; i < kChannelCount; ++i)
    if (identities_[i].load(std::memory_order_acquire) == channel) return i;
  return -1;
}

std::int32_t TMdmPoolManager::GetNumberOfChannelsInitialized() const {
  std::int32_t count = 0;
  for (const auto& channel : channels_)
    if (channel && channel->Initialized()) ++count;
  return count;
}

bool TMdmPoolManager::Init(const void* sett, std::int32_t size) {
  GateLog(10, "TMPM[].Init:(Начало функции)"_cp);
  if (size != 0) {
    if (size < 0 || sett == nullptr) return false;
    const std::string_view block(static_cast<const char*>(sett), static_cast<std::size_t>(size));
    // The gate record is the manager's business; the pool reads the channel part.
    store::TChannelList records;
    if (!store::DecodeChannels(block.substr(std::min(block.size(), kGateRecordSize)), records)) return false;
    for (const store::TMdmChannelSettings& rec : records) {
      const int port = static_cast<int>(rec.PortNumber);
      modem::TMdmDriver& channel = Channels(port - 1);
      channel.SetChannelSettings(rec);
      const std::string_view port_name = gate::PortDisplayName(port);
      GateLog(10, Fmt("TMPM[].Init:(Инициализируем канал %s ...)"_cp, port_name) + ChannelSettingsText(rec));
      std::string test_err;
      if (channel.TestChannel(test_err))
        GateLog(10, Fmt("TMPM[].Init:(Канал %s успешно протестирован)"_cp, port_name));
      else
        GateLog(10, Fmt("TMPM[].Init:(Канал %s при тестировании выдал ошибку:(%s))"_cp, port_name, test_err));
    }
  }
  GateLog(10, "TMPM[].Init:(Конец функции)"_cp,
          Fmt("Return: %s; NumberOfChannelsInitialized: %d", BoolToText(true), GetNumberOfChannelsInitialized()));
  return true;
}

bool TMdmPoolManager::GetChannelFromSetForSending(const store::TMdmAddress& addr,
                                                  const std::vector<std::string>& phones, std::int32_t& channel_index,
                                                  modem::TOwnerId owner, modem::TChannelEvent on_lose_channel,
                                                  std::string& err) {
  err.clear();
  channel_index = -1;
  try {
    if (GetNumberOfChannelsInitialized() == 0) {
      err = "TMPM.GetChannelFromSetForSending:(There no initialized channels.Check gate settings!)";
      return false;
    }
    // An idle channel first, and first one that nobody else is working on:
    // claiming a channel takes its modem's initialisation, and callers that
    // dial at once must spread over the channels instead of queueing behind
    // each other's. Then an idle one, waiting for it; a listening one only
    // when no idle one accepts.
    struct TPass {
      bool may_take_listening;
      bool wait_for_lock;
    };
    for (const TPass pass : {TPass{false, false}, TPass{false, true}, TPass{true, true}}) {
      for (std::int32_t i = 0; i < kChannelCount && channel_index < 0; ++i) {
        if (!Allowed(addr, i)) continue;
        if (Channels(i).InitForSending(pass.may_take_listening, addr, owner, on_lose_channel, err, pass.wait_for_lock))
          channel_index = i;
      }
      if (channel_index >= 0) break;
    }
    if (channel_index < 0) {
      err = "TMPM.GetChannelFromSetForSending:(No free initialized channel for sending)";
      return false;
    }
    if (Channels(channel_index).DialForSending(phones, err)) return true;
    Channels(channel_index).ReleaseSendingChannel();
    channel_index = -1;
    return false;
  } catch (...) {
    const gate::TExceptionInfo info = gate::CurrentExceptionInfo();
    err = "TMPM.GetChannelFromSetForSending:(" + info.ClassName + ":(" + info.Message + "))";
    if (channel_index >= 0) {
      try {
        Channels(channel_index).ReleaseSendingChannel();
      } catch (...) {
        // Still inside the getter's guard: a second failure while giving the
        // channel back cannot change the answer, and `err` tells the first.
      }
      channel_index = -1;
    }
    return false;
  }
}

bool TMdmPoolManager::GetChannelsFromSetForListening(const store::TMdmAddress& addr, TChannelFlags& got,
                                                     modem::TOwnerId owner, modem::TChannelEvent on_two_mdm_connected,
                                                     modem::TChannelEvent on_lose_channel, std::string& err) {
  err.clear();
  try {
    if (GetNumberOfChannelsInitialized() == 0) {
      err = "TMPM.GetChannelsFromSetForListening:(There no initialized channels.Check gate settings!)";
      return false;
    }
    for (std::int32_t i = 0; i < kChannelCount; ++i)
      if (Allowed(addr, i))
        got[i] = Channels(i).InitForListening(addr, owner, on_two_mdm_connected, on_lose_channel, err);
    for (const bool g : got)
      if (g) return true;
    err = "TMPM.GetChannelsFromSetForListening:(No channels got for listening)";
    return false;
  } catch (...) {
    const gate::TExceptionInfo info = gate::CurrentExceptionInfo();
    err = "TMPM.GetChannelFromSetForListening:(" + info.ClassName + ": (" + info.Message + "))";
    return false;
  }
}

void TMdmPoolManager::ReleaseSendingChannelByIndOwner(std::int32_t channel_index, modem::TOwnerId owner) {
  GateLog(10, Fmt("TMPM[].ReleaseSendingChannelByIndOwner:(vChannelIndex: %d; vSeOwner: %s)", channel_index,
                  host::Hex8(owner)));
  if (channel_index >= 0 && channel_index < kChannelCount) {
    modem::TMdmDriver& channel = Channels(channel_index);
    // The owner is checked and the role given up under the channel's lock, so
    // that no other taker can slip in between.
    platform::TLockGuard guard(channel.Lock());
    GateLog(10, Fmt("TMPM[].ReleaseSendingChannelByIndOwner:(vChannelIndex: %d; vSeOwner: %s; "
                    "Channels[vChannelIndex].SendingOwner: %s; Channels[vChannelIndex].ListeningOwner: %s; "
                    "Channels[vChannelIndex].Sending: %s; Channels[vChannelIndex].Listening: %s)",
                    channel_index, host::Hex8(owner), host::Hex8(channel.SendingOwner()),
                    host::Hex8(channel.ListeningOwner()), BoolToText(channel.Sending()),
                    BoolToText(channel.Listening())));
    if (channel.Sending() && channel.SendingOwner() == owner) channel.ReleaseSendingChannel();
  }
  GateLog(10, "TMPM[].ReleaseSendingChannelByIndOwner:(end-function)");
}

void TMdmPoolManager::ReleaseListeningChannelsByOwner(modem::TOwnerId owner) {
  for (auto& channel : channels_) {
    // A channel that listens for somebody else is not touched, not even
    // locked: its lock may be held for a whole dial or frame wait. A listener
    // being released takes no new channel, so one that is not its own now
    // will not become its own before the look under the lock.
    if (!channel || channel->ListeningOwner() != owner) continue;
    platform::TLockGuard guard(channel->Lock());
    if (channel->Listening() && channel->ListeningOwner() == owner) channel->ReleaseListeningChannel();
  }
}

}  // namespace kestrel::pool
