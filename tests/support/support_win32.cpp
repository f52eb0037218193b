#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "base/text.h"
#include "tests/support/support.h"

namespace jov::test {

std::filesystem::path ProgramDir() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return std::filesystem::path(path).parent_path();
}

std::filesystem::path Verbatim(const std::filesystem::path& path) {
  // Not std::filesystem::absolute: GetFullPathNameW turns "NUL.jov" into
  // "\\.\NUL".
  return L"\\\\?\\" + (std::filesystem::current_path() / path).wstring();
}

void Hide(const std::filesystem::path& file, bool system) {
  ::SetFileAttributesW(file.c_str(), system ? FILE_ATTRIBUTE_SYSTEM : FILE_ATTRIBUTE_HIDDEN);
}

unsigned AnsiCodePage() { return ::GetACP(); }

void SetVariable(const std::string& name, const std::string& value) {
  ::SetEnvironmentVariableW(FromUtf8(name).c_str(),
                            value.empty() ? nullptr : FromUtf8(value).c_str());
}

// A thread in the part of the user: it finds each message box of the
// loader, in this process or another, reads it and presses OK.
struct MessageCapture::State {
  std::atomic<bool> stop{false};
  std::vector<std::string> messages;
  std::vector<bool> icons;
  std::thread user;
};

namespace {

// WM_GETTEXT reaches controls of other processes, which GetWindowTextW
// cannot read.
std::wstring TextOf(HWND window) {
  std::wstring text(4096, L'\0');
  DWORD_PTR length = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 10000, &length);
  text.resize(length);
  return text;
}

// Every box has an icon control; only one showing an icon has an image.
bool ShowsIcon(HWND box) {
  DWORD_PTR icon = 0;
  for (HWND c = ::GetWindow(box, GW_CHILD); c && !icon; c = ::GetWindow(c, GW_HWNDNEXT)) {
    if ((::GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      ::SendMessageTimeoutW(c, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 10000, &icon);
    }
  }
  return icon != 0;
}

}  // namespace

MessageCapture::MessageCapture() : state_(std::make_unique<State>()) {
  state_->user = std::thread([state = state_.get()] {
    using namespace std::chrono_literals;
    while (!state->stop) {
      // Any box, so that one with the wrong caption shows up as a wrong message
      // instead of waiting forever.
      const HWND box = ::FindWindowW(L"#32770", nullptr);
      // A box just created may not show its text yet.
      const std::wstring text = box ? TextOf(::GetDlgItem(box, 0xFFFF)) : std::wstring();
      if (text.empty()) {
        std::this_thread::sleep_for(10ms);
        continue;
      }
      const std::wstring caption = TextOf(box);
      state->messages.push_back(ToUtf8(caption == L"JOV Loader" ? text : caption + L": " + text));
      state->icons.push_back(ShowsIcon(box));
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      while (::IsWindow(box)) std::this_thread::sleep_for(5ms);
    }
  });
}

MessageCapture::~MessageCapture() { Finish(); }

std::vector<std::string> MessageCapture::Finish() {
  if (state_->user.joinable()) {
    state_->stop = true;
    state_->user.join();
  }
  return state_->messages;
}

std::vector<bool> MessageCapture::Icons() const { return state_->icons; }

}  // namespace jov::test
