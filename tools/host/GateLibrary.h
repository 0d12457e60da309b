// The gate as a host program loads it: libKestrel through the dynamic
// loader, its fourteen exports looked up by name, nothing else of it used.
// kestrel, the end-to-end tests' gate_host and the tests of the exports all
// load it this way.
//
// The five transmit and listen exports must be there for the library to
// count as loaded. The nine editing exports may be missing from a build;
// each command that needs one asks for it with Need(), which explains what
// is not available.
//
// Loading runs the library's load code (its gate manager is made). A host
// loads its gate once: the library then stays in the process until it ends,
// when its unload code runs, and destroying the object only forgets the
// exports. Loaded with `keep_loaded` false (a host that loads the gate again
// and again, as the tests of the exports do), destroying the object unloads
// the library when nothing else holds it. Not thread-safe: the main thread
// loads, calls the editing exports and unloads; the transmit exports may be
// called from any thread (kestrel.h).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kestrel/kestrel.h"
#include "platform/SharedLibrary.h"

namespace kestrel::app {

class TGateLibrary {
 public:
  // Loads the library at `path`. Throws EToolError "cannot load the gate
  // library <path>: <reason>", or "... has no export <name>" for one of the
  // five transmit and listen exports.
  static std::unique_ptr<TGateLibrary> Load(const std::string& path, bool keep_loaded = true);

  const std::string& Path() const { return lib_->Path(); }
  // Throws EToolError "the gate library <path> has no export <name>, so
  // <purpose> is not available" when `fn` is null; otherwise returns it.
  template <typename F>
  F Need(F fn, const char* name, const char* purpose) const {
    if (fn == nullptr) Missing(name, purpose);
    return fn;
  }
  // The names of the exports this build lacks.
  std::vector<std::string> MissingExports() const;

#define KESTREL_EXPORT_MEMBER(name) decltype(&::name) name = nullptr;
  KESTREL_EXPORTS(KESTREL_EXPORT_MEMBER)
#undef KESTREL_EXPORT_MEMBER

 private:
  explicit TGateLibrary(std::unique_ptr<platform::TSharedLibrary> lib) : lib_(std::move(lib)) {}
  [[noreturn]] void Missing(const char* name, const char* purpose) const;
  std::unique_ptr<platform::TSharedLibrary> lib_;
};

// Whether `path` lies in the build tree this program was built in.
bool InBuildTree(const std::string& path);

// Where to look for the gate library, first to last: `option` (the
// --gate-library option) or else $KESTREL_GATE_LIBRARY when either is set
// (then nothing else); otherwise libKestrel.so beside the program, in
// ../lib from it, the installed library (libKestrel.so.<major> in the
// install's library folder, found from the program's folder), where the
// build put it (only for a program in that build tree), and last the bare
// name for the loader's own search.
std::vector<std::string> GateLibraryCandidates(const std::string& option, const std::string& program_path);

// Loads the first candidate that exists as a file (the bare name is always
// tried). Throws EToolError naming the candidate tried and why it failed.
std::unique_ptr<TGateLibrary> LoadGateLibrary(const std::string& option);

}  // namespace kestrel::app
