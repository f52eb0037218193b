#include <windows.h>

#include "loader/ui.h"
#include "version.h"

namespace jov {
namespace {

constexpr wchar_t kAppTitle[] = JOV_WIDE(JOV_APP_TITLE);

class MessageBoxUserInterface final : public UserInterface {
 public:
  void ShowMessage(const NativeString& text) override {
    ::MessageBoxW(nullptr, text.c_str(), kAppTitle, MB_OK);
  }
  [[noreturn]] void EndProgram(int exitCode) override {
    ::ExitProcess(static_cast<UINT>(exitCode));
  }
};

}  // namespace

std::unique_ptr<UserInterface> MakeSystemUserInterface() {
  return std::make_unique<MessageBoxUserInterface>();
}

}  // namespace jov
