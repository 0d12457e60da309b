// A pseudo-terminal whose master side this process keeps, and whose slave
// side other processes open as if it were a serial port, through a stable
// symbolic link. The modem simulator plays the far end of that port here.
//
// Create makes the pseudo-terminal in raw mode (no echo, no line editing; the
// two sides share one termios, so a program that opens the slave without
// configuring it gets raw bytes too) and points `link_path` at the slave. An
// I/O thread of the object moves bytes between the master and two buffers:
// Read takes what the slave side wrote, Write queues bytes for it.
//
// "Slave open" is the serial line's DTR: it is on while some process has the
// slave open and drops when the last one closes it. A close that is followed
// at once by a new open (a program that closes and reopens its port) is still
// seen: SlaveCloses() counts every drop, so a caller that compares counts
// misses none. A second process that opens and closes the slave while the
// first holds it drops nothing (unless both opened it in the same instant, so
// that the system reports their opens as one). While the slave is closed the master reports
// a hang-up continuously; the I/O thread then stops watching the master and
// learns of the next open from the file system's open notifications (or,
// where those are missing, by looking every 100 ms, and then a close that is
// followed at once by an open may go unseen), so it never spins.
//
// Bytes written while the slave is closed are dropped, as on a serial line
// with nobody at the other end; bytes that the last process left unread when
// it closed the slave are dropped too, so the next one starts clean.
//
// Thread safety: every member may be called from any thread. The activity
// callback runs on the I/O thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kestrel::platform {

class TPtyLine {
 public:
  struct TOptions {
    std::size_t in_capacity = 4096;    // bytes from the slave side held for Read; beyond, the writer blocks
    std::size_t out_capacity = 65536;  // bytes held for the slave side; Write accepts no more
    // false: learn of a new open by looking every 100 ms, as where the file
    // system gives no open notifications.
    bool watch_opens = true;
  };

  // Creates the pseudo-terminal and the link. An existing symbolic link at
  // `link_path` is replaced (a stale one from an earlier run); anything else
  // there is left alone and makes Create fail. On failure returns null and
  // sets `error` to a readable text with the system's reason.
  static std::unique_ptr<TPtyLine> Create(const std::string& link_path, std::string& error, TOptions options);
  static std::unique_ptr<TPtyLine> Create(const std::string& link_path, std::string& error) {
    return Create(link_path, error, TOptions{});
  }

  // Stops the I/O thread, removes the link (if it still points at this slave)
  // and closes the master, which ends the pseudo-terminal.
  ~TPtyLine();
  TPtyLine(const TPtyLine&) = delete;
  TPtyLine& operator=(const TPtyLine&) = delete;

  const std::string& LinkPath() const;
  const std::string& SlavePath() const;  // "/dev/pts/N"

  // Copies up to `size` bytes the slave side wrote; never blocks.
  std::size_t Read(void* data, std::size_t size);
  std::size_t Pending() const;
  // Queues up to `size` bytes for the slave side and returns how many were
  // taken (all of them, dropped, while the slave is closed). Never blocks.
  std::size_t Write(const void* data, std::size_t size);

  bool SlaveOpen() const;
  std::uint32_t SlaveCloses() const;

  // Called on the I/O thread after bytes arrived, bytes left, or the slave
  // opened or closed. Must be quick; may call this object. An empty function
  // clears it; once SetOnActivity returns, the old callback is not running
  // and will not run again.
  void SetOnActivity(std::function<void()> callback);

  // How many times the I/O thread has woken up; lets tests show that an idle
  // or closed line does not keep the thread busy.
  std::uint64_t Wakeups() const;

  struct TImpl;

 private:
  explicit TPtyLine(std::unique_ptr<TImpl> impl);
  std::unique_ptr<TImpl> impl_;
};

}  // namespace kestrel::platform
