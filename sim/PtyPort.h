// A simulated modem's port on the master of a pseudo-terminal
// (platform/Pty.h): other processes open the slave through the link and find
// the modem there. DTR is "some process has the slave open"; closing it is a
// DTR drop. A pseudo-terminal has no modem lines, so SetLines does nothing:
// programs learn of the carrier from the result words, as they would through
// a three-wire cable.
#pragma once

#include <memory>
#include <string>

#include "platform/Pty.h"
#include "sim/ModemPort.h"

namespace kestrel::sim {

class TPtyPort final : public TModemPort {
 public:
  // `pty` must not be null.
  explicit TPtyPort(std::unique_ptr<platform::TPtyLine> pty) : pty_(std::move(pty)) {}
  ~TPtyPort() override { pty_->SetOnActivity({}); }

  // Makes the pseudo-terminal and its link; null with `error` set on failure.
  static std::unique_ptr<TPtyPort> Create(const std::string& link_path, std::string& error);

  std::size_t Read(void* data, std::size_t size) override { return pty_->Read(data, size); }
  std::size_t Write(const void* data, std::size_t size) override { return pty_->Write(data, size); }
  bool Dtr() const override { return pty_->SlaveOpen(); }
  std::uint32_t DtrDrops() const override { return pty_->SlaveCloses(); }
  void SetLines(const TModemLines&) override {}
  void SetOnActivity(std::function<void()> callback) override { pty_->SetOnActivity(std::move(callback)); }
  std::string Describe() const override { return pty_->LinkPath() + " -> " + pty_->SlavePath(); }

  platform::TPtyLine& Pty() { return *pty_; }

 private:
  std::unique_ptr<platform::TPtyLine> pty_;
};

inline std::unique_ptr<TPtyPort> TPtyPort::Create(const std::string& link_path, std::string& error) {
  auto pty = platform::TPtyLine::Create(link_path, error);
  return pty ? std::make_unique<TPtyPort>(std::move(pty)) : nullptr;
}

}  // namespace kestrel::sim
