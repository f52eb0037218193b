// frmSplash as a real window: every control is a child window of a standard
// class, so screen readers and UI automation can read it.
#include <windows.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "base/win32_handles.h"
#include "base/win32_window.h"
#include "splash/resource.h"
#include "splash/splash.h"
#include "version.h"

namespace jov {
namespace {

constexpr UINT_PTR kTimer1 = 1;
constexpr int kFrame1Id = 100;

constexpr Box kFrame1{10, 4, 471, 269};
// The right edge of the table's text column inside Frame1.
constexpr int kTextRightLimit = 465;
constexpr std::size_t kLabelCount = std::size(kSplashLabels);

using win32::Font;
using win32::Icon;
using win32::Scale;

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

class SplashWindow : public win32::Window<SplashWindow> {
 public:
  explicit SplashWindow(std::chrono::milliseconds interval) : interval_(interval) {}

  // Creates and shows the window; false when that failed.
  bool Open() {
    // The title names the window on the task bar and to screen readers; the
    // style shows no caption bar.
    if (!Create(JOV_WIDE(JOV_APP_TITLE))) return false;
    running_ = true;
    Show();
    return true;
  }

  std::optional<SplashEnd> trigger() const { return trigger_; }

 private:
  friend win32::Window<SplashWindow>;
  static constexpr const wchar_t* kClassName = L"frmSplash";
  // A fixed dialog border and no caption. As an unowned window it still
  // gets a task-bar entry, so a user can find the program while it starts.
  static constexpr DWORD kStyle = WS_POPUP | WS_DLGFRAME | WS_CLIPSIBLINGS;
  static constexpr DWORD kExStyle = 0;
  static constexpr SIZE kClient{488, 277};

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_TIMER:
        if (wParam == kTimer1) Trigger(SplashEnd::kTimer);
        return 0;
      case WM_CHAR:
        Trigger(SplashEnd::kKey);
        return 0;
      case WM_COMMAND:
        if (LOWORD(wParam) == kFrame1Id && HIWORD(wParam) == STN_CLICKED) {
          Trigger(SplashEnd::kClick);
        }
        return 0;
      case WM_DESTROY:
        // However the window went, the message loop has nothing left to do.
        // A window that failed during creation never had a loop: a stray
        // quit message would close the run's first message box at once.
        if (running_) ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
  }

  bool OnCreate() {
    const SplashTexts texts = LoadSplashTexts();
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    // Statics ignore the mouse unless SS_NOTIFY is set; with it, clicks on
    // a label or the logo stop there instead of falling through to Frame1.
    frame1_ =
        ::CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_ETCHEDFRAME | SS_NOTIFY, 0,
                          0, 0, 0, window_, reinterpret_cast<HMENU>(kFrame1Id), instance, nullptr);
    if (!frame1_) return false;
    const auto child = [&](const wchar_t* text, DWORD kind, int id) {
      return ::CreateWindowExW(0, L"Static", text, WS_CHILD | WS_VISIBLE | SS_NOTIFY | kind, 0, 0,
                               0, 0, frame1_, reinterpret_cast<HMENU>(kFrame1Id + id), instance,
                               nullptr);
    };
    imgLogo_ = child(L"", SS_ICON | SS_REALSIZECONTROL, 1);
    if (!imgLogo_) return false;
    for (std::size_t i = 0; i < kLabelCount; ++i) {
      const SplashLabel& label = kSplashLabels[i];
      const NativeString text = label.text ? texts.*label.text : NativeString();
      const DWORD align = label.align == Align::kRight ? SS_RIGHT : SS_LEFT;
      labels_[i] = child(text.c_str(), align | SS_NOPREFIX, 2 + static_cast<int>(i));
      if (!labels_[i]) return false;
    }
    return ::SetTimer(window_, kTimer1, static_cast<UINT>(interval_.count()), nullptr) != 0;
  }

  void LayOut(UINT dpi) {
    const auto scaled = [dpi](const Box& box) {
      return Box{Scale(box.left, dpi), Scale(box.top, dpi), Scale(box.width, dpi),
                 Scale(box.height, dpi)};
    };
    const auto place = [](HWND control, const Box& box) {
      ::MoveWindow(control, box.left, box.top, box.width, box.height, TRUE);
    };
    place(frame1_, scaled(kFrame1));
    std::array<Font, kLabelCount> fonts;
    for (std::size_t i = 0; i < kLabelCount; ++i) {
      const SplashLabel& label = kSplashLabels[i];
      fonts[i] = Font(::CreateFontW(-::MulDiv(label.hundredthsOfPt, static_cast<int>(dpi), 7200), 0,
                                    0, 0, label.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                    CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial"));
      ::SendMessageW(labels_[i], WM_SETFONT, reinterpret_cast<WPARAM>(fonts[i].get()), TRUE);
      Box box = scaled(label.box);
      if (label.text) {
        box = FitToText(labels_[i], fonts[i].get(), box, label, Scale(kTextRightLimit, dpi));
      }
      place(labels_[i], box);
    }
    // The icon is drawn stretched to the control; loading it at the size
    // it will have keeps it as sharp as the picture allows.
    Icon logo(
        static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(JOV_IDI_LOGO),
                                        IMAGE_ICON, Scale(32, dpi), Scale(32, dpi), 0)));
    ::SendMessageW(imgLogo_, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(logo.get()));
    // Setting an image may resize an icon control: placed after it.
    place(imgLogo_, scaled(kLogoBox));
    // The controls hold the new fonts and icon before the old ones go.
    fonts_ = std::move(fonts);
    logo_ = std::move(logo);
  }

  // No label cuts its text: the table's box is its size for the texts it
  // was drawn for, and a longer text (our own identity strings, the version
  // built at load) widens it away from the side it is aligned to. A label
  // that is not sized to its text only grows when its text does not fit,
  // and then moves left rather than run past the frame's right margin.
  static Box FitToText(HWND label, HFONT font, Box box, const SplashLabel& layout, int rightLimit) {
    const std::wstring text = WindowText(label);
    RECT extent{0, 0, 0, 0};
    {
      const win32::WindowDc dc(label);
      const win32::SelectedObject selected(dc.get(), font);
      ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent,
                  DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    }
    const int width = extent.right - extent.left;
    if (width > box.width) {
      if (layout.align == Align::kRight) box.left -= width - box.width;
      box.width = width;
    }
    if (layout.fitsText) box.height = std::max<int>(box.height, extent.bottom - extent.top);
    if (box.left + box.width > rightLimit) box.left = std::max(0, rightLimit - box.width);
    return box;
  }

  void Trigger(SplashEnd trigger) {
    if (trigger_) return;
    trigger_ = trigger;
    ::KillTimer(window_, kTimer1);
    ::DestroyWindow(window_);
  }

  std::chrono::milliseconds interval_;
  bool running_ = false;
  HWND frame1_ = nullptr;
  HWND imgLogo_ = nullptr;
  std::array<HWND, kLabelCount> labels_{};
  std::array<Font, kLabelCount> fonts_;
  Icon logo_;
  std::optional<SplashEnd> trigger_;
};

}  // namespace

SplashEnd RunSplash(std::chrono::milliseconds interval) {
  SplashWindow splash(interval);
  if (!splash.Open()) return SplashEnd::kTimer;
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  // Keys still queued (a second Enter, a held key's repeats) would otherwise
  // answer the run's first message before anyone has seen it.
  while (::PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  return splash.trigger().value_or(SplashEnd::kClosed);
}

}  // namespace jov
