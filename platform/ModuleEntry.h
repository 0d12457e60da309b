// How the library that holds this code is unloaded, as far as its exports
// must know: whether the process is ending, and a reference to itself that
// keeps it loaded while its threads run.
//
// On Windows the unload runs under the system's loader lock, where joining a
// thread deadlocks, and a library unloaded while its threads run takes their
// code away. So the gate holds itself while it has started anything: the
// host's FreeLibrary then unloads it only after the whole gate was stopped
// (nothing left to join), or at process exit, when the system has ended the
// other threads already and nothing may be waited for. On POSIX systems the
// unload may wait, and no reference is needed.
#pragma once

#include <new>

namespace kestrel::platform {

// Whether the library is being unloaded because the process ends and its
// other threads are gone (Windows); false on POSIX systems, whose exit runs
// the unload beside the threads, which may then be joined.
bool ProcessEnding();

// Takes a reference to this library (once; again does nothing), so that the
// host's unload does not remove it. Any thread.
void HoldThisModule();
// Gives that reference back. Only from a call into the library that the
// host made (the host's own reference keeps it loaded meanwhile).
void ReleaseThisModule();

// An object of static lifetime that goes when its library unloads, but is
// left to the system when the process ends: the system has then ended the
// other threads wherever they were, possibly inside the object's locks or
// condition waits, and destroying those would spin or wait for ever.
// The object lives in the holder's own storage, so its memory stays as
// long as the library's, as a plain static object's does.
template <class T>
class TProcessStatic {
 public:
  TProcessStatic() : object_(new (storage_) T) {}
  ~TProcessStatic() {
    if (!ProcessEnding()) object_->~T();
  }
  TProcessStatic(const TProcessStatic&) = delete;
  TProcessStatic& operator=(const TProcessStatic&) = delete;
  T& operator*() const { return *object_; }
  T* operator->() const { return object_; }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
  T* const object_;
};

}  // namespace kestrel::platform
