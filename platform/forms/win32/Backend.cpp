// The Win32 backend of the forms layer, built as the plugin
// KestrelFormsWin32.dll with one exported entry point (PluginLoader.h).
//
// Calls posted to the user-interface thread travel through that thread's
// message queue: a message-only window of the backend lives there, and a
// message to it runs what was queued. So they reach the thread from any
// loop it runs (a modal form's, a message box's, the host's own) without
// the host doing anything for it. The user-interface thread is the first
// thread that used the backend; when a call is posted before any did, it is
// the process's first thread, reached once through a message hook that
// makes the window there.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>

#include "platform/forms/win32/Peers.h"
#include "platform/forms/win32/Text.h"

namespace kestrel::forms::win32 {
namespace {

constexpr wchar_t kPostClass[] = L"KestrelFormsPost";
constexpr wchar_t kTimerClass[] = L"KestrelFormsTimer";
constexpr UINT kRunPosted = WM_APP + 1;
constexpr UINT_PTR kTimerId = 1;

LRESULT CALLBACK PostProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK TimerProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK WakeHook(int code, WPARAM wparam, LPARAM lparam);

void RegisterHelperClass(const wchar_t* name, WNDPROC proc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = ThisModule();
  wc.lpszClassName = name;
  if (::RegisterClassExW(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw std::runtime_error("Kestrel forms (Win32): cannot register a window class (error " +
                             std::to_string(::GetLastError()) + ")");
}

// The thread the process started with: the one created first.
DWORD FirstThreadOfProcess() {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  const DWORD process = ::GetCurrentProcessId();
  DWORD first = 0;
  ULONGLONG earliest = ~0ULL;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != process) continue;
    ULONGLONG created = ~0ULL - 1;  // unknown: after every known one, before none
    if (HANDLE thread = ::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID)) {
      FILETIME creation{}, exit{}, kernel{}, user{};
      if (::GetThreadTimes(thread, &creation, &exit, &kernel, &user))
        created = (static_cast<ULONGLONG>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
      ::CloseHandle(thread);
    }
    if (first == 0 || created < earliest) {
      first = entry.th32ThreadID;
      earliest = created;
    }
  }
  ::CloseHandle(snapshot);
  return first;
}

std::wstring ApplicationName() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name(path, n);
  const auto slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  const auto dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos && dot > 0) name.erase(dot);
  return name;
}

// A repeating timer on a message-only window of the thread that made it:
// its ticks are window messages, which every message loop hands on.
class TWinTimerPeer final : public TTimerPeer {
 public:
  explicit TWinTimerPeer(TTimerSink& sink) : sink_(&sink) {
    hwnd_ = ::CreateWindowExW(0, kTimerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr);
    if (hwnd_ == nullptr)
      throw std::runtime_error("Kestrel forms (Win32): cannot create a timer (error " +
                               std::to_string(::GetLastError()) + ")");
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~TWinTimerPeer() override {
    sink_ = nullptr;
    ::KillTimer(hwnd_, kTimerId);
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);
  }
  void SetInterval(std::uint32_t ms) override {
    interval_ = std::max<UINT>(ms, USER_TIMER_MINIMUM);
    if (enabled_) ::SetTimer(hwnd_, kTimerId, interval_, nullptr);
  }
  void SetEnabled(bool enabled) override {
    enabled_ = enabled;
    if (enabled)
      ::SetTimer(hwnd_, kTimerId, interval_, nullptr);
    else
      ::KillTimer(hwnd_, kTimerId);
  }
  void Tick() {
    if (sink_ != nullptr && enabled_) sink_->PeerTimer();
  }

 private:
  TTimerSink* sink_;
  HWND hwnd_ = nullptr;
  UINT interval_ = 1000;
  bool enabled_ = false;
};

class TWinBackend final : public TBackend {
 public:
  static TWinBackend& Instance() {
    // Lives as long as the process: the plugin is never unloaded.
    static auto* backend = new TWinBackend;
    return *backend;
  }

