#include "bench/e2e/BenchLine.h"

#include <cstdio>
#include <random>

namespace kestrel::bench {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

TTempDir::TTempDir() {
  std::random_device rd;
  path_ = std::filesystem::temp_directory_path() / ("kestrel-bench-" + std::to_string(rd()));
  std::filesystem::create_directories(path_);
}

TTempDir::~TTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

namespace {

sim::TExchangeOptions LineOptions(std::uint32_t latency_ms, std::uint32_t rate) {
  sim::TExchangeOptions o;
  o.rate = rate;
  o.latency_ms = latency_ms;
  o.dial_ms = 50;
  o.handshake_ms = 100;
  o.ring_on_ms = 200;
  o.ring_off_ms = 300;
  return o;
}

}  // namespace

TLine::TLine(std::uint32_t latency_ms, std::uint32_t rate) : runner_(LineOptions(latency_ms, rate)) {
  runner_.SetEventSink([this](const sim::TExchangeEvent& e) {
    if (e.kind != sim::TExchangeEvent::TKind::kResult || e.text.rfind("CONNECT", 0) != 0) return;
    std::lock_guard lock(mutex_);
    last_connected_ = Clock::now();
    if (!connected_) connected_ = last_connected_;
  });
}

bool TLine::Add(const std::string& link, const std::string& number) {
  std::string error;
  if (runner_.AddPtyModem(link, {.number = number}, error) != sim::kNoModem) return true;
  std::fprintf(stderr, "modem %s: %s\n", number.c_str(), error.c_str());
  return false;
}

std::optional<Clock::time_point> TLine::Connected() {
  std::lock_guard lock(mutex_);
  return connected_;
}

std::optional<Clock::time_point> TLine::LastConnected() {
  std::lock_guard lock(mutex_);
  return last_connected_;
}

std::unique_ptr<platform::TChildProcess> Start(std::vector<std::string> argv, const std::string& com_dir,
                                               bool capture) {
  platform::TChildProcess::TStartInfo desc;
  desc.argv = std::move(argv);
  if (!com_dir.empty()) desc.env = {{"KESTREL_COM_DIR", com_dir}};
  desc.capture_output = capture;
  std::string error;
  auto child = platform::TChildProcess::Start(desc, error);
  if (!child) std::fprintf(stderr, "%s: %s\n", desc.argv[0].c_str(), error.c_str());
  return child;
}

std::string OnLine(const std::string& link, const std::string& command, const std::string& program) {
  return "exec 0<>'" + link + "' 1>&0; stty raw -echo; printf '" + command +
         "\\r'; while IFS= read -r l; do case \"$l\" in *CONNECT*) break;; esac; done; exec " + program;
}

}  // namespace kestrel::bench
