// The batch as the user watches it: a progress window of standard controls,
// as a file copy shows, and the taskbar button's progress.
#include <windows.h>

#include <commctrl.h>
#include <shobjidl.h>

#include <iterator>
#include <memory>
#include <string>
#include <utility>

#include "base/win32_dpi.h"
#include "base/win32_handles.h"
#include "base/win32_window.h"
#include "loader/ui.h"
#include "version.h"

namespace jov {
namespace {

constexpr wchar_t kClassName[] = L"JovProgress";
constexpr UINT_PTR kShowTimer = 1;
// A batch done sooner than this shows no window at all.
constexpr UINT kShowAfterMs = 1000;

enum ControlId : int { kNameId = 100, kCountId, kBarId, kStopId = IDCANCEL };

// In 96-DPI units.
struct Control {
  int id;
  const wchar_t* className;
  DWORD style;
  int left, top, width, height;
};
constexpr SIZE kClient{380, 116};
constexpr Control kControls[] = {
    {kNameId, L"Static", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 12, 12, 356, 16},
    {kCountId, L"Static", SS_LEFT | SS_NOPREFIX, 12, 32, 356, 16},
    {kBarId, PROGRESS_CLASSW, 0, 12, 54, 356, 16},
    // Escape and the window's close are Stop too.
    {kStopId, L"Button", BS_PUSHBUTTON | WS_TABSTOP, 292, 82, 76, 24},
};

struct ComRelease {
  void operator()(IUnknown* object) const { object->Release(); }
};

class ProgressWindow {
 public:
  explicit ProgressWindow(std::size_t count) : count_(count) {
    // The taskbar button is a COM object; a thread that already has COM
    // keeps its own setting.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    comInitialized_ = SUCCEEDED(com);
    Create();
  }
  ~ProgressWindow() {
    if (window_) ::DestroyWindow(window_);
    taskbar_.reset();
    if (comInitialized_) ::CoUninitialize();
  }
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  void Loading(std::size_t number, const NativeString& inputName) {
    number_ = number;
    if (!window_) return;
    ::SetDlgItemTextW(window_, kNameId, (L"Loading " + Printable(inputName)).c_str());
    ::SetDlgItemTextW(window_, kCountId,
                      (std::to_wstring(number) + L" of " + std::to_wstring(count_)).c_str());
    ::SendDlgItemMessageW(window_, kBarId, PBM_SETPOS, number - 1, 0);
    ShowOnTaskbar();
  }

  void Failed() {
    failed_ = true;
    if (!window_) return;
    ::SendDlgItemMessageW(window_, kBarId, PBM_SETSTATE, PBST_ERROR, 0);
    ShowOnTaskbar();
  }

  bool stopRequested() const { return stopRequested_; }

  // Shows a message box that belongs to this window while it is shown, and
  // keeps the window from appearing behind a box that has no owner.
  void ShowMessageBox(const NativeString& text, UINT type) {
    messageOpen_ = true;
    const HWND owner = window_ && ::IsWindowVisible(window_) ? window_ : nullptr;
    ::MessageBoxW(owner, text.c_str(), JOV_WIDE(JOV_APP_TITLE), type);
    messageOpen_ = false;
  }

 private:
  static constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  static constexpr DWORD kExStyle = 0;

  void Create() {
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!win32::RegisterWindowClass(kClassName, win32::ForwardMessages<ProgressWindow>)) return;
    // Hidden until the batch has run for a while; created on the primary
    // monitor so its DPI is the one to lay out for. Without it the batch
    // runs as it did before there was one.
    ::CreateWindowExW(kExStyle, kClassName, JOV_WIDE(JOV_APP_TITLE), kStyle, 0, 0, 1, 1, nullptr,
                      nullptr, instance, this);
  }

