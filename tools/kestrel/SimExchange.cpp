#include "tools/kestrel/SimExchange.h"

#include "sim/EventText.h"
#include "sim/PtyPort.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {

std::vector<std::string> TLineSplitter::Add(std::string_view bytes) {
  std::vector<std::string> lines;
  for (const char ch : bytes) {
    if (ch == '\r' || ch == '\n') {
      if (!pending_.empty()) lines.push_back(std::move(pending_));
      pending_.clear();
      continue;
    }
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c >= 0x7F) {
      static const char* kHex = "0123456789ABCDEF";
      pending_ += std::string("<") + kHex[c >> 4] + kHex[c & 15] + ">";
    } else {
      pending_.push_back(ch);
    }
    // A runaway line (binary data taken for text) is shown in pieces.
    if (pending_.size() > 200) lines.push_back(std::move(pending_)), pending_.clear();
  }
  return lines;
}

// The modem's port with a tap: while no call is up, what passes through it
// is shown as lines. Runs on the runner's thread only, as the port does, and
// so does the event sink that tells it when a call ends.
struct TSimExchange::TTap final : sim::TModemPort {
  TTap(std::unique_ptr<sim::TModemPort> inner, TConsole& console, std::string who)
      : inner(std::move(inner)), console(console), who(std::move(who)) {}

  std::size_t Read(void* data, std::size_t size) override {
    const std::size_t n = inner->Read(data, size);
    if (show && !online) {
      for (const auto& line : from_terminal.Add(std::string_view(static_cast<const char*>(data), n)))
        console.Line(prefix + who + " <- " + line);
    }
    return n;
  }
  std::size_t Write(const void* data, std::size_t size) override {
    const std::size_t n = inner->Write(data, size);
    if (show && !online) {
      for (const auto& line : to_terminal.Add(std::string_view(static_cast<const char*>(data), n))) {
        if (!shown_result.empty() && line == shown_result) {
          shown_result.clear();
          continue;
        }
        console.Line(prefix + who + " -> " + line);
        // From CONNECT on, the port carries the call's data.
        if (line.rfind("CONNECT", 0) == 0) {
          online = true;
          from_terminal.Clear();
          to_terminal.Clear();
        }
      }
    }
    return n;
  }
  bool Dtr() const override { return inner->Dtr(); }
  std::uint32_t DtrDrops() const override { return inner->DtrDrops(); }
  void SetLines(const sim::TModemLines& lines) override { inner->SetLines(lines); }
  void SetOnActivity(std::function<void()> callback) override { inner->SetOnActivity(std::move(callback)); }
  std::string Describe() const override { return inner->Describe(); }

  // `result`: the result word the event already showed, if the modem's
  // bytes for it are still to come.
  void CallEnded(const std::string& result) {
    shown_result = result;
    online = false;
    from_terminal.Clear();
    to_terminal.Clear();
  }

  std::unique_ptr<sim::TModemPort> inner;
  TConsole& console;
  std::string who;
  std::string prefix;
  bool show = false;
  bool online = false;
  std::string shown_result;
  TLineSplitter from_terminal, to_terminal;
};

TSimExchange::TSimExchange(const sim::TExchangeOptions& options, TConsole& console, std::string prefix,
                           bool show_dialogue)
    : console_(console), prefix_(std::move(prefix)), show_(show_dialogue), runner_(options) {
  runner_.SetEventSink([this](const sim::TExchangeEvent& e) {
    using K = sim::TExchangeEvent::TKind;
    const auto tap = taps_.find(e.modem);
    if (tap == taps_.end()) return;
    const bool online = tap->second->online;
    // Between calls the tap shows the modem's results as it says them; the
    // one that ends a call arrives while the tap still takes the port for data.
    const bool shown_here = e.kind != K::kDtr && (e.kind != K::kResult || online);
    const bool call_over =
        e.kind == K::kHangUp || e.kind == K::kCarrierDrop || (e.kind == K::kResult && e.text.rfind("CONNECT", 0) != 0);
    if (call_over) tap->second->CallEnded(e.kind == K::kResult && online ? e.text : std::string());
    if (!show_ || !shown_here) return;
    const auto it = names_.find(e.modem);
    console_.Line(prefix_ + sim::EventText(e, it == names_.end() ? "?" : it->second));
  });
}

TSimExchange::~TSimExchange() { runner_.Stop(); }

void TSimExchange::AddModem(const std::string& number, const std::string& link, const sim::TModemSetup& setup) {
  std::string error;
  auto port = sim::TPtyPort::Create(link, error);
  if (!port) throw EToolError("modem " + number + ": " + error);
  auto tap = std::make_unique<TTap>(std::move(port), console_, number);
  tap->prefix = prefix_;
  tap->show = show_;
  TTap* raw = tap.get();
  sim::TModemSetup s = setup;
  s.number = number;
  const sim::TModemId id = runner_.AddModem(s, std::move(tap));
  if (id == sim::kNoModem) throw EToolError("modem " + number + ": the exchange refused it");
  names_[id] = number;
  taps_[id] = raw;
}

std::string TSimExchange::Describe(const std::string& number) const {
  for (const auto& [id, name] : names_)
    if (name == number) return runner_.PortDescription(id);
  return {};
}

void TSimExchange::Start() { runner_.Start(); }

}  // namespace kestrel::app
