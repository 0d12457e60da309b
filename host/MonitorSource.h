// What the framework's monitor window shows about a gate: its channels and
// their activity, and the latest lines of its log. A gate manager that has
// channels implements TMonitorSource besides TGateManager; the window finds
// it there and shows only the framework's own figures for a gate that does
// not.
//
// The texts of the window's rows are pure functions (Windows-1251).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::host {

class TListOfProcess;

enum class TChannelActivity : std::uint8_t {
  kIdle,       // configured, neither listening nor sending
  kListening,  // waiting for calls
  kSending,    // taken for a call that is not connected (yet)
  kConnected,  // a connection is up
};

struct TMonitorChannel {
  std::int32_t Index = -1;  // 0..15 for COM1..COM16
  std::string Alias;        // the operator's name for it
  TChannelActivity Activity = TChannelActivity::kIdle;
  std::uint32_t Owner = 0;  // the identity of the exchanger or listener holding it; 0 none
};

class TMonitorSource {
 public:
  // The configured channels, by index. Called on the user-interface thread
  // while the gate runs; must not block for long.
  virtual std::vector<TMonitorChannel> MonitorChannels() const = 0;
  // Up to `max` latest log lines, oldest first.
  virtual std::vector<std::string> MonitorLogLines(std::size_t max) const = 0;

 protected:
  ~TMonitorSource() = default;
};

// "ожидание", "прослушивание", "вызов", "соединение".
std::string ChannelActivityText(TChannelActivity activity);
// "COM3: Модем 1 - соединение ($0000000A)"; without an alias "COM3 - ...";
// the owner only when there is one.
std::string ChannelRowText(const TMonitorChannel& channel);
// "Процессов: 2; потоков обмена: 1".
std::string ProcessesText(std::size_t processes, std::size_t running_threads);

}  // namespace kestrel::host