  template <class Window>
  friend LRESULT CALLBACK win32::ForwardMessages(HWND, UINT, WPARAM, LPARAM);

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarButtonCreated_ && message != 0) {
      OnTaskbarButtonCreated();
      return 0;
    }
    switch (message) {
      case WM_CREATE:
        return OnCreate() ? 0 : -1;
      case WM_TIMER:
        if (wParam == kShowTimer) OnShowTimer();
        return 0;
      case WM_COMMAND:
        if (LOWORD(wParam) == kStopId) OnStop();
        return 0;
      case WM_CLOSE:
        OnStop();
        return 0;
      case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
      case WM_NCDESTROY: {
        const HWND window = std::exchange(window_, nullptr);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        return ::DefWindowProcW(window, message, wParam, lParam);
      }
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
  }

  bool OnCreate() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    for (const Control& control : kControls) {
      const wchar_t* text = control.id == kStopId ? L"Stop" : L"";
      if (!::CreateWindowExW(0, control.className, text, WS_CHILD | WS_VISIBLE | control.style, 0,
                             0, 0, 0, window_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance,
                             nullptr)) {
        return false;
      }
    }
    ::SendDlgItemMessageW(window_, kBarId, PBM_SETRANGE32, 0, static_cast<LPARAM>(count_));
    // Explorer tells a window that its taskbar button exists; a button made
    // before the window asks would not be told.
    taskbarButtonCreated_ = ::RegisterWindowMessageW(L"TaskbarButtonCreated");

    const UINT dpi = win32::DpiOf(window_);
    const RECT frame = win32::WindowRectForClient(
        win32::Scale(kClient.cx, dpi), win32::Scale(kClient.cy, dpi), kStyle, kExStyle, dpi);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    ::SetWindowPos(window_, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, width, height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    LayOut(dpi);
    return ::SetTimer(window_, kShowTimer, kShowAfterMs, nullptr) != 0;
  }

  void OnShowTimer() {
    // Not beside a message box that belongs to no window: the timer comes
    // again once it is answered.
    if (messageOpen_) return;
    ::KillTimer(window_, kShowTimer);
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::UpdateWindow(window_);
  }

  // The conversion under way runs to its end; LoadAllFiles asks before the
  // next one.
  void OnStop() {
    if (stopRequested_) return;
    stopRequested_ = true;
    const HWND stop = ::GetDlgItem(window_, kStopId);
    ::SetWindowTextW(stop, L"Stopping");
    ::EnableWindow(stop, FALSE);
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

  void OnDpiChanged(UINT dpi, const RECT& suggested) {
    ::SetWindowPos(window_, nullptr, suggested.left, suggested.top,
                   suggested.right - suggested.left, suggested.bottom - suggested.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    LayOut(dpi);
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
      ::MoveWindow(child, win32::Scale(control.left, dpi), win32::Scale(control.top, dpi),
                   win32::Scale(control.width, dpi), win32::Scale(control.height, dpi), TRUE);
    }
    // The controls hold the new font before the old one goes.
    font_ = std::move(font);
  }

  std::size_t count_;
  std::size_t number_ = 0;
  bool failed_ = false;
  bool stopRequested_ = false;
  bool messageOpen_ = false;
  bool comInitialized_ = false;
  UINT taskbarButtonCreated_ = 0;
  HWND window_ = nullptr;
  win32::Font font_;
  std::unique_ptr<ITaskbarList3, ComRelease> taskbar_;
};

}  // namespace

struct Progress::State {
  explicit State(std::size_t count) : window(count) {}
  ProgressWindow window;
};

void ShowMessage(MessageKind kind, const NativeString& text, Progress* progress) {
  // To the front: a box waiting behind another window makes the batch look
  // hung.
  const UINT type = MB_OK | MB_SETFOREGROUND | (kind == MessageKind::kError ? MB_ICONERROR : 0);
  if (progress) {
    progress->state_->window.ShowMessageBox(text, type);
  } else {
    ::MessageBoxW(nullptr, text.c_str(), JOV_WIDE(JOV_APP_TITLE), type);
  }
}

Progress::Progress(std::size_t inputCount) : state_(std::make_unique<State>(inputCount)) {}
Progress::~Progress() = default;
void Progress::Loading(std::size_t number, const NativeString& inputName) {
  state_->window.Loading(number, inputName);
}
void Progress::Failed() { state_->window.Failed(); }
bool Progress::StopRequested() const { return state_->window.stopRequested(); }

}  // namespace jov
