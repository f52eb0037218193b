// What every window of ours shares, written once: its class, its handle,
// creation with the object passed along, destruction, the size it takes at
// its DPI, where it stands, and the resize when it moves to a screen of
// another DPI.
//
// A window class derives from Window<Derived> and provides
//   kClassName, kStyle, kExStyle  its class and styles;
//   kClient                       its client area, in 96-DPI units;
//   bool OnCreate()               its controls, made at WM_CREATE; false
//                                 fails the creation;
//   void LayOut(UINT dpi)         its controls placed and given fonts for
//                                 `dpi`;
//   LRESULT HandleMessage(...)    every other message;
// and befriends Window<Derived>.
#pragma once

#include <windows.h>

#include <utility>

#include "base/win32_dpi.h"

namespace jov::win32 {

template <class Derived>
class Window {
 public:
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

 protected:
  Window() = default;
  // Closes the window without telling the derived object, which is gone by
  // now.
  ~Window() {
    if (!window_) return;
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
  }

  // Creates the window, hidden, sized for its DPI and centred on the work
  // area of the primary monitor; false when that failed. Created there at
  // first, so the DPI it is laid out for is that monitor's.
  bool Create(const wchar_t* title) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = Derived::kClassName;
    if (!::RegisterClassExW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      return false;
    }
    return ::CreateWindowExW(Derived::kExStyle, Derived::kClassName, title, Derived::kStyle, 0, 0,
                             1, 1, nullptr, nullptr, windowClass.hInstance, this) != nullptr;
  }

  void Show() {
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::UpdateWindow(window_);
  }

  // Null before creation and once the window is gone, however it went.
  HWND window_ = nullptr;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      self->window_ = window;
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    return self->Dispatch(message, wParam, lParam);
  }

  LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    auto& derived = static_cast<Derived&>(*this);
    switch (message) {
      case WM_CREATE:
        if (!derived.OnCreate()) return -1;
        SizeAndCentre();
        return 0;
      case WM_DPICHANGED: {
        // The system suggests the rectangle at the new DPI; the controls
        // and fonts follow.
        const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(window_, nullptr, suggested.left, suggested.top,
                       suggested.right - suggested.left, suggested.bottom - suggested.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        derived.LayOut(HIWORD(wParam));
        return 0;
      }
      case WM_NCDESTROY: {
        const HWND window = std::exchange(window_, nullptr);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        return ::DefWindowProcW(window, message, wParam, lParam);
      }
    }
    return derived.HandleMessage(message, wParam, lParam);
  }

  // The work area, not the whole monitor: a window centred on the monitor
  // sits lower than the middle of what the taskbar leaves free.
  void SizeAndCentre() {
    const UINT dpi = DpiOf(window_);
    const RECT frame =
        WindowRectForClient(Scale(Derived::kClient.cx, dpi), Scale(Derived::kClient.cy, dpi),
                            Derived::kStyle, Derived::kExStyle, dpi);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    ::SetWindowPos(window_, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, width, height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    static_cast<Derived&>(*this).LayOut(dpi);
  }
};

}  // namespace jov::win32
