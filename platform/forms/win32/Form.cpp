// The Win32 form: a top-level window of a class named after the form, its
// modal loop, the focus rules of a dialog, and the layout of its controls.
#include <windows.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <stdexcept>

#include "platform/forms/win32/Peers.h"
#include "platform/forms/win32/Text.h"

namespace kestrel::forms::win32 {
namespace {

constexpr DWORD kBaseStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS;
constexpr DWORD kResizable = WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* form = reinterpret_cast<TWinForm*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (form == nullptr || form->Hwnd() != hwnd) return ::DefWindowProcW(hwnd, message, wparam, lparam);
  try {
    return form->Message(message, wparam, lparam);
  } catch (...) {
    // Nothing may leave a window procedure; the message simply ends here.
    return 0;
  }
}

// The window class of a form is its name ("TfmMdmGOpt"), so that tools find
// a form's window by it; a name the system cannot take gets a common class.
std::wstring FormClass(const std::string& name) {
  static std::mutex mutex;
  static std::set<std::wstring> registered;
  std::wstring wanted = Widen(name);
  if (wanted.empty() || wanted.size() > 200) wanted = L"KestrelForm";
  std::lock_guard lock(mutex);
  if (registered.count(wanted) != 0) return wanted;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &FormProc;
  wc.hInstance = ThisModule();
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = wanted.c_str();
  if (::RegisterClassExW(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    if (wanted == L"KestrelForm")
      throw std::runtime_error("Kestrel forms (Win32): cannot register the form window class (error " +
                               std::to_string(::GetLastError()) + ")");
    return FormClass("KestrelForm");
  }
  registered.insert(wanted);
  return wanted;
}

struct TDisabled {
  HWND keep;
  std::vector<HWND> windows;
};

// A modal form disables the other windows of its thread, as a system dialog does.
BOOL CALLBACK DisableOne(HWND window, LPARAM data) {
  auto* disabled = reinterpret_cast<TDisabled*>(data);
  if (window != disabled->keep && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
    ::EnableWindow(window, FALSE);
    disabled->windows.push_back(window);
  }
  return TRUE;
}

bool Usable(HWND window) { return window != nullptr && ::IsWindowVisible(window) && ::IsWindowEnabled(window); }

}  // namespace

TWinForm::TWinForm(const TControlDesc& desc, TControlSink& sink) : sink_(&sink) {
  root_.container = true;
  root_.layout = desc.layout;
  root_.align = desc.align;
  const std::wstring window_class = FormClass(desc.name);
  hwnd_ = ::CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, window_class.c_str(),
                            Widen(desc.caption).c_str(), kBaseStyle, CW_USEDEFAULT, CW_USEDEFAULT, 200, 100, nullptr,
                            nullptr, ThisModule(), this);
  if (hwnd_ == nullptr)
    throw std::runtime_error("Kestrel forms (Win32): cannot create the form " + desc.name + " (error " +
                             std::to_string(::GetLastError()) + ")");
}

TWinForm::~TWinForm() {
  sink_ = nullptr;
  if (hwnd_ != nullptr) {
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);
  }
}

void TWinForm::SetEnabled(bool enabled) { ::EnableWindow(hwnd_, enabled ? TRUE : FALSE); }
bool TWinForm::Enabled() const { return ::IsWindowEnabled(hwnd_) != FALSE; }
void TWinForm::SetFocus() {
  if (::IsWindowVisible(hwnd_)) ::SetForegroundWindow(hwnd_);
}
bool TWinForm::Focused() const { return ::GetActiveWindow() == hwnd_; }

void TWinForm::SetSizeHint(int chars, int lines) {
  const TMetrics& m = Metrics();
  hint_ = {chars * m.char_w, lines * m.line_h};
}

void TWinForm::SetCaption(const std::string& caption) { ::SetWindowTextW(hwnd_, Widen(caption).c_str()); }

std::string TWinForm::Caption() const {
  const int length = ::GetWindowTextLengthW(hwnd_);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(std::max(::GetWindowTextW(hwnd_, text.data(), length + 1), 0)));
  return Narrow(text);
}

void TWinForm::SetPosition(TFormPosition position, TFormPeer* owner) {
  owner_ = position == TFormPosition::kOwnerCentre ? dynamic_cast<TWinForm*>(owner) : nullptr;
}

void TWinForm::Register(TWinPeer* peer) { peers_.push_back(peer); }

void TWinForm::Unregister(TWinPeer* peer) {
  peers_.erase(std::remove(peers_.begin(), peers_.end(), peer), peers_.end());
  if (default_ == peer) default_ = nullptr;
  if (focus_ == peer) focus_ = nullptr;
}

void TWinForm::SetDefaultButton(TWinPeer* button, bool is_default) {
  if (is_default)
    default_ = button;
  else if (default_ == button)
    default_ = nullptr;
}

TWinPeer* TWinForm::PeerOf(THwnd window) const {
  TWinPeer* peer = PeerOfWindow(window);
  return std::find(peers_.begin(), peers_.end(), peer) != peers_.end() ? peer : nullptr;
}

