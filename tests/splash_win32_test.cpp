// The live splash window, run in this process while a helper thread plays
// the user with real input through the system's input queue.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <thread>

#include "base/win32_handles.h"
#include "loader/ui.h"
#include "splash/splash.h"
#include "tests/support/support.h"
#include "version.h"

namespace jov::test {
namespace {

using namespace std::chrono_literals;

// Long enough that only an input can have ended a run that asserts one.
constexpr auto kNoTimer = 30s;

// Runs the splash on this thread while `user` acts on its window from
// another; returns what ended it.
SplashEnd RunSplashWith(std::chrono::milliseconds interval, const std::function<void(HWND)>& user) {
  std::thread helper([&] {
    HWND splash = nullptr;
    // Keys go to the window in front; under wine it takes a moment to get
    // there.
    for (int i = 0; i < 500 && (!splash || ::GetForegroundWindow() != splash); ++i) {
      std::this_thread::sleep_for(20ms);
      if ((splash = ::FindWindowW(L"frmSplash", nullptr))) ::SetForegroundWindow(splash);
    }
    ASSERT_NE(splash, nullptr) << "the splash window did not appear";
    user(splash);
  });
  const SplashEnd end = RunSplash(interval);
  helper.join();
  EXPECT_EQ(::FindWindowW(L"frmSplash", nullptr), nullptr) << "the splash is still there";
  return end;
}

// Presses and releases each key, `times` over; key 0 is the mouse button.
void Send(std::vector<WORD> keys, int times = 1) {
  std::vector<INPUT> inputs;
  for (int i = 0; i < times; ++i) {
    for (const WORD key : keys) {
      for (const DWORD up : {0, 1}) {
        INPUT input{};
        input.type = key ? INPUT_KEYBOARD : INPUT_MOUSE;
        input.ki.wVk = key;
        if (key) input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        if (!key) input.mi.dwFlags = up ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN;
        inputs.push_back(input);
      }
    }
  }
  ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  std::this_thread::sleep_for(50ms);
}

// Clicks a point of the splash's client area (at 96 dpi). Wine can press
// the button where the pointer was before a move sent with it, so the
// pointer gets there first.
void Click(HWND splash, POINT at) {
  ::ClientToScreen(splash, &at);
  ::SetCursorPos(at.x, at.y);
  std::this_thread::sleep_for(50ms);
  Send({0});
}

// A spot on Frame1 away from every label and the logo.
constexpr POINT kOnFrame{40, 150};

TEST(SplashWindow, EndsOnlyByItsTriggers) {
  const struct {
    const char* name;
    std::function<void(HWND)> user;
    SplashEnd expected;
    std::chrono::milliseconds interval = kNoTimer;
  } rows[] = {
      // clang-format off
      {"a letter", [](HWND) { Send({'X'}); }, SplashEnd::kKey}, {"Escape", [](HWND) { Send({VK_ESCAPE}); }, SplashEnd::kKey},
      {"a click on the frame", [](HWND s) { Click(s, kOnFrame); }, SplashEnd::kClick},
      {"arrows, function keys, modifiers and clicks on the labels, the logo and the strips outside the frame do nothing",
       [](HWND s) {
         Send({VK_LEFT, VK_F1, VK_SHIFT, VK_CONTROL});
         for (const POINT spot : {POINT{130, 83}, POINT{248, 82}, POINT{252, 125}, POINT{424, 193}, POINT{394, 212},
                                  POINT{248, 254}, POINT{246, 28}, POINT{5, 140}, POINT{484, 2}}) Click(s, spot);
         Click(s, kOnFrame);
       }, SplashEnd::kClick},
      {"closed by the user", [](HWND s) { ::PostMessageW(s, WM_CLOSE, 0, 0); }, SplashEnd::kClosed},
      {"nothing: the timer", [](HWND) {}, SplashEnd::kTimer, 300ms},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(RunSplashWith(row.interval, row.user), row.expected);
  }
}

// Keys typed on after the one that ends the splash must not answer the
// first message before anyone has seen it.
TEST(SplashWindow, KeysTypedOnDoNotAnswerTheFirstMessage) {
  EXPECT_EQ(RunSplashWith(kNoTimer, [](HWND) { Send({VK_RETURN}, 2); }), SplashEnd::kKey);
  MessageCapture capture;
  ShowMessage(MessageKind::kError, FromAscii("first"));
  EXPECT_EQ(capture.Finish(), std::vector<std::string>{"first"});
}

// At 96 dpi: the client area, centred, and every label showing its whole
// text inside Frame1.
TEST(SplashWindow, LaysOutItsControls) {
  RunSplashWith(kNoTimer, [](HWND splash) {
    wchar_t title[64] = {};
    ::GetWindowTextW(splash, title, 64);
    EXPECT_STREQ(title, L"JOV Loader") << "the task bar and screen readers name it by this";
    EXPECT_NE(::GetWindowLongW(splash, GWL_STYLE) & WS_CAPTION, WS_CAPTION);
    RECT client{};
    ::GetClientRect(splash, &client);
    EXPECT_EQ(std::pair(client.right, client.bottom), std::pair(488L, 277L));
    const HWND frame = ::GetWindow(splash, GW_CHILD);
    RECT frameRect{};
    ::GetWindowRect(frame, &frameRect);
    std::set<std::wstring> texts;
    int logos = 0;
    for (HWND c = ::GetWindow(frame, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
      wchar_t text[256] = {};
      ::GetWindowTextW(c, text, 256);
      RECT rect{};
      ::GetWindowRect(c, &rect);
      const win32::WindowDc dc(c);
      const win32::SelectedObject font(
          dc.get(), reinterpret_cast<HFONT>(::SendMessageW(c, WM_GETFONT, 0, 0)));
      SIZE size{};
      ::GetTextExtentPoint32W(dc.get(), text, static_cast<int>(wcslen(text)), &size);
      EXPECT_GE(rect.right - rect.left, size.cx) << "cut: " << text;
      EXPECT_GE(rect.left, frameRect.left);
      EXPECT_LE(rect.right, frameRect.right);
      if (text[0] != L'\0') texts.insert(text);
      logos += (::GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
               ::SendMessageW(c, STM_GETICON, 0, 0) != 0;
    }
    EXPECT_EQ(texts, (std::set<std::wstring>{
                         L"Courseware Tools", L"JOV Loader", L"For PocketPC", L"Version 1.0.0",
                         L"Copyright \u00A9 2026 JOV Loader Project", L"JOV Loader Project"}));
    EXPECT_EQ(logos, 1);
    ::PostMessageW(splash, WM_CHAR, L' ', 0);
  });
}

// The manifest, a resource Windows reads, names the program's own version.
TEST(Resources, ManifestCarriesTheProjectVersion) {
  const HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(found, nullptr);
  const auto* text = static_cast<const char*>(::LockResource(::LoadResource(nullptr, found)));
  EXPECT_NE(std::string_view(text, ::SizeofResource(nullptr, found))
                .find("JOVLoader\" version=\"" JOV_VERSION_STRING ".0\""),
            std::string::npos);
}

}  // namespace
}  // namespace jov::test
