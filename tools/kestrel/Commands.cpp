#include "tools/kestrel/Commands.h"

namespace kestrel::app {

TStopWait::TStopWait()
    : notifier_([this](const std::string& signal) {
        std::lock_guard lock(mutex_);
        signal_ = signal;
        cv_.notify_all();
      }) {}

std::string TStopWait::Wait() {
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [&] { return !signal_.empty(); });
  return signal_;
}

std::string TStopWait::Signal() {
  std::lock_guard lock(mutex_);
  return signal_;
}

int RunCommand(const TOptions& o) {
  switch (o.command) {
    case TCommand::Demo:
      return RunDemo(o);
    case TCommand::Send:
      return RunSend(o);
    case TCommand::Listen:
      return RunListen(o);
    case TCommand::Sim:
      return RunSim(o);
    case TCommand::SettingsShow:
    case TCommand::SettingsEdit:
    case TCommand::SettingsSet:
      return RunSettings(o);
    case TCommand::AddressShow:
    case TCommand::AddressEdit:
    case TCommand::AddressSet:
      return RunAddress(o);
    case TCommand::PartyAdd:
    case TCommand::PartyList:
    case TCommand::PartyRemove:
    case TCommand::PartyKey:
      return RunParty(o);
    case TCommand::Journal:
      return RunJournal(o);
    case TCommand::Log:
      return RunLog(o);
    case TCommand::Monitor:
      return RunMonitor(o);
    case TCommand::Ports:
      return RunPorts(o);
    case TCommand::Run:
      return RunDeliver(o);
    case TCommand::OutboxList:
    case TCommand::OutboxCancel:
    case TCommand::PartyRetry:
      return RunOutbox(o);
  }
  return 2;
}

}  // namespace kestrel::app
