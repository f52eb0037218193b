// The live splash window under real input. Most cases run the splash in
// this process, with a helper thread in the part of the user, so each one
// can tell which trigger ended it; the last ones drive the real program.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "loader/text.h"
#include "splash/splash.h"
#include "tests/support/test_support.h"
#include "tests/uidriver/input.h"
#include "tests/uidriver/uidriver.h"

namespace jov::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using uidriver::Rect;

constexpr wchar_t kSplashClass[] = L"frmSplash";
// Long enough that only an input can have ended a run that asserts one.
constexpr auto kNoTimer = 30s;

HWND FindOwnSplash() {
  const auto deadline = Clock::now() + 20s;
  while (Clock::now() < deadline) {
    for (HWND w = ::FindWindowExW(nullptr, nullptr, kSplashClass, nullptr); w;
         w = ::FindWindowExW(nullptr, w, kSplashClass, nullptr)) {
      DWORD process = 0;
      ::GetWindowThreadProcessId(w, &process);
      if (process == ::GetCurrentProcessId() && ::IsWindowVisible(w)) return w;
    }
    std::this_thread::sleep_for(10ms);
  }
  return nullptr;
}

// Runs the splash on this thread while `user` acts on its window from
// another; returns what started the batch run, if anything did.
std::optional<SplashTrigger> RunSplashWith(std::chrono::milliseconds interval,
                                           const std::function<void(HWND)>& user) {
  std::optional<SplashTrigger> run;
  std::thread helper([&] {
    if (const HWND splash = FindOwnSplash()) {
      user(splash);
    } else {
      ADD_FAILURE() << "the splash window did not appear";
    }
  });
  RunSplash(
      [&](SplashTrigger trigger) {
        run = trigger;
        // The window is gone before the batch run starts.
        EXPECT_EQ(::FindWindowW(kSplashClass, nullptr), nullptr);
      },
      interval);
  helper.join();
  return run;
}

// Clicks a point given in the splash's client coordinates at 96 dpi.
void Click(HWND splash, int x, int y) {
  POINT point{x, y};
  ::ClientToScreen(splash, &point);
  ASSERT_TRUE(uidriver::ClickAt(point.x, point.y));
}

void Press(HWND splash, std::uint16_t key) {
  ASSERT_TRUE(uidriver::BringToFront(reinterpret_cast<std::uintptr_t>(splash)));
  ASSERT_TRUE(uidriver::PressKey(key));
}

// The table's controls, in the splash's client coordinates (Frame1 sits at
// 10, 4). Labels sized to their text may be wider than the table says, but
// keep the edge they are aligned to.
struct ExpectedControl {
  const char* name;
  std::wstring text;
  Rect rect;
  bool sizedToText = false;
  bool rightAligned = false;
};

const ExpectedControl kExpectedControls[] = {
    {"Frame1", L"", {10, 4, 471, 269}},
    {"imgLogo", L"", {114, 68, 33, 31}},
    {"lblCompanyProduct", L"Courseware Tools", {154, 68, 189, 29}, true},
    {"lblProductName", L"JOV Loader", {130, 100, 244, 51}, true},
    {"lblPlatform", L"For PocketPC", {328, 160, 139, 24}, true, true},
    {"lblVersion", L"Version 1.0.0", {382, 184, 85, 19}, true, true},
    {"lblCopyright", L"Copyright \u00A9 2026 JOV Loader Project", {314, 208, 161, 17}},
    {"lblCompany", L"JOV Loader Project", {314, 222, 161, 17}},
    {"blank bottom label", L"", {20, 248, 457, 13}},
    {"blank top label", L"", {18, 20, 457, 17}},
};

int TextWidth(HWND label, const std::wstring& text) {
  const HDC dc = ::GetDC(label);
  const HGDIOBJ previous =
      ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)));
  SIZE size{};
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  ::SelectObject(dc, previous);
  ::ReleaseDC(label, dc);
  return size.cx;
}

TEST(SplashWindow, LiveControlsMatchTheLayoutTable) {
  RunSplashWith(kNoTimer, [](HWND splash) {
    if (::GetDpiForWindow(splash) != USER_DEFAULT_SCREEN_DPI) {
      ADD_FAILURE() << "the layout is checked at 96 dpi; this display has "
                    << ::GetDpiForWindow(splash);
    } else {
      const auto window = uidriver::DescribeWindow(reinterpret_cast<std::uintptr_t>(splash));
      EXPECT_EQ(window.text, L"");
      EXPECT_NE(::GetWindowLongW(splash, GWL_STYLE) & WS_CAPTION, WS_CAPTION);
      EXPECT_EQ(window.client.width, 488);
      EXPECT_EQ(window.client.height, 277);
      // Centred on the screen.
      EXPECT_NEAR(window.screen.left * 2 + window.screen.width, ::GetSystemMetrics(SM_CXSCREEN), 1);
      EXPECT_NEAR(window.screen.top * 2 + window.screen.height, ::GetSystemMetrics(SM_CYSCREEN), 1);

      const auto controls =
          uidriver::Session::Descendants(reinterpret_cast<std::uintptr_t>(splash));
      ASSERT_EQ(controls.size(), std::size(kExpectedControls));
      for (std::size_t i = 0; i < controls.size(); ++i) {
        const auto& want = kExpectedControls[i];
        const auto& got = controls[i];
        SCOPED_TRACE(want.name);
        EXPECT_EQ(got.className, L"Static");
        EXPECT_EQ(got.text, want.text);
        EXPECT_TRUE(got.visible);
        const Rect rect{got.screen.left - window.client.left, got.screen.top - window.client.top,
                        got.screen.width, got.screen.height};
        const int needed = TextWidth(reinterpret_cast<HWND>(got.handle), want.text);
        const int right = rect.left + rect.width, wantRight = want.rect.left + want.rect.width;
        EXPECT_EQ(rect.top, want.rect.top);
        EXPECT_EQ(rect.height, want.rect.height);
        EXPECT_GE(rect.width, needed) << "the text is cut";
        if (want.sizedToText) {
          EXPECT_GE(rect.width, want.rect.width);
          if (want.rightAligned) {
            EXPECT_EQ(right, wantRight);
          } else {
            EXPECT_EQ(rect.left, want.rect.left);
          }
        } else if (needed <= want.rect.width) {
          EXPECT_EQ(rect, want.rect);
        } else {
          // Too long a text widens the label leftwards, inside the frame.
          EXPECT_LE(right, wantRight);
        }
      }
    }
    ::PostMessageW(splash, WM_CHAR, L' ', 0);
  });
}

