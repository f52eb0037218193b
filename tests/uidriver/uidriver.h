// A small driver for the Windows build's user interface, used by the tests
// under wine: it starts a program, finds the windows that program shows,
// reads their controls and answers them as a person would.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace jov::uidriver {

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

struct WindowInfo {
  std::uintptr_t handle = 0;
  std::wstring className;
  std::wstring text;
  int controlId = 0;
  bool visible = false;
  Rect screen;  // window rectangle in screen coordinates
  Rect client;  // client area in screen coordinates
};

struct MessageBoxText {
  std::wstring caption;
  std::wstring text;
};

// One program under the driver. The program is ended when this object goes
// away, so a failing test never leaves it behind.
class Session {
 public:
  // Starts `commandLine` with `folder` as working directory. `environment`
  // holds extra NAME=VALUE entries on top of this process's environment.
  Session(const std::wstring& commandLine, const std::wstring& folder,
          const std::vector<std::wstring>& environment = {});
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool Running() const;
  std::uint32_t ProcessId() const;

  // The program's visible top-level windows.
  std::vector<WindowInfo> TopLevelWindows() const;
  // Waits until the program shows a top-level window of `className`.
  std::optional<WindowInfo> WaitForWindow(const std::wstring& className,
                                          std::chrono::milliseconds timeout) const;
  // Every descendant control of `window`, in creation order.
  static std::vector<WindowInfo> Descendants(std::uintptr_t window);

  // Waits for the next message box, reads it and presses its OK button.
  // Empty when the program ended, or nothing appeared within `timeout`.
  std::optional<MessageBoxText> AnswerMessageBox(std::chrono::milliseconds timeout);

  // Answers every message box until the program ends; returns them in order.
  std::vector<MessageBoxText> AnswerAllMessageBoxes(std::chrono::milliseconds timeout);

  // Waits for the program to end and returns its exit code; empty on timeout.
  std::optional<std::uint32_t> Wait(std::chrono::milliseconds timeout);

 private:
  void* process_ = nullptr;
  std::uint32_t processId_ = 0;
};

// Reads any window's control texts and rectangles; usable on windows of
// other processes.
WindowInfo DescribeWindow(std::uintptr_t window);

}  // namespace jov::uidriver
