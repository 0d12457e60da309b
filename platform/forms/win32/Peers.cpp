// What every Win32 peer shares: the font and its dialog units, the windows
// of a control and of its label, the subclass through which the form sees
// the operator's keys and presses, and the containers.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <mutex>
#include <stdexcept>

#include "platform/forms/win32/Peers.h"
#include "platform/forms/win32/Text.h"

namespace kestrel::forms::win32 {
namespace {

constexpr wchar_t kPeerProperty[] = L"Kestrel.Peer";
constexpr UINT_PTR kSubclassId = 1;

TMetrics MakeMetrics() {
  TMetrics m;
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof ncm;
  HFONT font = nullptr;
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0)) font = ::CreateFontIndirectW(&ncm.lfMessageFont);
  if (font == nullptr) font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  m.font = font;
  HDC dc = ::GetDC(nullptr);
  const HGDIOBJ old = ::SelectObject(dc, font);
  TEXTMETRICW tm{};
  if (::GetTextMetricsW(dc, &tm)) m.line_h = tm.tmHeight;
  // The average width of the letters, as the system computes dialog units.
  static const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  SIZE size{};
  if (::GetTextExtentPoint32W(dc, kLetters, 52, &size)) m.char_w = (size.cx / 26 + 1) / 2;
  ::SelectObject(dc, old);
  ::ReleaseDC(nullptr, dc);
  return m;
}

LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR data) {
  try {
    return ControlMessage(*reinterpret_cast<TWinPeer*>(data), message, wparam, lparam);
  } catch (...) {
    // Nothing may leave a window procedure; the message simply ends here.
    return ::DefSubclassProc(hwnd, message, wparam, lparam);
  }
}

bool IsPress(unsigned m) {
  return m == WM_LBUTTONDOWN || m == WM_LBUTTONDBLCLK || m == WM_RBUTTONDOWN || m == WM_RBUTTONDBLCLK ||
         m == WM_MBUTTONDOWN || m == WM_MBUTTONDBLCLK;
}

unsigned ReleaseOf(unsigned press) {
  if (press == WM_LBUTTONDOWN || press == WM_LBUTTONDBLCLK) return WM_LBUTTONUP;
  if (press == WM_RBUTTONDOWN || press == WM_RBUTTONDBLCLK) return WM_RBUTTONUP;
  return WM_MBUTTONUP;
}

bool KeyDown(int key) { return ::GetKeyState(key) < 0; }

}  // namespace

TSpacing TMetrics::Spacing() const {
  TSpacing s;
  s.gap_x = DluX(4);
  s.gap_y = DluY(4);
  s.label_gap = DluY(2);
  s.field_line = DluY(14);
  return s;
}

const TMetrics& Metrics() {
  static const TMetrics metrics = MakeMetrics();
  return metrics;
}

TSize TextExtent(const std::wstring& text) {
  const TMetrics& m = Metrics();
  // One memory context with the font for the process: asking the screen for
  // one costs far more than the measuring (a label that counts keys typed
  // elsewhere is measured at every key).
  static const HDC dc = [&m] {
    HDC made = ::CreateCompatibleDC(nullptr);
    ::SelectObject(made, m.font);
    return made;
  }();
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  RECT r{0, 0, 0, 0};
  const std::wstring shown = text.empty() ? std::wstring(L" ") : text;
  ::DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &r, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
  return {text.empty() ? 0 : static_cast<int>(r.right), std::max(static_cast<int>(r.bottom), m.line_h)};
}

HINSTANCE ThisModule() {
  static const HINSTANCE module = [] {
    HMODULE handle = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ThisModule), &handle);
    return handle;
  }();
  return module;
}

TWinPeer* PeerOfWindow(THwnd window) {
  return window != nullptr ? static_cast<TWinPeer*>(::GetPropW(window, kPeerProperty)) : nullptr;
}

// ---- TWinPeer ----

TWinPeer::TWinPeer(TWinForm& form, TControlKind kind, std::string name, TControlSink* sink)
    : form_(form), kind_(kind), name_(std::move(name)), sink_(sink) {
  form_.Register(this);
}

TWinPeer::~TWinPeer() {
  sink_ = nullptr;
  form_.Unregister(this);
  if (parent_ != nullptr) parent_->Release(this);
  for (HWND window : {hwnd_, label_}) {
    if (window == nullptr) continue;
    // Cut off first, so that what the window sends while it dies reaches nobody.
    ::RemoveWindowSubclass(window, &SubclassProc, kSubclassId);
    ::RemovePropW(window, kPeerProperty);
    ::RemovePropW(window, kNameProperty);
    ::DestroyWindow(window);
  }
}