TWinPeer* TWinForm::FocusedPeer() const {
  for (HWND w = ::GetFocus(); w != nullptr && w != hwnd_; w = ::GetParent(w))
    if (TWinPeer* peer = PeerOf(w)) return peer;
  return nullptr;
}

bool TWinForm::MayMoveFocus(TWinPeer* target) {
  if (querying_) return true;
  TWinPeer* current = FocusedPeer();
  if (current == nullptr || current == target || current->Sink() == nullptr) return true;
  querying_ = true;
  const bool may = current->Sink()->PeerExitQuery();
  querying_ = false;
  // The query may have shown a message box; the focus stays where it was.
  if (!may && std::find(peers_.begin(), peers_.end(), current) != peers_.end()) ::SetFocus(current->Hwnd());
  return may;
}

void TWinForm::Tab(TWinPeer* from, bool backwards) {
  std::vector<TWinPeer*> stops;
  for (TWinPeer* peer : peers_)
    if (peer->TabStop() && Usable(peer->Hwnd())) stops.push_back(peer);
  if (stops.empty()) return;
  const auto at = std::find(stops.begin(), stops.end(), from);
  TWinPeer* next = nullptr;
  if (at == stops.end()) {
    next = backwards ? stops.back() : stops.front();
  } else {
    const std::size_t i = static_cast<std::size_t>(at - stops.begin());
    next = stops[(i + (backwards ? stops.size() - 1 : 1)) % stops.size()];
  }
  if (next == from || !MayMoveFocus(next)) return;
  ::SetFocus(next->Hwnd());
  next->TabbedIn();
}

void TWinForm::PressDefault() {
  // Enter presses the default button without moving the focus: the
  // focused field is not asked to let it go.
  if (default_ != nullptr && Usable(default_->Hwnd())) default_->Press();
}

void TWinForm::CloseRequest() {
  if (sink_ != nullptr) sink_->PeerCloseRequest();
}

void TWinForm::Focus(TWinPeer* peer) {
  focus_ = peer;
  if (::IsWindowVisible(hwnd_) && ::GetActiveWindow() == hwnd_) ::SetFocus(peer->Hwnd());
}

void TWinForm::RestoreFocus() {
  TWinPeer* target = focus_ != nullptr && Usable(focus_->Hwnd()) ? focus_ : nullptr;
  for (auto it = peers_.begin(); target == nullptr && it != peers_.end(); ++it)
    if ((*it)->TabStop() && Usable((*it)->Hwnd())) target = *it;
  ::SetFocus(target != nullptr ? target->Hwnd() : hwnd_);
}

