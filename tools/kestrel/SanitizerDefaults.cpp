// What the sanitizers should not report in sanitizer builds of the program
// and of the tests that drive its dialogs: only the toolkit that draws the
// gate's windows, which is not built for them. The runtime asks for these
// lists; other builds never call them.

// The font library Qt loads keeps a cache it never frees.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

// Qt's own locks are invisible to the thread sanitizer, so the memory its
// painting threads share looks raced. Our code stays checked.
extern "C" __attribute__((visibility("default"), used)) const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so.6\n"
         "called_from_lib:libQt6Gui.so.6\n"
         "called_from_lib:libQt6Widgets.so.6\n";
}