void TWinPeer::MakeWindow(const wchar_t* window_class, unsigned long style, unsigned long ex_style,
                          const std::wstring& text) {
  HWND window = ::CreateWindowExW(ex_style, window_class, text.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style,
                                  0, 0, 10, 10, form_.Hwnd(),
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(form_.NextControlId())), ThisModule(),
                                  nullptr);
  if (window == nullptr)
    throw std::runtime_error("Kestrel forms (Win32): cannot create the control " + name_ + " (error " +
                             std::to_string(::GetLastError()) + ")");
  hwnd_ = window;
  ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(Metrics().font), FALSE);
  ::SetPropW(window, kPeerProperty, this);
  ::SetPropW(window, kNameProperty, const_cast<char*>(name_.c_str()));
  ::SetWindowSubclass(window, &SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void TWinPeer::MakeLabel(const std::string& label) {
  if (label.empty()) return;
  label_ = ::CreateWindowExW(0, L"STATIC", Widen(label).c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0,
                             10, 10, form_.Hwnd(), nullptr, ThisModule(), nullptr);
  if (label_ == nullptr) throw std::runtime_error("Kestrel forms (Win32): cannot create the label of " + name_);
  ::SendMessageW(label_, WM_SETFONT, reinterpret_cast<WPARAM>(Metrics().font), FALSE);
}

void TWinPeer::SetLabelNode(const TMetrics&) {
  node_.label = {};
  if (label_ == nullptr) return;
  const int length = ::GetWindowTextLengthW(label_);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  ::GetWindowTextW(label_, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  node_.label = TextExtent(text);
}

void TWinPeer::Place() {
  const TRect& r = node_.rect;
  if (hwnd_ != nullptr) ::MoveWindow(hwnd_, r.x, r.y, r.w, r.h, TRUE);
  if (label_ != nullptr) {
    const TRect& l = node_.label_rect;
    ::MoveWindow(label_, l.x, l.y, l.w, l.h, TRUE);
  }
}

bool TWinPeer::FocusOnPress(unsigned press) const {
  return TabStop() && (press == WM_LBUTTONDOWN || press == WM_LBUTTONDBLCLK);
}

bool TWinPeer::KeepsKey(unsigned) const { return false; }

bool TWinPeer::Handle(unsigned, std::uintptr_t, std::intptr_t, std::intptr_t&) { return false; }

void TWinPeer::EnableTree(bool enabled) {
  if (hwnd_ != nullptr) ::EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

std::intptr_t ControlMessage(TWinPeer& peer, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
  HWND window = peer.hwnd_;
  TWinForm& form = peer.form_;
  if (message == WM_KEYDOWN) {
    if (wparam == VK_TAB && !KeyDown(VK_CONTROL) && !KeyDown(VK_MENU)) {
      form.Tab(&peer, KeyDown(VK_SHIFT));
      return 0;
    }
    if ((wparam == VK_RETURN || wparam == VK_ESCAPE) && !peer.KeepsKey(static_cast<unsigned>(wparam))) {
      if (wparam == VK_RETURN)
        form.PressDefault();
      else
        form.CloseRequest();
      return 0;
    }
  } else if (message == WM_CHAR) {
    // The characters of the keys the form used: an edit control would beep.
    if (wparam == L'\t' || wparam == 0x1b) return 0;
    if ((wparam == L'\r' || wparam == L'\n') && !peer.KeepsKey(VK_RETURN)) return 0;
  } else if (IsPress(message)) {
    if (peer.FocusOnPress(message) && ::GetFocus() != window) {
      // Marked before asking: the release may arrive while the query shows
      // a message box, and must not reach the control then either.
      peer.refused_press_ = ReleaseOf(message);
      if (!form.MayMoveFocus(&peer)) return 0;
      peer.refused_press_ = 0;
    }
  } else if (message == WM_LBUTTONUP || message == WM_RBUTTONUP || message == WM_MBUTTONUP) {
    if (peer.refused_press_ == message) {
      peer.refused_press_ = 0;
      return 0;
    }
  }
  std::intptr_t result = 0;
  if (peer.Handle(message, wparam, lparam, result)) return result;
  return ::DefSubclassProc(window, message, wparam, lparam);
}

// ---- TWinContainer ----

void TWinContainer::Adopt(TWinPeer* child) {
  children_.push_back(child);
  ContainerNode().children.push_back(&child->Node());
  child->SetParent(this);
}

void TWinContainer::Release(TWinPeer* child) {
  children_.erase(std::remove(children_.begin(), children_.end(), child), children_.end());
  auto& nodes = ContainerNode().children;
  nodes.erase(std::remove(nodes.begin(), nodes.end(), &child->Node()), nodes.end());
}

}  // namespace kestrel::forms::win32
