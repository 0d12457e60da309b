#include "sim/ExchangeRunner.h"

#include <algorithm>
#include <chrono>

#include "sim/PtyPort.h"
#include "sim/SimLinePort.h"

namespace kestrel::sim {
namespace {

// Timers wake the thread at most this often; the exchange keeps its own
// schedule, so a late wake-up delays a delivery by at most this much and
// changes no rate.
constexpr TSimTime kQuantum = Millis(1);

}  // namespace

TExchangeRunner::TExchangeRunner(TExchangeOptions options)
    : epoch_(std::chrono::steady_clock::now()), exchange_(options) {}

TExchangeRunner::~TExchangeRunner() {
  Stop();
  for (auto& a : attached_)
    if (a.port) a.port->SetOnActivity({});
}

TSimTime TExchangeRunner::Now() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - epoch_).count();
}

TModemId TExchangeRunner::AddModem(const TModemSetup& setup, std::unique_ptr<TModemPort> port) {
  TModemPort* raw = port.get();
  TModemId id = kNoModem;
  {
    std::lock_guard lock(mutex_);
    const TSimTime now = Now();
    id = exchange_.AddModem(setup);
    // Until a terminal raises DTR the modem has none; under &D2 it then
    // ignores the line's noise, as a real one would.
    exchange_.SetDtr(id, now, setup.dtr_wired ? raw != nullptr && raw->Dtr() : true);
    exchange_.TakeEvents();
    attached_.push_back({id, std::move(port), raw ? raw->DtrDrops() : 0, setup.dtr_wired});
  }
  if (raw) raw->SetOnActivity([this] { Poke(); });
  Poke();
  return id;
}

TModemId TExchangeRunner::AddSimModem(const std::string& line_name, const TModemSetup& setup) {
  auto line = platform::TSimLine::Create(line_name);
  if (!line) return kNoModem;
  return AddModem(setup, std::make_unique<TSimLinePort>(std::move(line)));
}

TModemId TExchangeRunner::AddPtyModem(const std::string& link_path, const TModemSetup& setup, std::string& error) {
  auto port = TPtyPort::Create(link_path, error);
  if (!port) return kNoModem;
  return AddModem(setup, std::move(port));
}

std::string TExchangeRunner::PortDescription(TModemId id) const {
  std::lock_guard lock(mutex_);
  for (const auto& a : attached_)
    if (a.id == id && a.port) return a.port->Describe();
  return {};
}

void TExchangeRunner::Start() {
  std::lock_guard lock(poke_mutex_);
  if (thread_.joinable() || stop_) return;
  thread_ = std::thread([this] { Run(); });
}

void TExchangeRunner::Stop() {
  {
    std::lock_guard lock(poke_mutex_);
    stop_ = true;
  }
  poke_cv_.notify_all();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TExchangeRunner::Configure(const std::function<void(TExchange&, TSimTime now)>& f) {
  {
    std::lock_guard lock(mutex_);
    f(exchange_, Now());
  }
  Poke();
}

void TExchangeRunner::SetEventSink(std::function<void(const TExchangeEvent&)> sink) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
}

void TExchangeRunner::Poke() {
  {
    std::lock_guard lock(poke_mutex_);
    poked_ = true;
  }
  poke_cv_.notify_one();
}

// One pass over everything; returns the exchange's next deadline. Called with
// mutex_ held.
TSimTime TExchangeRunner::Pump() {
  const TSimTime now = Now();
  char buf[4096];
  for (auto& a : attached_) {
    if (!a.port) continue;
    // The bytes are taken before the lines are looked at: the look then comes
    // after every byte taken. A terminal raises DTR before it writes, and
    // writes before it drops DTR; so with DTR on now, the bytes belong after
    // the change (a port opened, then a command), and with DTR off, before it
    // (a last command, then the port closed). Looking at the lines first
    // would let a port opened and written to between the two looks have its
    // first command dropped as sent without DTR.
    std::string bytes;
    for (;;) {
      const std::size_t room = exchange_.Modem(a.id).DteRoom();
      if (room <= bytes.size()) break;
      const std::size_t n = a.port->Read(buf, std::min(room - bytes.size(), sizeof buf));
      if (n == 0) break;
      bytes.append(buf, n);
    }
    const auto feed = [&] {
      if (!bytes.empty()) exchange_.FromDte(a.id, now, bytes);
    };
    if (!a.dtr_wired) {
      feed();
      continue;
    }
    // A drop counts even when DTR is already up again.
    const std::uint32_t drops = a.port->DtrDrops();
    const bool dropped = drops != a.seen_drops;
    a.seen_drops = drops;
    if (a.port->Dtr()) {
      if (dropped) exchange_.SetDtr(a.id, now, false);
      if (!exchange_.Modem(a.id).Dtr()) exchange_.SetDtr(a.id, now, true);
      feed();
    } else {
      feed();
      if (dropped || exchange_.Modem(a.id).Dtr()) exchange_.SetDtr(a.id, now, false);
    }
  }
  exchange_.Advance(now);
  for (auto& a : attached_) {
    THayesModem& modem = exchange_.Modem(a.id);
    const TModemLines lines{modem.DcdLine(), modem.RingLine(), true, true};
    // A modem raises carrier detect before it says CONNECT, and drops it only
    // after the bytes it still holds have gone out: a terminal that reads on
    // at CONNECT must already see the carrier, and one that stops at carrier
    // loss must have had every byte first.
    if (a.port && lines.cd) a.port->SetLines(lines);
    for (;;) {
      const std::size_t n = modem.PeekToDte(now, buf, sizeof buf);
      if (n == 0) break;
      const std::size_t w = a.port ? a.port->Write(buf, n) : n;
      modem.ConsumeToDte(w);
      if (w < n) break;  // the terminal's queue is full; its reading wakes us
    }
    if (a.port) a.port->SetLines(lines);
  }
  // Output taken may have made room for bytes waiting on a line.
  exchange_.Advance(now);
  return exchange_.NextDeadline();
}

void TExchangeRunner::Run() {
  for (;;) {
    {
      std::lock_guard lock(poke_mutex_);
      if (stop_) return;
      poked_ = false;
    }
    const TSimTime pass_start = Now();
    TSimTime deadline = kNever;
    std::vector<TExchangeEvent> events;
    std::function<void(const TExchangeEvent&)> sink;
    try {
      std::lock_guard lock(mutex_);
      deadline = Pump();
      events = exchange_.TakeEvents();
      sink = sink_;
    } catch (...) {
      // Out of memory in a pass: nothing sensible to do but try again at the next wake-up.
      deadline = pass_start + Millis(100);
    }
    ++passes_;
    if (sink) {
      for (const auto& e : events) {
        try {
          sink(e);
        } catch (...) {
          // A failing sink must not end the exchange.
        }
      }
    }
    std::unique_lock lock(poke_mutex_);
    if (stop_) return;
    if (poked_) continue;
    if (deadline == kNever) {
      poke_cv_.wait(lock, [this] { return poked_ || stop_; });
    } else {
      const TSimTime wake = std::max(deadline, pass_start + kQuantum);
      poke_cv_.wait_until(lock, epoch_ + std::chrono::microseconds(wake), [this] { return poked_ || stop_; });
    }
  }
}

}  // namespace kestrel::sim
