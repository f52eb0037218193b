#include <windows.h>

#include <optional>
#include <vector>

#include "base/win32_handles.h"
#include "loader/process.h"

namespace jov {
namespace {

// Waits for `process` while this thread's windows go on: the progress
// window repaints, moves and answers Stop while a conversion runs.
Result<void> WaitPumping(HANDLE process) {
  std::optional<WPARAM> quit;
  Result<void> waited;
  for (;;) {
    // A quit message ends the pumping, not the wait: it is posted again for
    // the loop it was meant for once the converter is done.
    const DWORD woken =
        quit ? ::WaitForSingleObject(process, INFINITE)
             : ::MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0) break;
    if (woken != WAIT_OBJECT_0 + 1) {
      waited = SystemError{::GetLastError()};
      break;
    }
    MSG message;
    while (!quit && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = message.wParam;
        break;
      }
      // Tab, Space, Enter and Escape work in a window with controls as they
      // do in a dialog.
      const HWND root = message.hwnd ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
      if (root && ::IsDialogMessageW(root, &message)) continue;
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  if (quit) ::PostQuitMessage(static_cast<int>(*quit));
  return waited;
}

}  // namespace

Result<std::int32_t> RunAndWait(const NativeString& program,
                                std::span<const NativeString> arguments) {
  // Joined without quoting: the loader's arguments never hold a blank (spaces
  // became underscores) and Windows names cannot hold a quote, so each one
  // reaches the converter's argv as it stands.
  std::wstring commandLine = program;
  for (const NativeString& argument : arguments) commandLine += L' ' + argument;
  // CreateProcessW may write into the command line, so it gets a copy.
  std::vector<wchar_t> mutableCommandLine(commandLine.begin(), commandLine.end());
  mutableCommandLine.push_back(L'\0');

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // The application name stays null so the system resolves the program as
  // the command line's first word: from the working directory, ".\" first.
  if (!::CreateProcessW(nullptr, mutableCommandLine.data(), nullptr, nullptr, TRUE,
                        NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info)) {
    return SystemError{::GetLastError()};
  }
  const win32::KernelHandle thread(info.hThread);
  const win32::KernelHandle process(info.hProcess);

  if (auto waited = WaitPumping(process.get()); !waited.ok()) return waited.error();
  DWORD exitCode = 0;
  if (!::GetExitCodeProcess(process.get(), &exitCode)) return SystemError{::GetLastError()};
  return static_cast<std::int32_t>(exitCode);
}

std::optional<NativeString> DescribeEndingSignal(std::int32_t) { return std::nullopt; }

// A program with windows gets no console signals; ending it from outside
// (TerminateProcess) cannot be caught at all.
void HoldInterruptions() {}
bool Interrupted() { return false; }
void EndIfInterrupted() {}

}  // namespace jov