void TWinForm::Layout(bool fit_window) {
  const TMetrics& m = Metrics();
  for (TWinPeer* peer : peers_) peer->Measure(m);
  const int margin_x = m.DluX(7), margin_y = m.DluY(7);
  root_.insets = {margin_x, margin_y, margin_x, margin_y};
  root_.preferred = hint_;
  const TSpacing spacing = m.Spacing();
  const TSize needed = win32::Measure(root_, spacing);
  RECT client{};
  ::GetClientRect(hwnd_, &client);
  int w = needed.w, h = needed.h;
  if (!fit_window) {
    w = std::max(w, static_cast<int>(client.right));
    h = std::max(h, static_cast<int>(client.bottom));
  }
  laid_out_ = false;  // the resize below must not lay out with the old sizes
  if (w != client.right || h != client.bottom) {
    RECT frame{0, 0, w, h};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
    ::SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::GetClientRect(hwnd_, &client);
  }
  win32::Arrange(root_, {0, 0, std::max(w, static_cast<int>(client.right)), std::max(h, static_cast<int>(client.bottom))},
                 spacing);
  for (TWinPeer* peer : peers_) peer->Place();
  // A group box's frame lies behind what it holds (outer frames furthest).
  for (auto it = peers_.rbegin(); it != peers_.rend(); ++it)
    if ((*it)->Kind() == TControlKind::kGroupBox)
      ::SetWindowPos((*it)->Hwnd(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  laid_out_ = true;
}

void TWinForm::Relayout() {
  if (laid_out_ && ::IsWindowVisible(hwnd_)) Layout(false);
}

void TWinForm::PlaceOnScreen(THwnd around) {
  RECT window{};
  ::GetWindowRect(hwnd_, &window);
  const int w = window.right - window.left, h = window.bottom - window.top;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(around != nullptr ? around : hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT work = monitor.rcWork;
  RECT centre = work;
  if (around != nullptr && ::IsWindowVisible(around)) ::GetWindowRect(around, &centre);
  int x = centre.left + ((centre.right - centre.left) - w) / 2;
  int y = centre.top + ((centre.bottom - centre.top) - h) / 2;
  x = std::max(static_cast<int>(work.left), std::min(x, static_cast<int>(work.right) - w));
  y = std::max(static_cast<int>(work.top), std::min(y, static_cast<int>(work.bottom) - h));
  ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinForm::RunModal() {
  // The window the operator came from: the form is owned by it (or by the
  // owner form), stays above it, and gives it the focus back at the end.
  previous_ = ::GetActiveWindow();
  HWND owner = owner_ != nullptr && ::IsWindowVisible(owner_->hwnd_) ? owner_->hwnd_ : previous_;
  if (owner == hwnd_) owner = nullptr;
  ::SetWindowLongPtrW(hwnd_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
  ::SetWindowLongPtrW(hwnd_, GWL_STYLE, kBaseStyle);
  ::SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
  ::SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  Layout(true);
  PlaceOnScreen(owner);

  TDisabled disabled{hwnd_, {}};
  ::EnumThreadWindows(::GetCurrentThreadId(), &DisableOne, reinterpret_cast<LPARAM>(&disabled));
  disabled_ = std::move(disabled.windows);
  modal_ = true;
  ending_ = false;
  ::ShowWindow(hwnd_, SW_SHOW);
  ::SetForegroundWindow(hwnd_);
  MSG msg{};
  while (!ending_) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      // The host is quitting: the form ends unanswered and the quit goes on
      // to the host's own loop.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got == -1) break;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  LeaveModal();
  modal_ = false;
  ::SetWindowLongPtrW(hwnd_, GWLP_HWNDPARENT, 0);
}

void TWinForm::LeaveModal() {
  if (!::IsWindowVisible(hwnd_)) return;
  // The windows come back before this one goes, so that the system gives
  // the activation to the owner and not to some other program.
  for (HWND window : disabled_)
    if (::IsWindow(window)) ::EnableWindow(window, TRUE);
  disabled_.clear();
  ::ShowWindow(hwnd_, SW_HIDE);
  if (previous_ != nullptr && ::IsWindow(previous_) && ::IsWindowVisible(previous_)) ::SetActiveWindow(previous_);
}

void TWinForm::EndModal() {
  ending_ = true;
  if (!modal_) return;
  // Gone from the screen at once, as the close was granted; the loop ends
  // when the message being handled returns (woken when the end was not
  // asked for from one of its messages).
  LeaveModal();
  ::PostMessageW(hwnd_, WM_NULL, 0, 0);
}

void TWinForm::ShowModeless() {
  if (!::IsWindowVisible(hwnd_)) {
    // A window beside the host's: in the task bar, with a frame to size it.
    ::SetWindowLongPtrW(hwnd_, GWLP_HWNDPARENT, 0);
    ::SetWindowLongPtrW(hwnd_, GWL_STYLE, kBaseStyle | kResizable);
    ::SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, WS_EX_APPWINDOW | WS_EX_CONTROLPARENT);
    ::SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    const bool first = !laid_out_;
    Layout(first);
    if (first) PlaceOnScreen(::GetActiveWindow());
    ::ShowWindow(hwnd_, SW_SHOW);
  }
  if (::IsIconic(hwnd_)) ::ShowWindow(hwnd_, SW_RESTORE);
  ::SetForegroundWindow(hwnd_);
  ::BringWindowToTop(hwnd_);
}

void TWinForm::Hide() { ::ShowWindow(hwnd_, SW_HIDE); }

bool TWinForm::Visible() const { return ::IsWindowVisible(hwnd_) != FALSE; }

std::intptr_t TWinForm::Message(unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
  switch (message) {
    case WM_CLOSE:
      CloseRequest();
      return 0;
    case WM_COMMAND:
      if (TWinPeer* peer = PeerOf(reinterpret_cast<HWND>(lparam))) peer->Command(HIWORD(wparam));
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (TWinPeer* peer = PeerOf(header->hwndFrom)) peer->Notify(header);
      return 0;
    }
    case WM_ACTIVATE:
      // What had the focus gets it back when the form is active again (after
      // a message box, another window).
      if (LOWORD(wparam) == WA_INACTIVE) {
        if (TWinPeer* peer = FocusedPeer()) focus_ = peer;
        return 0;
      }
      if (!::IsIconic(hwnd_)) RestoreFocus();
      return 0;
    case WM_SETFOCUS:
      RestoreFocus();
      return 0;
    case WM_KEYDOWN:
      // The form itself has the focus only when none of its controls can.
      if (wparam == VK_TAB) Tab(nullptr, ::GetKeyState(VK_SHIFT) < 0);
      if (wparam == VK_RETURN) PressDefault();
      if (wparam == VK_ESCAPE) CloseRequest();
      return 0;
    case WM_GETMINMAXINFO:
      if (laid_out_) {
        RECT frame{0, 0, root_.needed.w, root_.needed.h};
        ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                             static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
        auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
        info->ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
      }
      return 0;
    case WM_SIZE:
      if (laid_out_ && wparam != SIZE_MINIMIZED) {
        win32::Arrange(root_, {0, 0, LOWORD(lparam), HIWORD(lparam)}, Metrics().Spacing());
        for (TWinPeer* peer : peers_) peer->Place();
        ::InvalidateRect(hwnd_, nullptr, TRUE);
      }
      return 0;
    default:
      return ::DefWindowProcW(hwnd_, message, wparam, lparam);
  }
}

}  // namespace kestrel::forms::win32
