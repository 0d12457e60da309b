// A shared library loaded at run time, its functions looked up by name: how
// a host program loads the gate.
//
// Not thread-safe: one thread opens and closes a library; looked-up functions
// may be called from any thread while the object lives.
#pragma once

#include <memory>
#include <string>

namespace kestrel::platform {

class TSharedLibrary {
 public:
  // Loads the library at `path` (a path, or a bare file name for the
  // loader's search), resolving every symbol now and keeping them local to
  // it. With `keep_loaded` the library stays in the process until it ends,
  // whatever happens to this object (its unload code then runs at exit).
  // Null on failure, with the loader's reason in `error`.
  static std::unique_ptr<TSharedLibrary> Open(const std::string& path, std::string& error, bool keep_loaded = false);
  // Unloads it (the library's unload code runs when this was the last user
  // and it was not kept loaded).
  ~TSharedLibrary();
  TSharedLibrary(const TSharedLibrary&) = delete;
  TSharedLibrary& operator=(const TSharedLibrary&) = delete;

  // The address of the exported symbol `name`, or null when there is none.
  void* Symbol(const char* name) const;
  const std::string& Path() const { return path_; }

 private:
  TSharedLibrary(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  void* handle_;
  std::string path_;
};

}  // namespace kestrel::platform
