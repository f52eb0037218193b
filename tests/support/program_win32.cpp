#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "loader/text.h"
#include "tests/support/test_support.h"
#include "tests/uidriver/uidriver.h"

namespace jov::test {
namespace {

using namespace std::chrono_literals;

constexpr wchar_t kSplashClass[] = L"frmSplash";
constexpr wchar_t kAppTitle[] = L"JOV Loader";
constexpr auto kRunLimit = 120s;

}  // namespace

std::filesystem::path ProgramDir() {
  wchar_t path[MAX_PATH * 4];
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  return std::filesystem::path(std::wstring(path, n)).parent_path();
}

ProgramRun RunLoaderProgram(const std::filesystem::path& folder,
                            const std::vector<std::pair<std::string, std::string>>& environment) {
  std::vector<std::wstring> env;
  for (const auto& [name, value] : environment) env.push_back(FromUtf8(name + "=" + value));
  uidriver::Session session(L"\"" + (ProgramDir() / "jovloader.exe").wstring() + L"\"",
                            folder.wstring(), env);
  ProgramRun run;
  if (!session.Running() && !session.Wait(0ms)) {
    ADD_FAILURE() << "cannot start jovloader.exe";
    return run;
  }

  const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
  bool splashSkipped = false;
  while (session.Running() && std::chrono::steady_clock::now() < deadline) {
    for (const auto& window : session.TopLevelWindows()) {
      // A key press ends the splash at once, as a user in a hurry would.
      if (window.className == kSplashClass && !splashSkipped) {
        ::PostMessageW(reinterpret_cast<HWND>(window.handle), WM_CHAR, L' ', 0);
        splashSkipped = true;
      }
    }
    if (auto message = session.AnswerMessageBox(200ms)) {
      EXPECT_EQ(message->caption, kAppTitle);
      run.messages.push_back(ToUtf8(message->text));
    }
  }
  const auto code = session.Wait(10s);
  EXPECT_TRUE(code.has_value()) << "jovloader.exe did not end within the time limit";
  run.exitCode = code ? static_cast<int>(*code) : -1;
  return run;
}

}  // namespace jov::test