  std::string_view Name() const override { return "win32"; }

  void Start() override {
    std::call_once(prepared_, &Prepare);
    std::lock_guard lock(post_mutex_);
    if (post_hwnd_ == nullptr) MakePostWindow();
  }

  std::unique_ptr<TFormPeer> CreateForm(const TControlDesc& desc, TControlSink& sink) override {
    Start();
    return std::make_unique<TWinForm>(desc, sink);
  }

  std::unique_ptr<TControlPeer> CreateControl(TControlPeer& parent, const TControlDesc& desc,
                                              TControlSink& sink) override {
    Start();
    auto* container = dynamic_cast<TWinContainer*>(&parent);
    if (container == nullptr) throw std::runtime_error("Kestrel forms (Win32): a control's parent must be a container");
    return MakeControlPeer(*container, desc, sink);
  }

  void ShowMessage(TMsgKind kind, const std::string& caption, const std::string& text) override {
    Start();
    const std::wstring title = caption.empty() ? ApplicationName() : Widen(caption);
    UINT flags = MB_OK;
    if (kind == TMsgKind::kError) flags |= MB_ICONERROR;
    if (kind == TMsgKind::kInformation) flags |= MB_ICONINFORMATION;
    // Over the window the operator works in; without one, every window of
    // the thread waits for the box.
    HWND owner = ::GetActiveWindow();
    if (owner == nullptr) flags |= MB_TASKMODAL;
    if (::MessageBoxW(owner, Widen(text).c_str(), title.c_str(), flags) == 0)
      throw std::runtime_error("Kestrel forms (Win32): cannot show a message box (error " +
                               std::to_string(::GetLastError()) + ")");
  }

  bool PostToUiThread(std::function<void()> call) override {
    std::lock_guard lock(post_mutex_);
    if (post_hwnd_ == nullptr) {
      if (!WakeFirstThread()) return false;
      posted_.push_back(std::move(call));
      return true;
    }
    posted_.push_back(std::move(call));
    if (::PostMessageW(post_hwnd_, kRunPosted, 0, 0)) return true;
    posted_.pop_back();
    return false;
  }

  void DropPosted() override {
    std::deque<std::function<void()>> dropped;
    std::lock_guard lock(post_mutex_);
    dropped.swap(posted_);
  }

