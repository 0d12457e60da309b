#include "tools/kestrel/GateAddresses.h"

#include <cstdlib>
#include <filesystem>

#include "platform/Cp1251.h"
#include "platform/ProcessEnv.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

constexpr std::int32_t kToParams = 0, kFromParams = 1, kFetchBlock = 2, kReleaseParams = 3;

// The phone section holds 100 bytes a number; the gate refuses longer ones
// by throwing through its export, which is better caught before the call.
void CheckPhones(const TParams& params) {
  for (const auto& p : params) {
    if (p.name != "PhonesList") continue;
    std::size_t start = 0;
    while (start <= p.bytes.size()) {
      const std::size_t cut = p.bytes.find_first_of("\r\n", start);
      const std::size_t len = (cut == std::string::npos ? p.bytes.size() : cut) - start;
      if (len > 100)
        throw EToolError("phone number \"" + text::Cp1251ToUtf8(p.bytes.substr(start, len)) +
                         "\" is longer than 100 characters");
      if (cut == std::string::npos) break;
      start = cut + 1;
    }
  }
}

}  // namespace

TParams TGateAddresses::Read(const std::string& block) {
  auto structured = gate_.Need(gate_.StructuredAddress, "StructuredAddress", "reading an address");
  std::string copy = block;
  std::int32_t size = static_cast<std::int32_t>(copy.size());
  TParams params;
  try {
    auto* list = static_cast<TParamList*>(structured(kToParams, copy.data(), &size, nullptr));
    if (list == nullptr)
      throw EToolError("the gate cannot read the address block (" + std::to_string(block.size()) + " bytes)");
    params = ReadParamList(list);
    structured(kReleaseParams, nullptr, nullptr, list);
  } catch (const EToolError&) {
    throw;
  } catch (const std::exception& e) {
    throw EToolError(std::string("the gate failed to read the address block: ") + e.what());
  }
  return params;
}

std::string TGateAddresses::Build(const TParams& params) {
  auto structured = gate_.Need(gate_.StructuredAddress, "StructuredAddress", "building an address");
  CheckPhones(params);
  TOwnedParamList list(params);
  std::int32_t size = 0;
  std::string block;
  try {
    if (structured(kFromParams, nullptr, &size, list.Get()) == nullptr || size <= 0)
      throw EToolError("the gate built no address block from the parameters");
    block.assign(static_cast<std::size_t>(size), '\0');
    if (structured(kFetchBlock, block.data(), &size, list.Get()) == nullptr)
      throw EToolError("the gate did not hand over the address block it built");
  } catch (const EToolError&) {
    throw;
  } catch (const std::exception& e) {
    throw EToolError(std::string("the gate refused the address parameters: ") + e.what());
  }
  return block;
}

std::string TGateAddresses::View(const std::string& block, bool self) {
  auto view = gate_.Need(gate_.ViewAddrGate, "ViewAddrGate", "the address view text");
  auto get = gate_.Need(gate_.GetViewStr, "GetViewStr", "the address view text");
  std::int32_t len = 0;
  if (view(block.empty() ? nullptr : block.data(), static_cast<std::int32_t>(block.size()), self ? 1 : 0, &len) == 0 ||
      len <= 0)
    throw EToolError("the gate gave no view text for the address");
  std::string text(static_cast<std::size_t>(len), '\0');
  if (get(text.data()) == 0) throw EToolError("the gate did not hand over the address view text");
  // The text comes with its terminating NUL.
  if (const std::size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return text::Cp1251ToUtf8(text);
}

std::optional<std::string> TGateAddresses::Edit(const std::string& block, bool self) {
  auto edit = gate_.Need(gate_.EditAddrGate, "EditAddrGate", "the address dialog");
  auto fetch = gate_.Need(gate_.GetGateData, "GetGateData", "the address dialog");
  PrepareDialogs();
  std::int32_t new_size = 0;
  bool confirmed = false;
  try {
    confirmed = edit(block.empty() ? nullptr : block.data(), static_cast<std::int32_t>(block.size()), self ? 1 : 0,
                     &new_size, 0) != 0;
  } catch (const std::exception& e) {
    throw EToolError(std::string("the address dialog failed: ") + e.what());
  }
  if (!confirmed) return std::nullopt;
  if (new_size <= 0) throw EToolError("the address dialog confirmed an empty address");
  std::string result(static_cast<std::size_t>(new_size), '\0');
  if (fetch(result.data()) == 0) throw EToolError("the gate did not hand over the edited address");
  return result;
}

void PrepareDialogs() {
  if (const char* set = std::getenv("KESTREL_FORMS_PLUGIN"); set != nullptr && *set != '\0') return;
#ifdef KESTREL_BUILD_FORMS_PLUGIN
  // An installed program leaves the gate to find its installed plugin.
  std::error_code ec;
  if (InBuildTree(platform::ExecutablePath()) && std::filesystem::is_regular_file(KESTREL_BUILD_FORMS_PLUGIN, ec))
    // Without it the dialogs report that no forms backend was found.
    (void)platform::SetEnvironmentVariable("KESTREL_FORMS_PLUGIN", KESTREL_BUILD_FORMS_PLUGIN);
#endif
}

}  // namespace kestrel::app