// A spot on Frame1 away from every label and the logo.
constexpr POINT kOnFrame{40, 150};

// Each row's inputs go through the system input queue in order, so the
// trigger that ends the run tells whether an earlier input had already
// started it.
TEST(SplashWindow, TriggersAndNonTriggers) {
  const struct {
    const char* name;
    std::function<void(HWND)> user;
    SplashTrigger expected;
    std::chrono::milliseconds interval = kNoTimer;
  } cases[] = {
      {"a letter", [](HWND s) { Press(s, 'X'); }, SplashTrigger::kKey},
      {"Enter", [](HWND s) { Press(s, VK_RETURN); }, SplashTrigger::kKey},
      {"Escape", [](HWND s) { Press(s, VK_ESCAPE); }, SplashTrigger::kKey},
      {"a click on the frame", [](HWND s) { Click(s, kOnFrame.x, kOnFrame.y); },
       SplashTrigger::kClick},
      {"arrows, function keys and modifiers do nothing",
       [](HWND s) {
         for (int key : {VK_LEFT, VK_DOWN, VK_F1, VK_F5, VK_SHIFT, VK_CONTROL, VK_HOME}) {
           Press(s, static_cast<std::uint16_t>(key));
         }
         Click(s, kOnFrame.x, kOnFrame.y);
       },
       SplashTrigger::kClick},
      {"clicks on labels, the logo and the strips outside the frame do nothing",
       [](HWND s) {
         for (const POINT& spot :
              {POINT{130, 83}, POINT{248, 82}, POINT{252, 125}, POINT{397, 172}, POINT{424, 193},
               POINT{394, 212}, POINT{394, 232}, POINT{248, 254}, POINT{246, 28}, POINT{5, 140},
               POINT{240, 275}, POINT{484, 2}}) {
           Click(s, spot.x, spot.y);
         }
         Press(s, 'Q');
       },
       SplashTrigger::kKey},
      {"nothing: the timer", [](HWND) {}, SplashTrigger::kTimer, kSplashInterval},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    const auto start = Clock::now();
    EXPECT_EQ(RunSplashWith(row.interval, row.user), row.expected);
    if (row.expected == SplashTrigger::kTimer) {
      const auto elapsed = Clock::now() - start;
      EXPECT_GE(elapsed, 1500ms);
      EXPECT_LE(elapsed, 6000ms);
    }
  }
}

TEST(SplashWindow, ClosedAnotherWayRunsNothing) {
  EXPECT_EQ(RunSplashWith(kNoTimer, [](HWND s) { ::PostMessageW(s, WM_CLOSE, 0, 0); }),
            std::nullopt);
}

// The real program, from its splash to its exit status.
TEST(SplashProgram, ClickOnTheFrameRunsTheBatchWithMessagesInOrder) {
  TempFolder folder;
  InstallConverter(folder.path());
  WriteFile(folder / "Unit 3 Review.jov", Encode("first"));
  WriteFile(folder / "broken.jov", Encode("second"));
  uidriver::Session session(L"\"" + (ProgramDir() / "jovloader.exe").wstring() + L"\"",
                            folder.path().wstring(),
                            {L"JOV_FAKE_EXIT=-1", L"JOV_FAKE_ONLY=broken_flex.cdi"});
  const auto splash = session.WaitForWindow(kSplashClass, 60s);
  ASSERT_TRUE(splash) << "no splash";
  const auto controls = uidriver::Session::Descendants(splash->handle);
  ASSERT_FALSE(controls.empty());
  const Rect frame = controls.front().screen;  // Frame1
  ASSERT_TRUE(uidriver::ClickAt(frame.left + kOnFrame.x - 10, frame.top + kOnFrame.y - 4));

  std::vector<uidriver::MessageBoxText> messages;
  while (auto message = session.AnswerMessageBox(30s)) {
    for (const auto& window : session.TopLevelWindows()) EXPECT_NE(window.className, kSplashClass);
    messages.push_back(*message);
  }
  ASSERT_EQ(messages.size(), 2u);
  for (const auto& message : messages) EXPECT_EQ(message.caption, L"JOV Loader");
  EXPECT_EQ(messages[0].text, L"An error occurred. Failed to load broken.jov");
  EXPECT_EQ(messages[1].text, L"JOV Loading Complete");
  // One input failed.
  EXPECT_EQ(session.Wait(30s), 1u);
  EXPECT_FALSE(std::filesystem::exists(folder / "Unit_3_Review_flex.cdi"));
  EXPECT_FALSE(std::filesystem::exists(folder / "broken_flex.cdi"));
}

}  // namespace
}  // namespace jov::test