  bool ProcessEvents(std::uint32_t wait_ms) override {
    {
      std::lock_guard lock(post_mutex_);
      if (post_hwnd_ == nullptr) {
        if (!Prepared()) return false;
        MakePostWindow();
      } else if (ui_thread_ != ::GetCurrentThreadId()) {
        return false;
      }
    }
    const ULONGLONG deadline = ::GetTickCount64() + wait_ms;
    for (;;) {
      MSG msg{};
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          // The host's own loop must see it.
          ::PostQuitMessage(static_cast<int>(msg.wParam));
          return true;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
      const ULONGLONG now = ::GetTickCount64();
      if (wait_ms == 0 || now >= deadline) return true;
      ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
  }

  std::unique_ptr<TTimerPeer> CreateTimer(TTimerSink& sink) override {
    Start();
    return std::make_unique<TWinTimerPeer>(sink);
  }

  // On the user-interface thread: runs what is queued now, one call at a
  // time, each without the lock (a call may queue another).
  void RunPosted() {
    for (;;) {
      std::function<void()> call;
      {
        std::lock_guard lock(post_mutex_);
        if (posted_.empty()) return;
        call = std::move(posted_.front());
        posted_.pop_front();
      }
      try {
        call();
      } catch (...) {
        // A posted call reports its own failures; nothing leaves the loop.
      }
    }
  }

  // On the process's first thread, from the hook: the thread becomes the
  // user-interface thread.
  void Adopt() {
    std::lock_guard lock(post_mutex_);
    if (hook_ != nullptr) {
      ::UnhookWindowsHookEx(hook_);
      hook_ = nullptr;
    }
    if (post_hwnd_ == nullptr && Prepared()) {
      try {
        MakePostWindow();
      } catch (const std::exception&) {
        return;  // the calls wait for the host's pump
      }
    }
    if (post_hwnd_ != nullptr && !posted_.empty()) ::PostMessageW(post_hwnd_, kRunPosted, 0, 0);
  }

  UINT WakeMessage() const { return wake_message_; }

 private:
  TWinBackend() : wake_message_(::RegisterWindowMessageW(L"Kestrel.Forms.Wake")) {}

  // What every thread's windows need, made once for the process.
  static void Prepare() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES;
    ::InitCommonControlsEx(&controls);
    RegisterHelperClass(kPostClass, &PostProc);
    RegisterHelperClass(kTimerClass, &TimerProc);
    (void)Metrics();
  }
  bool Prepared() {
    try {
      std::call_once(prepared_, &Prepare);
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }

  // Under the lock, on the thread that becomes the user-interface thread.
  void MakePostWindow() {
    post_hwnd_ = ::CreateWindowExW(0, kPostClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr);
    if (post_hwnd_ == nullptr)
      throw std::runtime_error("Kestrel forms (Win32): cannot create the backend's message window (error " +
                               std::to_string(::GetLastError()) + ")");
    ui_thread_ = ::GetCurrentThreadId();
  }

  // Under the lock, before any thread used the backend: asks the process's
  // first thread to take the user-interface role through its message queue.
  // False when that thread has no queue (it runs no message loop): the
  // host's pump then takes the calls.
  bool WakeFirstThread() {
    if (!Prepared()) return false;
    if (hook_ == nullptr) {
      const DWORD first = FirstThreadOfProcess();
      if (first == 0) return false;
      if (first == ::GetCurrentThreadId()) {
        try {
          MakePostWindow();
        } catch (const std::exception&) {
          return false;
        }
        return ::PostMessageW(post_hwnd_, kRunPosted, 0, 0) != FALSE;
      }
      hook_ = ::SetWindowsHookExW(WH_GETMESSAGE, &WakeHook, ThisModule(), first);
      if (hook_ == nullptr) return false;
      hook_thread_ = first;
    }
    if (::PostThreadMessageW(hook_thread_, wake_message_, 0, 0)) return true;
    ::UnhookWindowsHookEx(hook_);
    hook_ = nullptr;
    return false;
  }

  std::once_flag prepared_;
  std::mutex post_mutex_;
  std::deque<std::function<void()>> posted_;
  HWND post_hwnd_ = nullptr;
  DWORD ui_thread_ = 0;
  HHOOK hook_ = nullptr;
  DWORD hook_thread_ = 0;
  const UINT wake_message_;
};

LRESULT CALLBACK PostProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kRunPosted) {
    TWinBackend::Instance().RunPosted();
    return 0;
  }
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK TimerProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER && wparam == kTimerId) {
    if (auto* timer = reinterpret_cast<TWinTimerPeer*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
      try {
        timer->Tick();
      } catch (...) {
        // The sink does not throw; nothing may leave a window procedure.
      }
    }
    return 0;
  }
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK WakeHook(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION) {
    auto* msg = reinterpret_cast<MSG*>(lparam);
    TWinBackend& backend = TWinBackend::Instance();
    if (msg->hwnd == nullptr && msg->message == backend.WakeMessage()) {
      backend.Adopt();
      msg->message = WM_NULL;
    }
  }
  return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace
}  // namespace kestrel::forms::win32

extern "C" __declspec(dllexport) kestrel::forms::TBackend* KestrelFormsBackend(std::uint32_t abi) {
  if (abi != kestrel::forms::kBackendAbi) return nullptr;
  return &kestrel::forms::win32::TWinBackend::Instance();
}
