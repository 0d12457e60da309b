// The other side of a serial device, as a terminal program sees it: opens a
// device (a pseudo-terminal slave, usually through its link) in raw mode and
// reads and writes it with deadlines. Tests and tools use it to stand where
// a program such as the gate or a dialler stands.
//
// Closing the peer (or destroying it) closes the device, which a modem sees
// as DTR dropping.
//
// Not thread-safe: one thread uses a peer at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::platform {

class TPtyPeer {
 public:
  // Opens `path` for reading and writing, raw, in blocking mode (so that a
  // program run on it with RunProgram sees an ordinary terminal). Null on
  // failure, with a readable reason in `error`.
  static std::unique_ptr<TPtyPeer> Open(const std::string& path, std::string& error);
  ~TPtyPeer();
  TPtyPeer(const TPtyPeer&) = delete;
  TPtyPeer& operator=(const TPtyPeer&) = delete;

  // Writes all of `bytes`, waiting up to `timeout_ms` for room; false when not all went.
  [[nodiscard]] bool Write(std::string_view bytes, std::uint32_t timeout_ms = 2000);
  // Returns what arrives until `needle` has been read (everything read so
  // far, the needle included) or `timeout_ms` passed (then what was read).
  std::string ReadUntil(std::string_view needle, std::uint32_t timeout_ms);
  // Returns everything that arrives within `duration_ms`.
  std::string ReadFor(std::uint32_t duration_ms);
  // Returns once `count` bytes were read or `timeout_ms` passed.
  std::string ReadCount(std::size_t count, std::uint32_t timeout_ms);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Runs the program argv[0] (a path) with this device as its standard input
  // and output; its standard error is the caller's. Waits up to `timeout_ms`
  // for it to end and kills it then. Returns its exit status, or -1 when it
  // could not be started, was killed or died of a signal.
  int RunProgram(const std::vector<std::string>& argv, std::uint32_t timeout_ms);

 private:
  explicit TPtyPeer(int fd) : fd_(fd) {}
  int fd_;
};

// True when `path` names an executable file.
bool IsExecutable(const std::string& path);

}  // namespace kestrel::platform
