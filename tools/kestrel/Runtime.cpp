#include "tools/kestrel/Runtime.h"

#include <filesystem>

#include "platform/ProcessEnv.h"
#include "tools/kestrel/Clock.h"
#include "tools/kestrel/GateSettings.h"
#include "tools/kestrel/Schema.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

std::unique_ptr<TDatabase> OpenFor(const TGlobalOptions& options) {
  return OpenStore(options.db.empty() ? DefaultDatabasePath() : options.db);
}

}  // namespace

TRuntime::TRuntime(const TGlobalOptions& options)
    : options_(options),
      db_(OpenFor(options)),
      config_(*db_),
      journal_(*db_),
      outbox_(*db_),
      book_(*db_),
      log_(std::make_unique<TLogWriter>(book_)) {}

TRuntime::~TRuntime() {
  StopGate();
  gate_.reset();
  core_.reset();
  admission_.reset();
  log_.reset();
}

void ApplyComDir(const TGlobalOptions& options) {
  if (options.com_dir.empty()) return;
  std::error_code ec;
  if (!std::filesystem::is_directory(options.com_dir, ec))
    throw EToolError("--com-dir " + options.com_dir + " is not a folder");
  // Read by the gate each time it resolves a COM port name.
  if (!platform::SetEnvironmentVariable("KESTREL_COM_DIR", std::filesystem::absolute(options.com_dir).string()))
    throw EToolError("--com-dir " + options.com_dir + " cannot be handed to the gate");
}

void TRuntime::LoadGate(TCoreEvents& events, bool admit_unknown) {
  ApplyComDir(options_);
  admission_ = std::make_unique<TAdmission>(events, config_, journal_, admit_unknown);
  // Each line is kept with the time it arrived.
  core_ = std::make_unique<TCore>(*admission_, [log = log_.get()](TLogLine line) {
    line.time = NowText();
    log->Add(std::move(line));
  });
  gate_ = LoadGateLibrary(options_.gate_library);
}

bool TRuntime::StopGate() {
  if (!started_ || !gate_) return false;
  started_ = false;
  return gate_->StopTransmit(0) != 0;
}

std::string TRuntime::RequireSettings() {
  auto block = config_.GateSettings(options_.gate_code);
  if (!block)
    throw EToolError("no gate settings for gate code " + std::to_string(options_.gate_code) + " in " + db_->Path() +
                     " (run kestrel settings set --channel port=1 or kestrel settings edit)");
  return *block;
}

std::string TRuntime::RequireChannelSettings() {
  std::string block = RequireSettings();
  if (ReadSettings(block).channels.empty())
    throw EToolError("no modem channel is configured for gate code " + std::to_string(options_.gate_code) + " in " +
                     db_->Path() + " (run kestrel settings set --channel port=1)");
  return block;
}

TOwnAddress TRuntime::RequireOwnAddress() {
  auto own = config_.OwnAddress(options_.gate_code);
  if (!own)
    throw EToolError("no own address for gate code " + std::to_string(options_.gate_code) + " in " + db_->Path() +
                     " (run kestrel address set --client-id N --ports 1)");
  return *own;
}

}  // namespace kestrel::app
