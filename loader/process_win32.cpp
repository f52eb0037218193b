#include <windows.h>

#include <string>
#include <vector>

#include "loader/process.h"
#include "loader/win32_support.h"

namespace jov {
namespace {

using win32::KernelHandle;

class Win32ProcessLauncher final : public ProcessLauncher {
 public:
  std::int32_t Run(const NativeString& commandLine) override { return RunAndWait(commandLine); }
};

}  // namespace

std::int32_t RunAndWait(const NativeString& commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // CreateProcessW may write into the command line, so it gets a copy.
  std::vector<wchar_t> mutableCommandLine(commandLine.begin(), commandLine.end());
  mutableCommandLine.push_back(L'\0');

  if (!::CreateProcessW(nullptr, mutableCommandLine.data(), nullptr, nullptr, TRUE,
                        NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info)) {
    return -1;
  }
  const KernelHandle thread(info.hThread);
  const KernelHandle process(info.hProcess);

  if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) return -1;
  DWORD exitCode = 0;
  if (!::GetExitCodeProcess(process.get(), &exitCode)) return -1;
  return static_cast<std::int32_t>(exitCode);
}

std::unique_ptr<ProcessLauncher> MakeSystemProcessLauncher() {
  return std::make_unique<Win32ProcessLauncher>();
}

}  // namespace jov
