#include <windows.h>

#include <thread>

#include "tests/uidriver/uidriver.h"

namespace jov::uidriver {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(20);
// Generous: on a loaded machine wine can take seconds to answer.
constexpr UINT kReplyTimeoutMs = 10000;

// Dialog class used by MessageBoxW, and the ids of its text and OK button.
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr int kMessageTextId = 0xFFFF;

HWND ToHwnd(std::uintptr_t handle) { return reinterpret_cast<HWND>(handle); }
std::uintptr_t FromHwnd(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd); }

// GetWindowTextW cannot read another process's controls; WM_GETTEXT can.
std::wstring ReadText(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kReplyTimeoutMs,
                             &length)) {
    return {};
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, kReplyTimeoutMs, &copied);
  text.resize(copied);
  return text;
}

Rect ToRect(const RECT& r) { return Rect{r.left, r.top, r.right - r.left, r.bottom - r.top}; }

std::vector<std::wstring> MergedEnvironment(const std::vector<std::wstring>& extra) {
  std::vector<std::wstring> entries;
  if (wchar_t* block = ::GetEnvironmentStringsW()) {
    for (const wchar_t* p = block; *p != L'\0'; p += wcslen(p) + 1) entries.emplace_back(p);
    ::FreeEnvironmentStringsW(block);
  }
  for (const std::wstring& entry : extra) {
    const std::wstring name = entry.substr(0, entry.find(L'=') + 1);
    std::erase_if(entries, [&](const std::wstring& e) {
      return ::CompareStringOrdinal(e.c_str(), static_cast<int>(std::min(e.size(), name.size())),
                                    name.c_str(), static_cast<int>(name.size()),
                                    TRUE) == CSTR_EQUAL;
    });
    entries.push_back(entry);
  }
  return entries;
}

// Enumeration callbacks are functions rather than lambdas: a lambda converts
// only to the default calling convention, which 32-bit Windows callbacks
// (CALLBACK) do not use.
struct WindowSearch {
  DWORD pid;
  std::vector<WindowInfo> found;
};

BOOL CALLBACK AddVisibleWindowOf(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  if (pid == search->pid && ::IsWindowVisible(hwnd))
    search->found.push_back(DescribeWindow(FromHwnd(hwnd)));
  return TRUE;
}

BOOL CALLBACK AddWindow(HWND hwnd, LPARAM param) {
  reinterpret_cast<std::vector<WindowInfo>*>(param)->push_back(DescribeWindow(FromHwnd(hwnd)));
  return TRUE;
}

}  // namespace

WindowInfo DescribeWindow(std::uintptr_t window) {
  const HWND hwnd = ToHwnd(window);
  WindowInfo info;
  info.handle = window;
  wchar_t className[256] = {};
  ::GetClassNameW(hwnd, className, 256);
  info.className = className;
  info.text = ReadText(hwnd);
  info.controlId = ::GetDlgCtrlID(hwnd);
  info.visible = ::IsWindowVisible(hwnd) != FALSE;
  RECT r{};
  ::GetWindowRect(hwnd, &r);
  info.screen = ToRect(r);
  RECT c{};
  ::GetClientRect(hwnd, &c);
  POINT origin{0, 0};
  ::ClientToScreen(hwnd, &origin);
  info.client = Rect{origin.x, origin.y, c.right, c.bottom};
  return info;
}

Session::Session(const std::wstring& commandLine, const std::wstring& folder,
                 const std::vector<std::wstring>& environment) {
  std::wstring block;
  for (const std::wstring& entry : MergedEnvironment(environment)) {
    block += entry;
    block += L'\0';
  }
  block += L'\0';
  std::wstring mutableCommandLine = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (::CreateProcessW(nullptr, mutableCommandLine.data(), nullptr, nullptr, FALSE,
                       CREATE_UNICODE_ENVIRONMENT, block.data(), folder.c_str(), &startup, &info)) {
    ::CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    // Windows of a program that is still starting cannot be found yet.
    ::WaitForInputIdle(info.hProcess, 5000);
  }
}

Session::~Session() {
  if (process_ == nullptr) return;
  if (Running()) {
    ::TerminateProcess(process_, 99);
    ::WaitForSingleObject(process_, 5000);
  }
  ::CloseHandle(process_);
}

bool Session::Running() const {
  return process_ != nullptr && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::uint32_t Session::ProcessId() const { return processId_; }

std::vector<WindowInfo> Session::TopLevelWindows() const {
  WindowSearch search{processId_, {}};
  ::EnumWindows(AddVisibleWindowOf, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::optional<WindowInfo> Session::WaitForWindow(const std::wstring& className,
                                                 std::chrono::milliseconds timeout) const {
  const auto deadline = Clock::now() + timeout;
  do {
    for (const WindowInfo& w : TopLevelWindows()) {
      if (w.className == className) return w;
    }
    if (!Running()) return std::nullopt;
    std::this_thread::sleep_for(kPollInterval);
  } while (Clock::now() < deadline);
  return std::nullopt;
}

std::vector<WindowInfo> Session::Descendants(std::uintptr_t window) {
  std::vector<WindowInfo> found;
  ::EnumChildWindows(ToHwnd(window), AddWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::optional<MessageBoxText> Session::AnswerMessageBox(std::chrono::milliseconds timeout) {
  const auto box = WaitForWindow(kDialogClass, timeout);
  if (!box) return std::nullopt;
  const HWND dialog = ToHwnd(box->handle);
  // A box can be found in the instant between becoming visible and having
  // its texts, or its owner can be too busy to answer; every box this
  // program shows has a caption, so an empty one means "read again".
  MessageBoxText message{box->text, ReadText(::GetDlgItem(dialog, kMessageTextId))};
  for (const auto deadline = Clock::now() + std::chrono::seconds(10);
       message.caption.empty() && ::IsWindow(dialog) && Clock::now() < deadline;) {
    std::this_thread::sleep_for(kPollInterval);
    message = {ReadText(dialog), ReadText(::GetDlgItem(dialog, kMessageTextId))};
  }
  // WM_COMMAND with IDOK is what the OK button itself sends: no focus or
  // mouse position needed, so it works on a hidden or inactive desktop.
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
  // Wait until the box is gone, so the next call cannot read it twice.
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (::IsWindow(dialog) && ::IsWindowVisible(dialog) && Clock::now() < deadline) {
    std::this_thread::sleep_for(kPollInterval);
  }
  return message;
}

std::vector<MessageBoxText> Session::AnswerAllMessageBoxes(std::chrono::milliseconds timeout) {
  std::vector<MessageBoxText> messages;
  const auto deadline = Clock::now() + timeout;
  while (Running() && Clock::now() < deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (auto message = AnswerMessageBox(left)) messages.push_back(std::move(*message));
  }
  return messages;
}

std::optional<std::uint32_t> Session::Wait(std::chrono::milliseconds timeout) {
  if (process_ == nullptr) return std::nullopt;
  if (::WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
    return std::nullopt;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process_, &code);
  return code;
}

}  // namespace jov::uidriver
