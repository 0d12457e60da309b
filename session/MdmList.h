// TMdmListener: the modem gate's listener of incoming calls.
//
// Listen puts every channel that the own address allows into the listening
// role. A channel answers a call by itself and reports the connection with
// DoOnTwoMdmConnected; the listener then binds a new exchanger to that
// channel and starts a framework exchange process running the server side of
// the protocol on it. Destroying the listener gives its listening channels
// back.
//
// Threads: Listen and the destructor run on the framework's thread that
// starts and stops listening. DoOnTwoMdmConnected runs on the answering
// channel's answering thread, inside the channel's lock and with the port's
// poll paused: it only builds objects and starts a thread, and hands any
// work that must close the port to a thread of its own. DoOnLoseChannel runs on whichever
// thread ends a channel's listening role. The manager and its pool must
// outlive the listener.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/Listener.h"
#include "pool/MdmPool.h"
#include "store/MdmAddress.h"

namespace kestrel::platform {
class TThread;
}

namespace kestrel::session {

class TMdmGateManager;

class TMdmListener : public host::TListener {
 public:
  // Copies the own address block; Initialized when it holds at least the
  // 168-byte record (the phone section is not read).
  TMdmListener(TMdmGateManager* manager, const void* self_addr, std::int32_t self_addr_size);
  // Waits for the channels it is giving back from failed answers, then ends
  // the listening role of every channel that listens for it.
  ~TMdmListener() override;

  // Puts the allowed channels into the listening role; false (logged) when
  // the listener is not initialised or no channel accepted. Blocks while the
  // modems are armed.
  [[nodiscard]] bool Listen() override;

  // A channel answered a call and is connected (called by the channel).
  // Builds an exchanger bound to channel `index`, a server protocol and its
  // exchange thread, and enters the thread in the manager's process list.
  // Never throws. When something fails before the thread runs, what was built
  // is freed and the channel is given back from a thread of its own.
  void DoOnTwoMdmConnected(std::int32_t index);
  // A channel ended its listening role for this listener; only logged.
  void DoOnLoseChannel(std::int32_t index);

  bool Initialized() const { return initialized_; }
  const store::TMdmAddress& Addr() const { return addr_; }
  // Which channels Listen put into the listening role.
  const pool::TChannelFlags& ListenChannels() const { return listen_channels_; }

 private:
  std::string Id() const;
  // Gives channel `index` back from the sending role on another thread.
  // Throws what making and starting that thread throws.
  void ReclaimChannel(std::int32_t index);
  void JoinReclaims();

  TMdmGateManager* gate_;
  store::TMdmAddress addr_;
  bool initialized_ = false;
  pool::TChannelFlags listen_channels_{};
  std::mutex reclaim_mutex_;
  std::vector<std::unique_ptr<platform::TThread>> reclaims_;
};

}  // namespace kestrel::session
