#include "tools/host/GateLibrary.h"

#include <cstdlib>
#include <filesystem>

#include "platform/ProcessEnv.h"
#include "tools/host/ToolError.h"

namespace kestrel::app {
namespace {

constexpr const char* kLibraryName = "libKestrel.so";

template <typename F>
void Find(const platform::TSharedLibrary& lib, const char* name, F& fn) {
  fn = reinterpret_cast<F>(lib.Symbol(name));
}

}  // namespace

std::unique_ptr<TGateLibrary> TGateLibrary::Load(const std::string& path, bool keep_loaded) {
  std::string why;
  // A host loads its gate once: the library stays until the program ends,
  // and its unload code runs then. (Unloaded earlier, what it keeps in
  // function-local statics would be lost with it.)
  auto lib = platform::TSharedLibrary::Open(path, why, keep_loaded);
  if (!lib) throw EToolError("cannot load the gate library " + path + ": " + why);
  std::unique_ptr<TGateLibrary> gate(new TGateLibrary(std::move(lib)));
  const auto& l = *gate->lib_;
#define KESTREL_FIND_EXPORT(name) Find(l, #name, gate->name);
  KESTREL_EXPORTS(KESTREL_FIND_EXPORT)
#undef KESTREL_FIND_EXPORT
#define KESTREL_EXPORT_ENTRY(name) {reinterpret_cast<const void*>(gate->name), #name},
  const std::pair<const void*, const char*> required[] = {KESTREL_TRANSMIT_EXPORTS(KESTREL_EXPORT_ENTRY)};
#undef KESTREL_EXPORT_ENTRY
  for (const auto& [fn, name] : required)
    if (fn == nullptr) throw EToolError("the gate library " + path + " has no export " + name + ": not a Kestrel gate");
  return gate;
}

std::vector<std::string> TGateLibrary::MissingExports() const {
  std::vector<std::string> missing;
#define KESTREL_EXPORT_ENTRY(name) {reinterpret_cast<const void*>(name), #name},
  const std::pair<const void*, const char*> all[] = {KESTREL_EDITING_EXPORTS(KESTREL_EXPORT_ENTRY)};
#undef KESTREL_EXPORT_ENTRY
  for (const auto& [fn, name] : all)
    if (fn == nullptr) missing.emplace_back(name);
  return missing;
}

void TGateLibrary::Missing(const char* name, const char* purpose) const {
  throw EToolError("the gate library " + Path() + " has no export " + name + ", so " + purpose +
                   " is not available with it");
}

bool InBuildTree(const std::string& path) {
  const std::string build = std::string(KESTREL_BUILD_DIR) + "/";
  return path.compare(0, build.size(), build) == 0;
}

std::vector<std::string> GateLibraryCandidates(const std::string& option, const std::string& program_path) {
  if (!option.empty()) return {option};
  if (const char* env = std::getenv("KESTREL_GATE_LIBRARY"); env != nullptr && *env != '\0') return {env};
  std::vector<std::string> out;
  if (!program_path.empty()) {
    const std::filesystem::path dir = std::filesystem::path(program_path).parent_path();
    out.push_back((dir / kLibraryName).string());
    out.push_back((dir.parent_path() / "lib" / kLibraryName).string());
#if defined(KESTREL_LIBDIR_FROM_BINDIR) && defined(KESTREL_GATE_SONAME)
    // Installed (cmake --install, the Debian packages): the runtime library
    // by its SONAME where the install put it, found from the program's own
    // place so that a tree installed under any prefix runs as it is.
    out.push_back((dir / KESTREL_LIBDIR_FROM_BINDIR / KESTREL_GATE_SONAME).lexically_normal().string());
#endif
  }
#ifdef KESTREL_BUILD_GATE_LIBRARY
  // Only a program of this build looks into the build tree; an installed
  // copy never takes a library from a build that happens to lie around.
  if (InBuildTree(program_path)) out.emplace_back(KESTREL_BUILD_GATE_LIBRARY);
#endif
  out.emplace_back(kLibraryName);
  return out;
}

std::unique_ptr<TGateLibrary> LoadGateLibrary(const std::string& option) {
  const auto candidates = GateLibraryCandidates(option, platform::ExecutablePath());
  for (std::size_t i = 0; i + 1 < candidates.size(); ++i) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(candidates[i], ec)) return TGateLibrary::Load(candidates[i]);
  }
  // The last candidate is tried whatever: an explicit path that is missing
  // gets the loader's own "No such file" text, the bare name its search.
  return TGateLibrary::Load(candidates.back());
}

}  // namespace kestrel::app
