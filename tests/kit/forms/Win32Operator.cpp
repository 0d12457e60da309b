// The operator on the Win32 backend (under Wine): finds the controls of the
// showing form by the name the backend gives each control window, and works
// them with the messages a person's mouse and keyboard put into the thread's
// queue: presses and releases at a point of the control, keys to the focused
// window, characters as a keyboard layout makes them (Cyrillic included).
// Each action is handled by the form's own loop before the driver returns
// (Settle), so a nested form opened by a press runs inside that press.
//
// Forms and message boxes are seen appearing through a hook on the thread's
// sent messages (WM_SHOWWINDOW); the hook also sees the command a button
// sends its form when it was pressed.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/forms/Application.h"
#include "tests/kit/forms/Operator.h"

namespace kestrel::forms::testing {
namespace {

constexpr UINT kFormShown = WM_APP + 0x71;
constexpr wchar_t kHelperClass[] = L"KestrelTestOperator";
constexpr int kTimeMaskLength = 8;

std::wstring Widen(const std::string& cp1251) {
  if (cp1251.empty()) return {};
  const int n = ::MultiByteToWideChar(1251, 0, cp1251.data(), static_cast<int>(cp1251.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(1251, 0, cp1251.data(), static_cast<int>(cp1251.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const std::wstring& utf16) {
  if (utf16.empty()) return {};
  const int n = ::WideCharToMultiByte(1251, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, "?", nullptr);
  std::string narrow(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(1251, 0, utf16.data(), static_cast<int>(utf16.size()), narrow.data(), n, "?", nullptr);
  return narrow;
}

std::wstring WindowText(HWND w) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(w)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(std::max(::GetWindowTextW(w, text.data(), static_cast<int>(text.size())), 0)));
  return text;
}

std::wstring ClassOf(HWND w) {
  wchar_t name[64] = {};
  ::GetClassNameW(w, name, 64);
  return name;
}

LONG_PTR Style(HWND w) { return ::GetWindowLongPtrW(w, GWL_STYLE); }
// The name the forms backend gave a control window, or null.
const char* NameOf(HWND w) { return static_cast<const char*>(::GetPropW(w, L"Kestrel.Name")); }

// Handles what is in the thread's queue now, as the form's loop would.
void Settle() {
  MSG msg{};
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

void PostKey(HWND to, UINT key) {
  ::PostMessageW(to, WM_KEYDOWN, key, 1);
  ::PostMessageW(to, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

void PostPress(HWND to, POINT at) {
  const LPARAM where = MAKELPARAM(at.x, at.y);
  ::PostMessageW(to, WM_LBUTTONDOWN, MK_LBUTTON, where);
  ::PostMessageW(to, WM_LBUTTONUP, 0, where);
}

POINT Centre(HWND w) {
  RECT r{};
  ::GetClientRect(w, &r);
  return {r.right / 2, r.bottom / 2};
}

// The picture of `window`'s client area under a title bar with its caption
// (drawn as the Qt operator draws it, so that both sets of pictures match),
// saved as a PNG file through GDI+.
bool SaveWithTitle(HWND window, const std::string& path) {
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Settle();
  RECT client{};
  ::GetClientRect(window, &client);
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof ncm;
  ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
  LOGFONTW bold = ncm.lfMessageFont;
  bold.lfWeight = FW_BOLD;
  HFONT font = ::CreateFontIndirectW(&bold);
  HDC screen = ::GetDC(nullptr);
  HDC image = ::CreateCompatibleDC(screen);
  HGDIOBJ old_font = ::SelectObject(image, font);
  TEXTMETRICW tm{};
  ::GetTextMetricsW(image, &tm);
  const int title = tm.tmHeight + 10, w = client.right + 2, h = client.bottom + title + 1;
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old_bitmap = ::SelectObject(image, bitmap);
  HBRUSH frame = ::CreateSolidBrush(RGB(0x4a, 0x6e, 0x9c));
  RECT all{0, 0, w, h};
  ::FillRect(image, &all, frame);
  ::SetBkMode(image, TRANSPARENT);
  ::SetTextColor(image, RGB(255, 255, 255));
  RECT band{8, 0, w - 8, title};
  const std::wstring caption = WindowText(window);
  ::DrawTextW(image, caption.c_str(), static_cast<int>(caption.size()), &band,
              DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS);
  HDC source = ::GetDC(window);
  ::BitBlt(image, 1, title, client.right, client.bottom, source, 0, 0, SRCCOPY);
  ::ReleaseDC(window, source);
  ::SelectObject(image, old_bitmap);
  ::SelectObject(image, old_font);
  ::DeleteObject(frame);
  ::DeleteObject(font);
  ::DeleteDC(image);
  ::ReleaseDC(nullptr, screen);

  bool saved = false;
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
    {
      // The class id of GDI+'s PNG encoder ("image/png"), the same on every system.
      const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
      Gdiplus::Bitmap picture(bitmap, nullptr);
      saved = picture.Save(Widen(path).c_str(), &png, nullptr) == Gdiplus::Ok;
    }
    Gdiplus::GdiplusShutdown(token);
  }
  ::DeleteObject(bitmap);
  return saved;
}

class TWin32Operator final : public TOperator {
 public:
  void Install() {
    if (helper_ != nullptr) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &HelperProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kHelperClass;
    ::RegisterClassExW(&wc);
    helper_ = ::CreateWindowExW(0, kHelperClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    thread_ = ::GetCurrentThreadId();
    hook_ = ::SetWindowsHookExW(WH_CALLWNDPROC, &Watch, nullptr, thread_);
    if (helper_ == nullptr || hook_ == nullptr) throw std::runtime_error("cannot watch the thread's windows");
  }

  // The buttons pressed since Presses() was `from` (a nested form's presses
  // come in between).
  std::size_t Presses() const { return presses_.size(); }
  void ForgetPresses() { presses_.clear(); }
  bool PressedSince(std::size_t from, HWND button) const {
    return std::find(presses_.begin() + static_cast<std::ptrdiff_t>(from), presses_.end(), button) != presses_.end();
  }

 private:
  static LRESULT CALLBACK Watch(int code, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK HelperProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void Handle(HWND window);
  void AnswerMessageBox(HWND box);

  HWND helper_ = nullptr;
  HHOOK hook_ = nullptr;
  std::vector<HWND> presses_;

 public:
  DWORD thread_ = 0;  // the thread that runs the tests
};

TWin32Operator& TheOperator() {
  static TWin32Operator op;
  return op;
}

class TWinDriver final : public TFormDriver {
 public:
  explicit TWinDriver(HWND form) : form_(form) {}

  std::string FormName() override { return Narrow(ClassOf(form_)); }
  std::string Caption() override { return Narrow(WindowText(form_)); }
  bool Open() override { return ::IsWindow(form_) && ::IsWindowVisible(form_); }

  bool Focus(const std::string& name) override {
    HWND w = Get(name);
    if (::GetFocus() == w) return true;
    if (!::IsWindowEnabled(w)) return false;
    const std::wstring kind = ClassOf(w);
    if (kind == WC_LISTVIEWW) {
      // On the selected row (the selection stays), else below the rows.
      const int selected = static_cast<int>(::SendMessageW(w, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
      PostPress(w, selected >= 0 ? RowCentre(w, selected) : BelowRows(w));
    } else {
      PostPress(w, Centre(w));
    }
    Settle();
    // A drop-down list opens under the press: the operator closes it again
    // without choosing.
    if (_wcsicmp(kind.c_str(), L"ComboBox") == 0 && ::SendMessageW(w, CB_GETDROPPEDSTATE, 0, 0)) {
      ::SendMessageW(w, CB_SHOWDROPDOWN, FALSE, 0);
      Settle();
    }
    return ::GetFocus() == w;
  }

  bool Tab() override {
    HWND before = ::GetFocus();
    if (before == nullptr) return false;
    PostKey(before, VK_TAB);
    Settle();
    return ::GetFocus() != before;
  }

  bool Click(const std::string& name) override {
    HWND w = Get(name);
    if (!::IsWindowEnabled(w)) return false;
    RECT r{};
    ::GetClientRect(w, &r);
    // A check box stretched by its layout reacts on its box and text only.
    const bool check = (Style(w) & BS_TYPEMASK) == BS_AUTOCHECKBOX;
    const std::size_t from = TheOperator().Presses();
    PostPress(w, check ? POINT{6, r.bottom / 2} : Centre(w));
    Settle();
    return TheOperator().PressedSince(from, w);
  }

  bool Type(const std::string& name, const std::string& text) override {
    if (!Focus(name)) return false;
    HWND w = Get(name);
    // One key at a time, each handled before the next: the character of a
    // key is queued when its press is handled.
    ::PostMessageW(w, WM_CHAR, 0x01, 1);  // Ctrl+A
    Settle();
    for (const wchar_t ch : Widen(text)) {
      if (ch == L'\n')
        PostKey(w, VK_RETURN);
      else
        ::PostMessageW(w, WM_CHAR, ch, 1);
      Settle();
    }
    return true;
  }

  bool Select(const std::string& name, int index) override {
    HWND w = Get(name);
    if (_wcsicmp(ClassOf(w).c_str(), L"ComboBox") == 0) {
      const int count = static_cast<int>(::SendMessageW(w, CB_GETCOUNT, 0, 0));
      if (index < 0 || index >= count || !Focus(name)) return false;
      // The arrow keys walk the list, each step a choice of the operator.
      for (int step = 0; step < count && CurrentItem(w) != index; ++step) {
        PostKey(w, CurrentItem(w) < index ? VK_DOWN : VK_UP);
        Settle();
      }
      return CurrentItem(w) == index;
    }
    if (ClassOf(w) != WC_LISTVIEWW) return false;
    const int count = static_cast<int>(::SendMessageW(w, LVM_GETITEMCOUNT, 0, 0));
    if (index < 0 || index >= count) return false;
    ::SendMessageW(w, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
    PostPress(w, RowCentre(w, index));
    Settle();
    return ::GetFocus() == w;
  }

  void PressEnter() override { PressKey(VK_RETURN); }
  void PressEscape() override { PressKey(VK_ESCAPE); }

  void CloseBox() override {
    if (!Open()) return;
    ::PostMessageW(form_, WM_SYSCOMMAND, SC_CLOSE, 0);
    Settle();
  }

  std::string Text(const std::string& name) override {
    HWND w = Get(name);
    if (ClassOf(w) == WC_LISTVIEWW) {
      wchar_t caption[256] = {};
      LVCOLUMNW column{};
      column.mask = LVCF_TEXT;
      column.pszText = caption;
      column.cchTextMax = 256;
      ::SendMessageW(w, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
      return Narrow(caption);
    }
    std::wstring text = WindowText(w);
    text.erase(std::remove(text.begin(), text.end(), L'\r'), text.end());
    // A time field shows its unfilled positions as blanks; what was typed
    // is the text without them, as the forms layer reads it.
    if (text.size() == kTimeMaskLength && text[2] == L':' && text[5] == L':')
      text.erase(std::remove(text.begin(), text.end(), L'_'), text.end());
    return Narrow(text);
  }

  std::vector<std::string> Items(const std::string& name) override {
    HWND w = Get(name);
    std::vector<std::string> items;
    if (ClassOf(w) == WC_LISTVIEWW) {
      const int count = static_cast<int>(::SendMessageW(w, LVM_GETITEMCOUNT, 0, 0));
      for (int i = 0; i < count; ++i) {
        wchar_t text[512] = {};
        LVITEMW item{};
        item.pszText = text;
        item.cchTextMax = 512;
        ::SendMessageW(w, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        items.push_back(Narrow(text));
      }
    } else {
      const int count = static_cast<int>(::SendMessageW(w, CB_GETCOUNT, 0, 0));
      for (int i = 0; i < count; ++i) {
        std::wstring text(static_cast<std::size_t>(::SendMessageW(w, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        ::SendMessageW(w, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        items.push_back(Narrow(text.c_str()));
      }
    }
    return items;
  }

  int ItemIndex(const std::string& name) override {
    HWND w = Get(name);
    if (ClassOf(w) == WC_LISTVIEWW)
      return static_cast<int>(::SendMessageW(w, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return CurrentItem(w);
  }

  bool Enabled(const std::string& name) override { return ::IsWindowEnabled(Get(name)) != FALSE; }
  bool Checked(const std::string& name) override {
    return ::SendMessageW(Get(name), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  bool ReadOnly(const std::string& name) override {
    HWND w = Get(name);
    return _wcsicmp(ClassOf(w).c_str(), L"Edit") == 0 && (Style(w) & ES_READONLY) != 0;
  }
  std::string FocusedControl() override {
    for (HWND w = ::GetFocus(); w != nullptr && w != form_; w = ::GetParent(w))
      if (const char* name = NameOf(w)) return name;
    return {};
  }

  bool SaveImage(const std::string& path) override { return Open() && SaveWithTitle(form_, path); }

 private:
  HWND Get(const std::string& name) {
    if (!::IsWindow(form_)) throw std::invalid_argument("the form is gone");
    using TSearch = std::pair<const std::string&, HWND>;
    TSearch search{name, nullptr};
    ::EnumChildWindows(
        form_,
        [](HWND w, LPARAM data) -> BOOL {
          auto& [wanted, found] = *reinterpret_cast<TSearch*>(data);
          if (const char* name = NameOf(w); name != nullptr && wanted == name) found = w;
          return found == nullptr;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.second == nullptr) throw std::invalid_argument("no control " + name + " in the form " + FormName());
    return search.second;
  }
  void PressKey(UINT key) {
    HWND focus = ::GetFocus();
    PostKey(focus != nullptr && ::IsChild(form_, focus) ? focus : form_, key);
    Settle();
  }
  static int CurrentItem(HWND combo) {
    const LRESULT index = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
  }
  static POINT RowCentre(HWND list, int row) {
    RECT r{};
    r.left = LVIR_BOUNDS;
    ::SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    return {std::min<LONG>(r.left + 20, (r.left + r.right) / 2), (r.top + r.bottom) / 2};
  }
  static POINT BelowRows(HWND list) {
    const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    RECT client{};
    ::GetClientRect(list, &client);
    if (count == 0) return {client.right / 2, client.bottom - 4};
    const POINT last = RowCentre(list, count - 1);
    return {last.x, std::min<LONG>(last.y + 30, client.bottom - 2)};
  }

  HWND form_;
};

LRESULT CALLBACK TWin32Operator::Watch(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lparam);
    TWin32Operator& op = TheOperator();
    if (sent->message == WM_SHOWWINDOW && sent->wParam != FALSE && (Style(sent->hwnd) & WS_CHILD) == 0) {
      op.SeeShow(Narrow(ClassOf(sent->hwnd)), false);
      ::PostMessageW(op.helper_, kFormShown, reinterpret_cast<WPARAM>(sent->hwnd), 0);
    }
    if (sent->message == WM_COMMAND && HIWORD(sent->wParam) == BN_CLICKED && sent->lParam != 0)
      op.presses_.push_back(reinterpret_cast<HWND>(sent->lParam));
  }
  return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK TWin32Operator::HelperProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != kFormShown) return ::DefWindowProcW(hwnd, message, wparam, lparam);
  TheOperator().Handle(reinterpret_cast<HWND>(wparam));
  return 0;
}

void TWin32Operator::Handle(HWND window) {
  if (!::IsWindow(window) || !::IsWindowVisible(window)) return;
  if (ClassOf(window) == L"#32770") {
    AnswerMessageBox(window);
    return;
  }
  // A form shown modally has a dialog frame; a modeless one (the monitor)
  // is left to the test.
  if ((::GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME) == 0) return;
  Settle();  // the form paints and takes the focus first
  EXPECT_EQ(::GetActiveWindow(), window) << "the form did not become active";
  TWinDriver driver(window);
  RunScript(driver);
}

void TWin32Operator::AnswerMessageBox(HWND box) {
  TMsgKind kind = TMsgKind::kPlain;
  std::vector<HWND> buttons;
  for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (!::IsWindowVisible(child)) continue;
    const std::wstring kind_of = ClassOf(child);
    if (_wcsicmp(kind_of.c_str(), L"Button") == 0) buttons.push_back(child);
    if (_wcsicmp(kind_of.c_str(), L"Static") == 0 && (Style(child) & SS_TYPEMASK) == SS_ICON) {
      const auto icon = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
      if (icon == ::LoadIconA(nullptr, IDI_ERROR)) kind = TMsgKind::kError;
      if (icon == ::LoadIconA(nullptr, IDI_INFORMATION)) kind = TMsgKind::kInformation;
    }
  }
  // The box's text is the static item 0xFFFF of the system's message box.
  HWND text = ::GetDlgItem(box, 0xFFFF);
  SeeMessage(kind, Narrow(WindowText(box)), text != nullptr ? Narrow(WindowText(text)) : std::string());
  EXPECT_EQ(buttons.size(), 1u) << "a message box has one button";
  if (HWND ok = ::GetDlgItem(box, IDOK)) {
    PostPress(ok, Centre(ok));
    Settle();
  }
  if (::IsWindow(box) && ::IsWindowVisible(box)) ::EndDialog(box, IDOK);
}


}  // namespace

TOperator& TUi::Operator() { return TheOperator(); }

bool TUi::Available() {
  static const bool available = TOperator::StartBackend();
  return available;
}

void TUi::SetUp() {
  if (!Available()) GTEST_SKIP() << "no Win32 forms backend: " << PluginError();
  InstallBackend(nullptr);
  TheOperator().Install();
}

std::vector<std::unique_ptr<TFormDriver>> TUi::Windows(const std::string& window) {
  std::vector<std::unique_ptr<TFormDriver>> found;
  const std::wstring name = Widen(window);
  for (HWND w = ::FindWindowExW(nullptr, nullptr, name.c_str(), nullptr); w != nullptr;
       w = ::FindWindowExW(nullptr, w, name.c_str(), nullptr)) {
    DWORD process = 0;
    const DWORD thread = ::GetWindowThreadProcessId(w, &process);
    if (process != ::GetCurrentProcessId() || !::IsWindowVisible(w)) continue;
    // The hook sees this thread's windows only: one made elsewhere is
    // caught here.
    TheOperator().SeeShow("", thread != TheOperator().thread_);
    found.push_back(std::make_unique<TWinDriver>(w));
  }
  return found;
}

void TUi::ProcessEvents(std::uint32_t wait_ms) {
  // An ordinary message loop with a deadline: wait for input, handle it.
  const ULONGLONG deadline = ::GetTickCount64() + wait_ms;
  for (;;) {
    Settle();
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return;
    ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void TUi::TearDown() {
  TheOperator().Reset();
  TheOperator().ForgetPresses();
  // Nothing of a test may stay on screen for the next one.
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND w, LPARAM) -> BOOL {
        if (::IsWindowVisible(w)) ADD_FAILURE() << "a window stayed open: " << Narrow(ClassOf(w));
        return TRUE;
      },
      0);
}

}  // namespace kestrel::forms::testing
