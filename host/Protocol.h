// The framework's protocol, exchange thread and process list, as the gate's
// listener uses them to serve an answered call:
//
//   auto* p = new TProtocol(manager, TWhoIsIt::Server, self_addr, size);
//   p->Exchanger = exchanger;          // the framework owns it from now on
//   p->InitServer(1, restore_timeout, restore_tries);
//   auto* t = new TExchangeThread(p, manager, 0);   // starts running p
//   manager->ProcessList->AddProcess(t, TKindOfProcess::Exchange);
//
// From then on the framework owns protocol, thread and exchanger and calls the
// exchanger's DisConnect when the session ends.
#pragma once

#include <cstdint>

namespace kestrel::host {

class TExchanger;
class TGateManager;

enum class TWhoIsIt : std::int32_t { Client = 0, Server = 1 };
enum class TKindOfProcess : std::int32_t { Transmit = 0, Exchange = 1, Listen = 2 };

class TProtocol;
class TExchangeThread;
class TListOfProcess;

}  // namespace kestrel::host
