#include "tests/kit/SimRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "platform/PortNames.h"
#include "platform/Tick.h"

namespace kestrel::testing {

TSimRig::TSimRig(const sim::TExchangeOptions& options) : runner_(std::make_unique<sim::TExchangeRunner>(options)) {
  runner_->SetEventSink([this](const sim::TExchangeEvent& e) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(e);
    }
    changed_.notify_all();
  });
  runner_->Start();
}

TSimRig::~TSimRig() {
  terminals_.clear();
  runner_.reset();
  for (int p : ports_) platform::SetComPortTarget(p, "");
}

std::string TSimRig::NewLine(const std::string& stem) {
  static std::atomic<int> counter{0};
  return stem + "-" + std::to_string(platform::GetTickCount()) + "-" + std::to_string(++counter);
}

sim::TModemId TSimRig::OnCom(int port, const std::string& number, sim::TModemSetup setup) {
  setup.number = number;
  const std::string line = NewLine();
  const sim::TModemId id = runner_->AddSimModem(line, setup);
  EXPECT_NE(id, sim::kNoModem) << line;
  platform::SetComPortTarget(port, std::string(platform::kSimPortPrefix) + line);
  ports_.push_back(port);
  return id;
}

void TSimRig::Missing(int port) {
  platform::SetComPortTarget(port, std::string(platform::kSimPortPrefix) + NewLine("missing"));
  ports_.push_back(port);
}

sim::TModemId TSimRig::OnPty(const std::string& link, const sim::TModemSetup& setup) {
  std::string error;
  const sim::TModemId id = runner_->AddPtyModem(link, setup, error);
  EXPECT_NE(id, sim::kNoModem) << error;
  return id;
}

sim::TModemId TSimRig::Bare(const sim::TModemSetup& setup) { return runner_->AddModem(setup, nullptr); }

TTerminal& TSimRig::Terminal(const std::string& number, sim::TModemSetup setup) {
  setup.number = number;
  const std::string line = NewLine("terminal");
  EXPECT_NE(runner_->AddSimModem(line, setup), sim::kNoModem) << line;
  return *terminals_.emplace_back(std::make_unique<TTerminal>(line));
}

sim::TModemId TSimRig::Answering(const std::string& number) {
  TTerminal& terminal = Terminal(number);
  // Until the modem said OK: the next call is answered by itself.
  EXPECT_TRUE(terminal.Type("ATE0S0=1\r"));
  EXPECT_NE(terminal.ReadUntil("OK").find("OK"), std::string::npos);
  sim::TModemId id = sim::kNoModem;
  runner_->Configure([&](sim::TExchange& exchange, sim::TSimTime) { id = exchange.Find(number); });
  return id;
}

std::vector<sim::TExchangeEvent> TSimRig::Events(sim::TExchangeEvent::TKind kind, sim::TModemId modem) const {
  std::lock_guard lock(mutex_);
  std::vector<sim::TExchangeEvent> out;
  for (const sim::TExchangeEvent& e : events_)
    if (e.kind == kind && (modem == sim::kNoModem || e.modem == modem)) out.push_back(e);
  return out;
}

bool TSimRig::WaitForEvents(const std::function<bool(const std::vector<sim::TExchangeEvent>&)>& done,
                            std::uint32_t timeout_ms) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return done(events_); });
}

}  // namespace kestrel::testing
