// The progress window of a batch run in this process, read and stopped from
// another thread as a user would.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

#include "base/text.h"
#include "loader/loader.h"
#include "tests/support/support.h"

namespace jov::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A run that hangs ends the test program at once, not at ctest's limit.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit)
      : thread_([limit](const std::stop_token& stop) {
          const auto end = std::chrono::steady_clock::now() + limit;
          while (!stop.stop_requested()) {
            if (std::chrono::steady_clock::now() > end) {
              std::fputs("watchdog: the batch did not end\n", stderr);
              std::_Exit(3);
            }
            std::this_thread::sleep_for(50ms);
          }
        }) {}

 private:
  std::jthread thread_;
};

BOOL CALLBACK AddText(HWND child, LPARAM texts) {
  wchar_t text[256] = {};
  ::GetWindowTextW(child, text, 256);
  reinterpret_cast<std::vector<std::string>*>(texts)->push_back(ToUtf8(text));
  return TRUE;
}

// What the window shows, caption first, then each control and the bar's
// position.
std::vector<std::string> Shown(HWND window) {
  std::vector<std::string> texts;
  AddText(window, reinterpret_cast<LPARAM>(&texts));
  ::EnumChildWindows(window, AddText, reinterpret_cast<LPARAM>(&texts));
  const HWND bar = ::FindWindowExW(window, nullptr, PROGRESS_CLASSW, nullptr);
  texts.push_back("bar at " + std::to_string(::SendMessageW(bar, PBM_GETPOS, 0, 0)));
  return texts;
}

TEST(ProgressWindow, ShowsTheInputAndStopsAfterIt) {
  const std::vector<std::string> firstOfThree = {"JOV Loader", "Loading a.jov", "1 of 3",
                                                 "",           "Stop",          "bar at 0"};
  const struct {
    const char* name;
    std::string stored;  // each of a.jov, b.jov, c.jov
    std::function<void(HWND)> stop;
    std::vector<std::string> shown;  // none: no window appeared
    std::size_t converted;
    std::string outcome;  // the completion message's second line
  } rows[] = {
      {"the Stop button", Encode("1"),
       [](HWND w) {
         ::PostMessageW(::FindWindowExW(w, nullptr, L"Button", nullptr), BM_CLICK, 0, 0);
       },
       firstOfThree, 1, "2 files were not loaded: the batch was stopped."},
      {"the window's close", Encode("1"), [](HWND w) { ::PostMessageW(w, WM_CLOSE, 0, 0); },
       firstOfThree, 1, "2 files were not loaded: the batch was stopped."},
      {"a batch done within a second shows none",
       "\x01",
       nullptr,
       {},
       0,
       "3 of 3 files could not be loaded."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WorkFolder folder(Environment{{"STAND_IN_DELAY_MS", "3000"}});
    for (const char* name : {"a.jov", "b.jov", "c.jov"}) WriteFile(name, row.stored);
    const Watchdog watchdog(60s);
    MessageCapture capture;
    std::atomic<bool> done{false};
    std::vector<std::string> shown;
    std::jthread user([&] {
      while (!done) {
        const HWND window = ::FindWindowW(L"JovProgress", nullptr);
        if (window && ::IsWindowVisible(window)) {
          shown = Shown(window);
          if (row.stop) row.stop(window);
          return;
        }
        std::this_thread::sleep_for(10ms);
      }
    });
    const int status = RunLoader();
    done = true;
    user.join();
    const std::vector<std::string> messages = capture.Finish();

    EXPECT_EQ(shown, row.shown);
    EXPECT_EQ(status, 1);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "JOV Loading Complete\n" + row.outcome);
    EXPECT_EQ(messages.size(), row.converted ? 1 : 4) << "a failure not shown, or one too many";
    const std::string record = ReadFile(folder.record());
    EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), row.converted) << record;
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(".")) left.push_back(Utf8(entry.path()));
    EXPECT_EQ(left.size(), 4 + row.converted) << "an intermediate file is left";
    for (const char* name : {"a.jov", "b.jov", "c.jov"}) EXPECT_EQ(ReadFile(name), row.stored);
    EXPECT_EQ(::FindWindowW(L"JovProgress", nullptr), nullptr) << "the window stays";
  }
}

}  // namespace
}  // namespace jov::test
