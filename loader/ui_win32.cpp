// The batch as the user watches it: a progress window of standard controls,
// as a file copy shows, and the taskbar button's progress.
#include <windows.h>

#include <commctrl.h>
#include <shobjidl.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "base/win32_dpi.h"
#include "base/win32_handles.h"
#include "base/win32_window.h"
#include "loader/time_left.h"
#include "loader/ui.h"
#include "version.h"

namespace jov {
namespace {

constexpr const wchar_t* kProgressClassName = L"JovProgress";
constexpr UINT_PTR kShowTimer = 1;
// A batch done sooner than this, with no failure to tell, shows no window
// at all.
constexpr UINT kShowAfterMs = 1000;
// The time left counts down while one long conversion runs.
constexpr UINT_PTR kTimeLeftTimer = 2;
constexpr UINT kTimeLeftEveryMs = 1000;

enum ControlId : int { kNameId = 100, kCountId, kBarId, kTimeLeftId, kStopId = IDCANCEL };

struct Control {
  int id;
  const wchar_t* className;
  DWORD style = 0;
  const wchar_t* text = L"";
  struct {
    int left, top, width, height;
  } box;  // in 96-DPI units
};
constexpr Control kControls[] = {
    {.id = kNameId,
     .className = L"Static",
     .style = SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS,
     .box = {12, 12, 356, 16}},
    {.id = kCountId,
     .className = L"Static",
     .style = SS_LEFT | SS_NOPREFIX,
     .box = {12, 32, 356, 16}},
    {.id = kTimeLeftId,
     .className = L"Static",
     .style = SS_LEFT | SS_NOPREFIX,
     .box = {12, 52, 356, 16}},
    {.id = kBarId, .className = PROGRESS_CLASSW, .box = {12, 74, 356, 16}},
    // Escape and the window's close are Stop too.
    {.id = kStopId,
     .className = L"Button",
     .style = BS_PUSHBUTTON | WS_TABSTOP,
     .text = L"Stop",
     .box = {292, 102, 76, 24}},
};

// A message box disables its owner while it is open, and the progress
// window's Stop would answer nothing. This hook, set on the thread for the
// box's life, enables the window again as the box comes up: the box is
// created and its owner disabled first, activated after.
LRESULT CALLBACK KeepOwnerEnabled(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    const HWND owner = ::GetWindow(reinterpret_cast<HWND>(wParam), GW_OWNER);
    wchar_t className[32] = {};
    if (owner && ::GetClassNameW(owner, className, 32) &&
        std::wstring_view(className) == kProgressClassName) {
      ::EnableWindow(owner, TRUE);
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

// The progress window. Created hidden with the batch, so a batch that ends
// within a second without a failure shows nothing.
struct Progress::State : win32::Window<Progress::State> {
  explicit State(std::size_t count) : count_(count), clock_(count) {
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    // Without a window the batch runs all the same, unwatched.
    Create(JOV_WIDE(JOV_APP_TITLE));
  }

  void Loading(std::size_t number, const NativeString& inputName) {
    number_ = number;
    clock_.Loading(number, Now());
    if (!window_) return;
    ::SetDlgItemTextW(window_, kNameId, (L"Loading " + Printable(inputName)).c_str());
    ::SetDlgItemTextW(window_, kCountId,
                      (std::to_wstring(number) + L" of " + std::to_wstring(count_)).c_str());
    ::SendDlgItemMessageW(window_, kBarId, PBM_SETPOS, number - 1, 0);
    ShowOnTaskbar();
    ShowTimeLeft();
  }

  void Failed() {
    failed_ = true;
    if (!window_) return;
    ::SendDlgItemMessageW(window_, kBarId, PBM_SETSTATE, PBST_ERROR, 0);
    ShowOnTaskbar();
  }

  bool StopRequested() const { return stopRequested_; }

  // Shows a message box that belongs to this window, which shows now if
  // the batch has not run long enough for it yet: a batch whose every input
  // fails at once would otherwise show a box per input and nothing to stop
  // it with. The box stays in front of the window, and the window takes
  // Stop and its close meanwhile, so Stop and then OK end the batch.
  void ShowMessageBox(const NativeString& text, UINT type) {
    if (window_ && !::IsWindowVisible(window_)) {
      ::KillTimer(window_, kShowTimer);
      Show();
    }
    clock_.MessageOpened(Now());
    {
      const win32::Hook keepEnabled(
          ::SetWindowsHookExW(WH_CBT, KeepOwnerEnabled, nullptr, ::GetCurrentThreadId()));
      ::MessageBoxW(window_, text.c_str(), JOV_WIDE(JOV_APP_TITLE), type);
    }
    clock_.MessageClosed(Now());
  }

 private:
  friend win32::Window<State>;
  static constexpr const wchar_t* kClassName = kProgressClassName;
  static constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  static constexpr DWORD kExStyle = 0;
  static constexpr SIZE kClient{380, 136};

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarButtonCreated_ && message != 0) {
      OnTaskbarButtonCreated();
      return 0;
    }
    switch (message) {
      case WM_TIMER:
        if (wParam == kShowTimer) OnShowTimer();
        if (wParam == kTimeLeftTimer) ShowTimeLeft();
        return 0;
      case WM_COMMAND:
        if (LOWORD(wParam) == kStopId) OnStop();
        return 0;
      case WM_CLOSE:
        OnStop();
        return 0;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
  }

  bool OnCreate() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    for (const Control& control : kControls) {
      if (!::CreateWindowExW(0, control.className, control.text,
                             WS_CHILD | WS_VISIBLE | control.style, 0, 0, 0, 0, window_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance,
                             nullptr)) {
        return false;
      }
    }
    ::SendDlgItemMessageW(window_, kBarId, PBM_SETRANGE32, 0, static_cast<LPARAM>(count_));
    // Explorer tells a window that its taskbar button exists; a button made
    // before the window asks would not be told.
    taskbarButtonCreated_ = ::RegisterWindowMessageW(L"TaskbarButtonCreated");
    return ::SetTimer(window_, kShowTimer, kShowAfterMs, nullptr) != 0 &&
           ::SetTimer(window_, kTimeLeftTimer, kTimeLeftEveryMs, nullptr) != 0;
  }

  void OnShowTimer() {
    ::KillTimer(window_, kShowTimer);
    Show();
  }

  // The conversion under way runs to its end; LoadAllFiles asks before the
  // next one.
  void OnStop() {
    if (stopRequested_) return;
    stopRequested_ = true;
    const HWND stop = ::GetDlgItem(window_, kStopId);
    ::SetWindowTextW(stop, L"Stopping");
    ::EnableWindow(stop, FALSE);
    ::SetDlgItemTextW(window_, kTimeLeftId, L"Stopping after this file");
  }

  // GetTickCount64: steady, in Windows 7, and fine enough for seconds.
  static std::chrono::milliseconds Now() { return std::chrono::milliseconds(::GetTickCount64()); }

  // Set only when it changes: a static redrawn every second flickers.
  void ShowTimeLeft() {
    const ShownTimeLeft previous = shown_;
    shown_ = clock_.Update(Now());
    if (!window_ || stopRequested_ || shown_ == previous) return;
    ::SetDlgItemTextW(window_, kTimeLeftId, FromAscii(TimeLeftText(shown_)).c_str());
  }

  void OnTaskbarButtonCreated() {
    ITaskbarList3* taskbar = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ITaskbarList3, reinterpret_cast<void**>(&taskbar)))) {
      return;
    }
    taskbar_.reset(taskbar);
    if (FAILED(taskbar_->HrInit())) {
      taskbar_.reset();
      return;
    }
    ShowOnTaskbar();
  }

  void ShowOnTaskbar() {
    if (!taskbar_ || number_ == 0) return;
    taskbar_->SetProgressValue(window_, number_ - 1, count_);
    taskbar_->SetProgressState(window_, failed_ ? TBPF_ERROR : TBPF_NORMAL);
  }

  // The message boxes' font, at the window's DPI.
  void LayOut(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTW face = metrics.lfMessageFont;
    face.lfHeight =
        ::MulDiv(face.lfHeight, static_cast<int>(dpi), static_cast<int>(win32::DpiOf(nullptr)));
    win32::Font font(::CreateFontIndirectW(&face));
    for (const Control& control : kControls) {
      const HWND child = ::GetDlgItem(window_, control.id);
      ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
      ::MoveWindow(child, win32::Scale(control.box.left, dpi), win32::Scale(control.box.top, dpi),
                   win32::Scale(control.box.width, dpi), win32::Scale(control.box.height, dpi),
                   TRUE);
    }
    // The controls hold the new font before the old one goes.
    font_ = std::move(font);
  }

  std::size_t count_;
  std::size_t number_ = 0;
  bool failed_ = false;
  bool stopRequested_ = false;
  BatchClock clock_;
  ShownTimeLeft shown_;
  UINT taskbarButtonCreated_ = 0;
  win32::Font font_;
  // The taskbar button is a COM object.
  win32::ComApartment com_;
  win32::ComPtr<ITaskbarList3> taskbar_;
};

void ShowMessage(MessageKind kind, const NativeString& text, Progress* progress) {
  // To the front: a box waiting behind another window makes the batch look
  // hung.
  const UINT type = MB_OK | MB_SETFOREGROUND | (kind == MessageKind::kError ? MB_ICONERROR : 0);
  if (progress) {
    progress->state_->ShowMessageBox(text, type);
  } else {
    ::MessageBoxW(nullptr, text.c_str(), JOV_WIDE(JOV_APP_TITLE), type);
  }
}

Progress::Progress(std::size_t inputCount) : state_(std::make_unique<State>(inputCount)) {}
Progress::~Progress() = default;
void Progress::Loading(std::size_t number, const NativeString& inputName) {
  state_->Loading(number, inputName);
}
void Progress::Failed() { state_->Failed(); }
bool Progress::StopRequested() const { return state_->StopRequested(); }

}  // namespace jov
