// The Windows program's windows as a user meets them, at the screen density
// and code page the test program runs in: the progress window of a batch
// run in this process, worked by a user's clicks and keys; the splash
// window, with real input through the system's queue; the real program.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "loader/files.h"
#include "loader/loader.h"
#include "loader/process.h"
#include "loader/ui.h"
#include "loader/win32_paths.h"
#include "splash/splash.h"
#include "tests/support/support.h"
#include "version.h"

namespace jov::test {
namespace {

using namespace std::chrono_literals;

// The configuration asked for is the one the test program got: a prefix
// started in the wrong locale or at the wrong density must fail here, not
// pass every row under the usual one.
TEST(Configuration, IsTheOneAskedFor) {
  for (const auto& [variable, actual] :
       {std::pair{"JOV_TEST_CODE_PAGE", AnsiCodePage()}, std::pair{"JOV_TEST_DPI", ScreenDpi()}}) {
    if (const char* asked = std::getenv(variable)) {
      EXPECT_EQ(actual, std::stoul(asked)) << variable;
    }
  }
}

// Every file is opened by a verbatim path, which the system takes as
// written (wine tidies it up): a drive's or a share's root gains no second
// separator.
TEST(VerbatimPath, SpellsAFileOfTheFolderLiterally) {
  const struct {
    const wchar_t *folder, *path;
  } rows[] = {
      {L"C:\\Lessons", L"\\\\?\\C:\\Lessons\\NUL.jov"},
      {L"J:\\", L"\\\\?\\J:\\NUL.jov"},
      {L"\\\\server\\share\\", L"\\\\?\\UNC\\server\\share\\NUL.jov"},
      {L"\\\\?\\C:\\Long", L"\\\\?\\C:\\Long\\NUL.jov"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ToUtf8(VerbatimPath(row.folder, L"NUL.jov")), ToUtf8(row.path)) << ToUtf8(row.folder);
  }
}

struct ProgressRow {
  const char* name;
  std::vector<Input> inputs;
  Switches standIn = {};
  UserPlan user;
  std::function<Undo()> arrange = nullptr;  // what else the folder holds
};
void PrintTo(const ProgressRow& row, std::ostream* os) { *os << row.name; }

const std::vector<Input> kThree = {{"a.jov", "1"}, {"b.jov", "2"}, {"c.jov", "3"}};
const std::vector<Input> kTen = [] {
  std::vector<Input> inputs;
  for (char name = 'a'; name <= 'j'; ++name) inputs.push_back({std::string(1, name) + ".jov", "x"});
  return inputs;
}();
// Each conversion takes long enough for the window to show and be used.
const Switches kSlow = {{"STAND_IN_DELAY_MS", "1500"}};
constexpr auto kStop = [](Act act) {
  return UserPlan{.watchProgress = true, .steps = {{"1 of 3", act}, {"Stopping", Act::kLook}}};
};

const ProgressRow kProgressRows[] = {
    // Each way to stop: the conversion under way finishes, nothing more is
    // loaded, the completion says so.
    {"StopButton", kThree, kSlow, kStop(Act::kClickStop)},
    {"StopByClosingTheWindow", kThree, kSlow, kStop(Act::kCloseWindow)},
    {"StopByEscape", kThree, kSlow, kStop(Act::kPressEscape)},
    {"StopByTabAndSpace", kThree, kSlow, kStop(Act::kPressTabThenSpace)},
    // A batch done within a second, with no failure to tell, shows no window
    // at all.
    {"QuickBatch", {{"a.jov", "1"}}, {{"STAND_IN_DELAY_MS", "400"}}, {.watchProgress = true}},
    // A failure, then a stop: the completion says both, in that order.
    {"FailureThenStop",
     {{.name = "a.jov", .stored = "\x01"}, {"b.jov", "2"}, {"c.jov", "3"}},
     kSlow,
     {.watchProgress = true, .steps = {{"2 of 3", Act::kClickStop}}}},
    // A failure's box belongs to the window, which shows it on its bar.
    {"FailureOverTheWindow",
     {{"a.jov", "1"}, {.name = "b.jov", .stored = "\x01"}, {"c.jov", "3"}},
     kSlow,
     {.watchProgress = true, .steps = {{"3 of 3", Act::kLook}}}},
    // A batch whose every input fails at once ends in two actions, Stop and
    // OK, not a box per input: the first failure shows the window behind its
    // box, and Stop answers while the box is open.
    {.name = "StopWhileAFailureIsTold",
     .inputs = kTen,
     .user = {.watchProgress = true, .holdBoxes = 1000ms, .steps = {{"1 of 10", Act::kClickStop}}},
     .arrange = [] { return fs::remove("CASLcdi2ppc.exe"), Undo(); }},
};

class ProgressWindow : public testing::TestWithParam<ProgressRow> {};

TEST_P(ProgressWindow, ShowsWhatItsTranscriptSays) {
  const ProgressRow& row = GetParam();
  const WorkFolder folder(row.inputs, row.standIn);
  const Undo undo = row.arrange ? row.arrange() : nullptr;
  User user(row.user);
  const int status = RunLoader();
  const std::string shown = user.Finish();
  if (undo) undo();
  ExpectTranscript(row.name, folder.Transcript(shown, "exit status " + std::to_string(status)));
}

INSTANTIATE_TEST_SUITE_P(Batch, ProgressWindow, testing::ValuesIn(kProgressRows),
                         [](const auto& row) { return std::string(row.param.name); });

// From the second input on the window says how long the rest will take,
// each input taking two seconds here.
TEST(ProgressWindow, SaysHowLongTheRestWillTake) {
  const WorkFolder folder({{"a.jov", "1"}, {"b.jov", "2"}, {"c.jov", "3"}, {"d.jov", "4"}},
                          {{"STAND_IN_DELAY_MS", "2000"}});
  User user({.watchProgress = true, .steps = {{"2 of 4", Act::kLook}}});
  const auto start = std::chrono::steady_clock::now();
  const int status = RunLoader();
  // The user looks as b.jov starts, with three of the four inputs to go.
  const auto truth = std::chrono::duration_cast<std::chrono::milliseconds>(
      (std::chrono::steady_clock::now() - start) * 3 / 4);
  const std::string shown = user.Finish();
  ExpectTranscript(
      "TimeLeftInTheWindow",
      JudgeTimeLeft(folder.Transcript(shown, "exit status " + std::to_string(status)), truth));
}

// The real program, as a user starts it in a folder: its splash ends by
// itself, its boxes come from another process, and it holds the folder's
// lock, a hidden file, while it runs. Started again where another run is
// loading, it changes nothing; nor does one whose splash the user closes.
TEST(Program, LoadsTheFolderItStartsIn) {
  const WorkFolder folder(std::vector<Input>{{"Unit 3 Review.jov", "review"},
                                             {.name = "broken.jov", .stored = "\x01"}});
  const auto run = [](bool closeSplash) {
    std::string lock = "never seen";
    std::jthread watch([&lock, closeSplash](const std::stop_token& stop) {
      while (!stop.stop_requested()) {
        const DWORD attributes = ::GetFileAttributesW(L".jovloader.lock");
        if (attributes != INVALID_FILE_ATTRIBUTES) {
          lock = attributes & FILE_ATTRIBUTE_HIDDEN ? "hidden" : "not hidden";
        }
        const HWND splash = ::FindWindowW(L"frmSplash", nullptr);
        if (closeSplash && splash) ::PostMessageW(splash, WM_CLOSE, 0, 0);
        std::this_thread::sleep_for(5ms);
      }
    });
    const auto status = RunAndWait((ProgramDir() / "jovloader.exe").native(), {});
    watch.request_stop();
    watch.join();
    return "exit status " + std::to_string(status.ok() ? status.value() : -999) +
           ", its lock file " + lock + "\n";
  };
  User user;
  std::string shown = run(false);
  {
    const auto lock = LockWorkingFolder();
    ASSERT_TRUE(lock.ok());
    shown += "while another run holds the folder:\n" + run(false);
  }
  shown += "the splash closed (Alt+F4):\n" + run(true);
  shown += user.Finish();
  ExpectTranscript("Program", folder.Transcript(shown, "the end"));
}

// Runs the splash on this thread while `user` acts on its window from
// another; returns what ended it.
SplashEnd RunSplashWith(std::chrono::milliseconds interval, const std::function<void(HWND)>& user) {
  std::thread helper([&] {
    HWND splash = nullptr;
    // Keys go to the window in front; under wine it takes a moment to get
    // there.
    Deadline().Await([&] {
      if ((splash = ::FindWindowW(L"frmSplash", nullptr))) ::SetForegroundWindow(splash);
      return splash && ::GetForegroundWindow() == splash;
    });
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
      for (const bool up : {false, true}) {
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

// Clicks a point of the splash's client area, given at 96 dpi. Wine can
// press the button where the pointer was before a move sent with it, so the
// pointer gets there first.
void Click(HWND splash, POINT at) {
  const auto dpi = static_cast<int>(ScreenDpi());
  POINT point{::MulDiv(at.x, dpi, 96), ::MulDiv(at.y, dpi, 96)};
  ::ClientToScreen(splash, &point);
  ::SetCursorPos(point.x, point.y);
  std::this_thread::sleep_for(50ms);
  Send({0});
}

// A spot on Frame1 away from every label and the logo.
constexpr POINT kOnFrame{40, 150};

TEST(SplashWindow, EndsOnlyByItsTriggers) {
  const struct {
    const char* name;
    std::function<void(HWND)> user;
    SplashEnd end;
    std::chrono::milliseconds interval = 30s;
  } rows[] = {
      {"a letter", [](HWND) { Send({'X'}); }, SplashEnd::kKey},
      {"Escape", [](HWND) { Send({VK_ESCAPE}); }, SplashEnd::kKey},
      {"a click on the frame", [](HWND s) { Click(s, kOnFrame); }, SplashEnd::kClick},
      // None of these ends it: the timer does, long after them.
      {"arrows, function keys, modifiers, clicks on the labels, the logo and the strips",
       [](HWND s) {
         Send({VK_LEFT, VK_F1, VK_SHIFT, VK_CONTROL});
         for (const POINT spot :
              {POINT{130, 83}, POINT{248, 82}, POINT{252, 125}, POINT{424, 193}, POINT{394, 212},
               POINT{248, 254}, POINT{246, 28}, POINT{5, 140}, POINT{484, 2}}) {
           Click(s, spot);
         }
       },
       SplashEnd::kTimer, 5s},
      {"closed by the user", [](HWND s) { ::PostMessageW(s, WM_CLOSE, 0, 0); }, SplashEnd::kClosed},
      {"nothing: the timer", [](HWND) {}, SplashEnd::kTimer, 300ms},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(RunSplashWith(row.interval, row.user), row.end);
  }
}

// Keys typed on after the one that ends the splash must not answer the
// first message before anyone has seen it.
TEST(SplashWindow, KeysTypedOnDoNotAnswerTheFirstMessage) {
  EXPECT_EQ(RunSplashWith(30s, [](HWND) { Send({VK_RETURN}, 2); }), SplashEnd::kKey);
  User user;
  ShowMessage(MessageKind::kError, FromAscii("first"));
  EXPECT_EQ(user.Finish(), "box \"JOV Loader\", error icon, in front:\n  first\n");
}

// The window as laid out at this screen's density, in 96-dpi units: the
// client area, its place, and each control's box, text, font and look.
TEST(SplashWindow, LaysOutItsControls) {
  std::string shown;
  RunSplashWith(30s, [&](HWND splash) {
    const auto dpi = static_cast<int>(ScreenDpi());
    const auto at96 = [dpi](long pixels) { return std::to_string(::MulDiv(pixels, 96, dpi)); };
    wchar_t text[256] = {};
    RECT rect{};
    const auto box = [&](HWND window, HWND parent) {
      ::GetWindowRect(window, &rect);
      ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
      return at96(rect.left) + "," + at96(rect.top) + " " + at96(rect.right - rect.left) + "x" +
             at96(rect.bottom - rect.top);
    };
    ::GetWindowTextW(splash, text, 256);
    ::GetClientRect(splash, &rect);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(splash, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT frame{};
    ::GetWindowRect(splash, &frame);
    const RECT& work = monitor.rcWork;
    const bool centred = std::abs(frame.left + frame.right - work.left - work.right) <= 2 &&
                         std::abs(frame.top + frame.bottom - work.top - work.bottom) <= 2;
    const LONG style = ::GetWindowLongW(splash, GWL_STYLE);
    shown = "window \"" + ToUtf8(text) + "\", client " + at96(rect.right) + "x" +
            at96(rect.bottom) + (centred ? ", centred" : ", off centre") +
            ((style & WS_CAPTION) == WS_CAPTION ? ", with a caption" : ", no caption") +
            ((style & WS_DLGFRAME) ? ", a dialog frame" : ", no frame") + "\n";
    const HWND frame1 = ::GetWindow(splash, GW_CHILD);
    shown += "  frame " + box(frame1, splash) + "\n";
    for (HWND c = ::GetWindow(frame1, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
      ::GetWindowTextW(c, text, 256);
      const LONG controlStyle = ::GetWindowLongW(c, GWL_STYLE);
      shown += "  " + box(c, frame1);
      if ((controlStyle & SS_TYPEMASK) == SS_ICON) {
        shown += ::SendMessageW(c, STM_GETICON, 0, 0) ? " the logo" : " no logo";
      } else {
        LOGFONTW font{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(c, WM_GETFONT, 0, 0)), sizeof font,
                     &font);
        char size[32];
        std::snprintf(size, sizeof size, " %.2fpt", -font.lfHeight * 72.0 / dpi);
        shown += " \"" + ToUtf8(text) + "\" " + ToUtf8(font.lfFaceName) + size +
                 (font.lfWeight >= FW_BOLD ? " bold" : "") +
                 ((controlStyle & SS_TYPEMASK) == SS_RIGHT ? ", right-aligned" : "");
      }
      shown += "\n";
    }
    ::PostMessageW(splash, WM_CHAR, L' ', 0);
  });
  ExpectTranscript("SplashLayout", shown);
}

// What Windows and Explorer read from the real program's resources: the
// manifest's requests and the version record that Properties shows.
TEST(Program, CarriesItsManifestAndVersionRecord) {
  const std::wstring program = (ProgramDir() / "jovloader.exe").native();
  const HMODULE module = ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr) << "no manifest";
  const std::string manifest(
      static_cast<const char*>(::LockResource(::LoadResource(module, found))),
      ::SizeofResource(module, found));
  std::string shown = "manifest:\n";
  for (const char* tag : {"<assemblyIdentity", "<requestedExecutionLevel", "<dpiAware ",
                          "<dpiAwareness", "<longPathAware", "<supportedOS"}) {
    for (auto at = manifest.find(tag); at != std::string::npos; at = manifest.find(tag, at + 1)) {
      // The element, with its text if it has one, on one line.
      const auto end = manifest.find('>', at);
      std::string element = manifest.substr(
          at, manifest[end - 1] == '/' ? end + 1 - at : manifest.find('<', end) - at);
      for (auto blank = element.find_first_of("\n "); blank != std::string::npos;
           blank = element.find_first_of("\n ", blank + 1)) {
        element.replace(blank, element.find_first_not_of("\n ", blank) - blank, " ");
      }
      shown += "  " + element + "\n";
    }
  }
  ::FreeLibrary(module);
  std::vector<char> record(::GetFileVersionInfoSizeW(program.c_str(), nullptr));
  ASSERT_TRUE(
      ::GetFileVersionInfoW(program.c_str(), 0, static_cast<DWORD>(record.size()), record.data()));
  void* value = nullptr;
  UINT size = 0;
  ::VerQueryValueW(record.data(), L"\\", &value, &size);
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  const auto numbers = [](DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
           std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
  };
  ::VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation", &value, &size);
  const auto* language = static_cast<const WORD*>(value);
  char translation[16];
  std::snprintf(translation, sizeof translation, "%04X%04X", language[0], language[1]);
  shown += "version record: file " + numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS) +
           ", product " + numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS) +
           ", texts in " + translation + "\n";
  for (const char* name :
       {"CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright",
        "OriginalFilename", "ProductName", "ProductVersion", "Comments"}) {
    const std::wstring key = L"\\StringFileInfo\\" + FromUtf8(translation) + L"\\" + FromUtf8(name);
    const bool present = ::VerQueryValueW(record.data(), key.c_str(), &value, &size);
    shown += std::string("  ") + name + ": " +
             (present ? ToUtf8(static_cast<const wchar_t*>(value)) : "(none)") + "\n";
  }
  ExpectTranscript("Resources", shown);
}

}  // namespace
}  // namespace jov::test
