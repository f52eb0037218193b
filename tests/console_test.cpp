// The console program as a person at a terminal meets it: the batch run, the
// real program and its splash, each in a child process on a terminal of its
// own, met with keys, signals, pipes, files and narrow terminals. Each row
// compares the whole transcript (the terminal's screen, what went to a file,
// how the run ended, what the converter received, what is left on disk)
// with tests/expected/<row>.posix.txt. Then the console's pure tables.
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <cstdio>

#include "base/posix_console.h"
#include "loader/console_progress.h"
#include "loader/loader.h"
#include "loader/process.h"
#include "loader/ui.h"
#include "splash/splash.h"
#include "tests/support/terminal.h"

namespace jov::test {
namespace {

using namespace std::chrono_literals;

// What the person does while the child runs, step by step.
using Step = std::function<void(Console&, const WorkFolder&)>;
Step Await(std::string text) {
  return [=](Console& c, const WorkFolder&) {
    EXPECT_TRUE(c.WaitFor(text)) << "\"" << text << "\" never showed";
  };
}
Step Type(std::string keys) {
  return [=](Console& c, const WorkFolder&) { c.Type(keys); };
}
Step Send(int signal) {
  return [=](Console& c, const WorkFolder&) { c.Signal(signal); };
}
Step Look(std::string moment) {
  return [=](Console& c, const WorkFolder&) { c.Look(moment); };
}
Step Resize(unsigned short columns) {
  return [=](Console& c, const WorkFolder&) { c.Resize(columns); };
}
Step LookInTheFolder(std::string moment) {
  return [=](Console& c, const WorkFolder& f) { c.Note(moment + ", " + f.Contents()); };
}
// Once the child reads keys one by one (the splash).
const Step kRawMode = [](Console& c, const WorkFolder&) { c.AwaitRawMode(); };
// At each "[Press Enter]" the person reads for a moment, looks whether the
// run waits for them, and presses `key`.
Step AnswerEach(std::string key) {
  return [=](Console& c, const WorkFolder&) {
    while (c.WaitFor("[Press Enter]")) {
      std::this_thread::sleep_for(300ms);
      c.Note(c.Running() ? "the run waits at a prompt\n" : "the run went on\n");
      c.Type(key);
    }
  };
}

// The converter notes its process id beside the work folder and waits for
// a signal, as a long conversion would; it takes a moment to clean up, then
// notes how many requests to end it received.
const Switches kSlowConverter = {{"STAND_IN_WAIT", "../converter.pid"}};
const Step kConverting = [](Console&, const WorkFolder&) {
  Deadline().Await([] { return fs::exists("../converter.pid"); });
};
const Switches kSlowA = {{"STAND_IN_ONLY", "a_flex.cdi"}, {"STAND_IN_DELAY_MS", "700"}};
const Switches kSlow = {{"STAND_IN_DELAY_MS", "700"}};

// The real program with `arguments`.
std::function<int()> Program(std::vector<const char*> arguments) {
  return [=]() mutable {
    const std::string program = ProgramDir() / "jovloader";
    arguments.insert(arguments.begin(), "jovloader");
    arguments.push_back(nullptr);
    return ::execv(program.c_str(), const_cast<char* const*>(arguments.data()));
  };
}

// The splash, then how it ended and whether input is left for the run.
std::function<int()> Splash(std::chrono::milliseconds interval) {
  return [=] {
    const auto start = std::chrono::steady_clock::now();
    const SplashEnd end = RunSplash(interval);
    const bool early = std::chrono::steady_clock::now() - start < interval;
    const char* how[] = {"the timer", "a key", "a click", "closing it"};
    pollfd input{.fd = STDIN_FILENO, .events = POLLIN, .revents = 0};
    std::printf("\nended by %s%s; input left: %s\n", how[static_cast<int>(end)],
                end == SplashEnd::kTimer && early ? ", early" : "",
                ::isatty(STDIN_FILENO) && ::poll(&input, 1, 100) == 1 ? "yes" : "no");
    std::fflush(stdout);
    return 0;
  };
}

const std::vector<Input> kThreeOneBad = {
    {"a.jov", "1"}, {.name = "b.jov", .stored = "\x01"}, {"c.jov", "3"}};
const ConsoleSetup kNoInput = {.in = Stream::kNothing};
const ConsoleSetup kOutToAFile = {.in = Stream::kNothing, .out = Stream::kFile};

struct Row {
  const char* name;
  std::vector<Input> inputs = kThreeOneBad;
  Switches standIn = {};
  ConsoleSetup setup = {};
  std::function<void()> arrange = nullptr;  // what else the folder holds
  std::vector<Step> user = {};
  std::function<int()> body = RunLoader;  // what the child runs
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

// clang-format off
const Row kRows[] = {
    // Ended while a.jov converts: the converter is ended and waited for, its
    // intermediate file (which grants no more than its input) removed, and
    // the run ends by the same signal.
    {.name = "TermWhileConverting", .standIn = kSlowConverter,
     .arrange = [] { fs::permissions("a.jov", fs::perms(0600)); },
     .user = {kConverting, LookInTheFolder("while a.jov converts"), Send(SIGTERM)}},
    {.name = "HangupWhileConverting", .standIn = kSlowConverter,
     .user = {kConverting, Send(SIGHUP)}},
    {.name = "CtrlCWhileConverting", .standIn = kSlowConverter,
     .user = {kConverting, Type("\x03")}},
    {.name = "CtrlBackslashWhileConverting", .standIn = kSlowConverter,
     .user = {kConverting, Type("\x1c")}},
    // Started under nohup: the hangup stays ignored, a later SIGTERM ends it.
    {.name = "HangupIgnoredUnderNohup", .standIn = kSlowConverter, .setup = {.ignored = {SIGHUP}},
     .user = {kConverting, Send(SIGHUP), [](Console&, const WorkFolder&) {
                std::this_thread::sleep_for(200ms); }, Send(SIGTERM)}},
    // Each message waits for Enter; Ctrl+D ends the input at one prompt, not
    // at every later one; every wait ends by a signal, the last one too.
    {.name = "EachMessageWaitsForEnter", .user = {AnswerEach("\r")}},
    {.name = "EndOfInputAtEachPrompt", .user = {AnswerEach("\x04")}},
    {.name = "TermWhileAMessageWaits", .user = {Await("[Press Enter]"), Send(SIGTERM)}},
    {.name = "TermAtTheLastWait",
     .user = {Await("[Press Enter]"), Type("\r"), Await("[Press Enter]"), Send(SIGTERM)}},
    {.name = "CtrlCAtTheLastWait",
     .user = {Await("[Press Enter]"), Type("\r"), Await("[Press Enter]"), Type("\x03")}},
    // A request that came just before a wait begins ends it at once.
    {.name = "TermHeldAsTheWaitBegins", .body = [] {
       HoldInterruptions();
       ::raise(SIGTERM);
       ShowMessage(MessageKind::kError, FromAscii("A message"));
       EndIfInterrupted();
       return 0; }},
    // Nobody could tell that a message waits: no wait.
    {.name = "OutputToAFile", .setup = {.out = Stream::kFile}},
    {.name = "ParentIgnoresChildSignals", .inputs = {{"a.jov", "1"}, {"b.jov", "2"}},
     .setup = {.in = Stream::kNothing, .out = Stream::kFile, .ignored = {SIGCHLD}}},
    // The whole program, its splash included, writing into a closed pipe.
    {.name = "ProgramIntoAClosedPipe",
     .setup = {.in = Stream::kNothing, .out = Stream::kClosedPipe}, .body = Program({})},
    // The progress line, never under a message and gone at the end. One that
    // wrapped could not be erased whole: it is measured in columns, two for
    // each of these characters, and says less where that does not fit.
    {.name = "ProgressLine", .standIn = kSlowA, .setup = kNoInput,
     .user = {Await("a.jov"), Look("while a.jov loads")}},
    {.name = "ProgressLineInANarrowTerminal", .inputs = {{"A rather long lesson name.jov", "1"}},
     .standIn = kSlow, .setup = {.columns = 20, .in = Stream::kNothing},
     .user = {Await("[1/1]"), Look("while it loads")}},
    {.name = "ProgressLineOfWideCharacters",
     .inputs = {{"第三課の復習テ第三課の復習テ第三課の復習テ"
                 "第三課の復習テ第三課の復習テ第三課の復習テ.jov", "1"}},
     .standIn = kSlow, .setup = kNoInput, .user = {Await("[1/1]"), Look("while it loads")}},
    {.name = "ProgressLineTooNarrowForTheName", .inputs = {{"abcd.jov", "1"}}, .standIn = kSlow,
     .setup = {.columns = 10, .in = Stream::kNothing},
     .user = {Await("[1/1]"), Look("while it loads")}},
    {.name = "ProgressLineTooNarrowForTheLine", .inputs = {{"abcd.jov", "1"}},
     .setup = {.columns = 5, .in = Stream::kNothing}},
    // A resize is read again before the next line.
    {.name = "ProgressLineAfterAResize", .inputs = {{"a.jov", "1"}, {"abcdefgh.jov", "2"}},
     .standIn = kSlow, .setup = kNoInput,
     .user = {Await("[1/2]"), Resize(12), Await("[2/2]"), Look("while abcdefgh.jov loads")}},
    // A CSI of C1 (U+009B) would move the cursor as ESC [ does.
    {.name = "ProgressLineWithAControlOfC1",
     .inputs = {{"A3\u009B2JB3.jov", "1"}}, .standIn = kSlow, .setup = kNoInput,
     .user = {Await("[1/1]"), Look("while it loads")}},
    {.name = "NoProgressLineInAFile",
     .setup = {.in = Stream::kNothing, .out = Stream::kFile, .err = Stream::kFile}},
    {.name = "NoProgressLineOnADumbTerminal", .setup = {.term = "dumb", .in = Stream::kNothing}},
    // A terminal started without TERM (su -, some IDEs) still erases lines.
    {.name = "ProgressLineWithoutTerm", .standIn = kSlowA,
     .setup = {.term = nullptr, .in = Stream::kNothing},
     .user = {Await("a.jov"), Look("while a.jov loads")}},
    // Messages to a file and the progress line to the terminal, cut to the
    // terminal's width, which the file does not have.
    {.name = "OutputAndErrorApart", .standIn = kSlowA,
     .setup = {.columns = 10, .in = Stream::kNothing, .out = Stream::kFile},
     .user = {Await("[1/3]"), Look("while a.jov loads")}},
    // The arguments ask about the program itself: none of them shows the
    // splash or touches the folder.
    {.name = "ArgumentHelp", .setup = kOutToAFile, .body = Program({"--help"})},
    {.name = "ArgumentVersion", .setup = kOutToAFile, .body = Program({"--version"})},
    {.name = "ArgumentUnknown", .setup = kOutToAFile, .body = Program({"--helpful"})},
    {.name = "ArgumentWithALineBreak", .setup = kOutToAFile, .body = Program({"new\nline"})},
    {.name = "ArgumentOneTooMany", .setup = kOutToAFile, .body = Program({"--version", "--help"})},
    {.name = "ArgumentWithAControlOfC1", .setup = kOutToAFile, .body = Program({"A3\u009B2J"})},
    // The splash ends on a key that produces a character, and gives the
    // terminal back; a held key's repeats are dropped, or they would answer
    // the first message. Arrows, function keys and the like do nothing: the
    // timer ends those.
    {.name = "SplashLetter", .user = {kRawMode, Type("x")}, .body = Splash(30s)},
    {.name = "SplashEnterHeld", .user = {kRawMode, Type("\r\r\r")}, .body = Splash(30s)},
    {.name = "SplashLoneEscape", .user = {kRawMode, Type("\x1b")}, .body = Splash(30s)},
    {.name = "SplashCtrlS", .user = {kRawMode, Type("\x13")}, .body = Splash(30s)},
    {.name = "SplashNonAscii", .user = {kRawMode, Type("\xc3\xa9")}, .body = Splash(30s)},
    {.name = "SplashLetterAfterArrow", .user = {kRawMode, Type("\x1b[Dq")}, .body = Splash(30s)},
    {.name = "SplashCtrlC", .user = {kRawMode, Type("\x03")}, .body = Splash(30s)},
    {.name = "SplashCtrlBackslash", .user = {kRawMode, Type("\x1c")}, .body = Splash(30s)},
    {.name = "SplashArrow", .user = {kRawMode, Type("\x1b[A")}, .body = Splash(1500ms)},
    {.name = "SplashF1", .user = {kRawMode, Type("\x1bOP")}, .body = Splash(1500ms)},
    {.name = "SplashCtrlRight", .user = {kRawMode, Type("\x1b[1;5C")}, .body = Splash(1500ms)},
    {.name = "SplashWithoutTerminal", .setup = kNoInput, .body = Splash(300ms)},
};
// clang-format on

// The run's transcript, and how the converter that waited for a signal
// ended; `signal`, if sent, reads "that signal".
std::string RunTranscript(const WorkFolder& folder, Console& console, int signal = 0) {
  const std::string ended = console.Ended();
  std::string transcript = folder.Transcript(console.Shown(), ended);
  if (fs::exists("../converter.pid")) {
    transcript +=
        "the converter ended after requests to end: " + ReadFile("../converter.pid.ended");
  }
  if (signal != 0) {
    const std::string name = std::string("SIG") + ::sigabbrev_np(signal);
    transcript.replace(transcript.find(name), name.size(), "that signal");
  }
  return transcript;
}

class ConsoleRun : public testing::TestWithParam<Row> {};

TEST_P(ConsoleRun, ShowsWhatItsTranscriptSays) {
  const Row& row = GetParam();
  const WorkFolder folder(row.inputs, row.standIn);
  if (row.arrange) row.arrange();
  Console console(row.setup, row.body);
  for (const Step& step : row.user) step(console, folder);
  ExpectTranscript(row.name, RunTranscript(folder, console));
}

INSTANTIATE_TEST_SUITE_P(Console, ConsoleRun, testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

// Every signal that ends a program by default ends the run alike when it
// is sent to the program alone while a.jov converts, and the splash alike
// while it waits, the terminal given back first.
TEST(ConsoleRun, EndsAlikeByEverySignalSentToItAlone) {
  for (const int signal : kEndingSignals) {
    SCOPED_TRACE(::sigabbrev_np(signal));
    {
      const WorkFolder folder(kThreeOneBad, kSlowConverter);
      Console console({}, RunLoader);
      kConverting(console, folder);
      console.Signal(signal);
      ExpectTranscript("EndedBySignalSentToItAlone", RunTranscript(folder, console, signal));
    }
    const WorkFolder folder;
    Console console({}, Splash(30s));
    console.AwaitRawMode();
    console.Signal(signal);
    ExpectTranscript("SplashEndedBySignal", RunTranscript(folder, console, signal));
  }
}

// From the second input on the line says how long the rest will take, each
// input taking two seconds here.
TEST(ConsoleRun, SaysHowLongTheRestWillTake) {
  const WorkFolder folder({{"a.jov", "1"}, {"b.jov", "2"}, {"c.jov", "3"}, {"d.jov", "4"}},
                          {{"STAND_IN_DELAY_MS", "2000"}});
  Console console(kNoInput, RunLoader);
  console.WaitFor("[2/4]");
  const auto seen = std::chrono::steady_clock::now();
  console.Look("as b.jov starts");
  const std::string transcript = RunTranscript(folder, console);
  const auto truth = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - seen);
  ExpectTranscript("TimeLeftOnTheConsole", JudgeTimeLeft(transcript, truth));
}

// What reaches a terminal, decided by the locale as `ls` decides it: in
// UTF-8 a letter passes and C1 (U+0085, U+009B CSI) is a control; in the C
// locale every byte beyond ASCII is escaped. Bytes that do not decode
// (stray, cut short, overlong, a surrogate) are escaped one by one.
TEST(Printable, EscapesWhatTheLocaleCannotPrint) {
  const struct {
    const char* locale;
    std::string name, shown;
  } rows[] = {
      {"C.UTF-8", "Unit 3 Review.jov", "Unit 3 Review.jov"},
      {"C.UTF-8", "\x1b[2J\a.jov", "\\033[2J\\007.jov"},
      {"C.UTF-8", "a\tb\nc\rd\x7F", "a\\tb\\nc\\rd\\177"},
      {"C.UTF-8", "A3\u009B2JB3", "A3\\302\\2332JB3"},
      {"C.UTF-8", "\u0085\u0080\u009F\u00A0", "\\302\\205\\302\\200\\302\\237\u00A0"},
      {"C.UTF-8", "Café 第三課 e\u0301 🎒", "Café 第三課 e\u0301 🎒"},
      {"C.UTF-8", std::string("\0x", 2), "\\000x"},
      {"C.UTF-8", "\xB0 \xE7\xAC. \xC0\xAF \xED\xA0\x80",
       "\\260 \\347\\254. \\300\\257 \\355\\240\\200"},
      {"C", "Café\u009B", "Caf\\303\\251\\302\\233"},
      {"C", "\x1b\x9b", "\\033\\233"},
  };
  for (const auto& row : rows) {
    ASSERT_NE(std::setlocale(LC_CTYPE, row.locale), nullptr) << row.locale;
    EXPECT_EQ(Printable(row.name), row.shown) << row.locale << ": " << row.name;
  }
  std::setlocale(LC_CTYPE, "C.UTF-8");
}

// The progress line in a UTF-8 terminal of `columns`: the last column stays
// empty, a name is cut in whole characters by the columns they take, and
// where no character of it fits the line says less.
TEST(ProgressLine, NeverTakesMoreColumnsThanTheTerminalHas) {
  std::string cjk42;
  for (int i = 0; i < 6; ++i) cjk42 += "第三課の復習テ";
  const std::string accents = "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301";
  const struct {
    std::size_t number, count;
    std::string name;
    std::size_t columns;
    std::string suffix, line;
  } rows[] = {
      {3, 12, "Unit 3 Review.jov", 80, "", "[3/12] Unit 3 Review.jov"},
      {1, 1, "abcd", 11, "", "[1/1] abcd"},
      {1, 1, "abcdef.jov", 11, "", "[1/1] a..."},
      {1, 1, "abcd", 6, "", "[1/1]"},
      {1, 1, "a", 0, "", ""},
      // Two columns a character, none for a combining accent.
      {1, 1, cjk42 + ".jov", 81, "", "[1/1] " + cjk42.substr(0, 35 * 3) + "..."},
      {1, 1, "第三課.jov", 14, "", "[1/1] 第三..."},
      {1, 1, "第三課.jov", 13, "", "[1/1] 第..."},
      {1, 1, "第三課.jov", 11, "", "[1/1]"},
      {1, 1, accents, 15, "", "[1/1] " + accents},
      {1, 1, accents, 14, "", "[1/1] " + accents.substr(0, 12) + "..."},
      // Escapes are what the terminal shows, and are measured so.
      {1, 1, "\x1b[2J.jov", 13, "", "[1/1] \\03..."},
      // A suffix goes before the name does.
      {2, 5, "Unit 3 Review.jov", 80, " (1 min left)", "[2/5] Unit 3 Review.jov (1 min left)"},
      {2, 5, "Unit 3 Review.jov", 30, " (1 min left)", "[2/5] Unit 3 ... (1 min left)"},
      {2, 5, "Unit 3 Review.jov", 22, " (1 min left)", "[2/5] Unit 3 Revie..."},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ProgressLine(row.number, row.count, row.name, row.columns, row.suffix), row.line)
        << testing::PrintToString(row.name) << " in " << row.columns << " columns";
  }
  for (const std::string& name : {cjk42, std::string("e\u0301 a \x1b 第 \xB0 🎒 x")}) {
    for (std::size_t columns = 0; columns < 100; ++columns) {
      const std::string line = ProgressLine(100, 200, name, columns, " (1 min left)");
      EXPECT_LT(DisplayWidth(line), std::max<std::size_t>(columns, 1)) << line;
    }
  }
}

}  // namespace
}  // namespace jov::test
