// The console program as a person at a terminal meets it: the batch run in a
// child process on a terminal of its own, met with signals, Enter, pipes,
// files and narrow terminals; the arguments; the splash. Each row compares
// the whole transcript (the terminal's screen, what went to a file, how the
// run ended, what the converter received, what is left on disk) with
// tests/expected/<row>.posix.txt.
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

// The converter notes its process id beside the work folder and waits for
// a signal, as a long conversion would; it takes a moment to clean up, then
// notes how many requests to end it received.
const Switches kSlowConverter = {{"STAND_IN_WAIT", "../converter.pid"}};
const std::vector<Input> kThreeOneBad = {
    {"a.jov", "1"}, {.name = "b.jov", .stored = "\x01"}, {"c.jov", "3"}};

void OnceConverting(Console& console, int signal) {
  Deadline().Await([] { return fs::exists("../converter.pid"); });
  console.Signal(signal);
}

// At each "[Press Enter]" the person reads for a moment, looks whether the
// run waits for them, and presses `key`.
void AnswerEveryMessage(Console& console, std::string_view key) {
  while (console.WaitFor("[Press Enter]")) {
    std::this_thread::sleep_for(300ms);
    console.Note(console.Running() ? "the run waits at a prompt\n" : "the run went on\n");
    console.Type(key);
  }
}

struct Row {
  const char* name;
  std::vector<Input> inputs = kThreeOneBad;
  Switches standIn = {};
  ConsoleSetup setup = {};
  std::function<void()> arrange = nullptr;  // what else the folder holds
  // What the person does meanwhile.
  std::function<void(Console&, const WorkFolder&)> user = nullptr;
  std::function<int()> body = RunLoader;  // what the child runs
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

const Row kRows[] = {
    // Ended while a.jov converts: the converter is ended and waited for, its
    // intermediate file removed, and the run ends by the same signal.
    // The intermediate file grants no more access than its input.
    {.name = "TermWhileConverting",
     .standIn = kSlowConverter,
     .arrange = [] { fs::permissions("a.jov", fs::perms(0600)); },
     .user =
         [](Console& c, const WorkFolder& folder) {
           Deadline().Await([] { return fs::exists("../converter.pid"); });
           c.Note("while a.jov converts, " + folder.Contents());
           c.Signal(SIGTERM);
         }},
    {.name = "HangupWhileConverting",
     .standIn = kSlowConverter,
     .user = [](Console& c, const WorkFolder&) { OnceConverting(c, SIGHUP); }},
    {.name = "CtrlCWhileConverting",
     .standIn = kSlowConverter,
     .user =
         [](Console& c, const WorkFolder&) {
           Deadline().Await([] { return fs::exists("../converter.pid"); });
           c.Type("\x03");
         }},
    {.name = "CtrlBackslashWhileConverting",
     .standIn = kSlowConverter,
     .user =
         [](Console& c, const WorkFolder&) {
           Deadline().Await([] { return fs::exists("../converter.pid"); });
           c.Type("\x1c");
         }},
    // Started under nohup: the hangup stays ignored, a later SIGTERM ends it.
    {.name = "HangupIgnoredUnderNohup",
     .standIn = kSlowConverter,
     .setup = {.ignored = {SIGHUP}},
     .user =
         [](Console& c, const WorkFolder&) {
           OnceConverting(c, SIGHUP);
           std::this_thread::sleep_for(200ms);
           c.Signal(SIGTERM);
         }},
    {.name = "EachMessageWaitsForEnter",
     .user = [](Console& c, const WorkFolder&) { AnswerEveryMessage(c, "\r"); }},
    // Ctrl+D ends the input at one prompt, not at every later one.
    {.name = "EndOfInputAtEachPrompt",
     .user = [](Console& c, const WorkFolder&) { AnswerEveryMessage(c, "\x04"); }},
    {.name = "TermWhileAMessageWaits",
     .user =
         [](Console& c, const WorkFolder&) {
           c.WaitFor("[Press Enter]");
           c.Signal(SIGTERM);
         }},
    // Every wait ends by the signal, the last one too.
    {.name = "TermAtTheLastWait",
     .user =
         [](Console& c, const WorkFolder&) {
           c.WaitFor("[Press Enter]");
           c.Type("\r");
           c.WaitFor("[Press Enter]");
           c.Signal(SIGTERM);
         }},
    {.name = "CtrlCAtTheLastWait",
     .user =
         [](Console& c, const WorkFolder&) {
           c.WaitFor("[Press Enter]");
           c.Type("\r");
           c.WaitFor("[Press Enter]");
           c.Type("\x03");
         }},
    // A request that came just before a wait begins ends it at once.
    {.name = "TermHeldAsTheWaitBegins",
     .body =
         [] {
           HoldInterruptions();
           ::raise(SIGTERM);
           ShowMessage(MessageKind::kError, FromAscii("A message"));
           EndIfInterrupted();
           return 0;
         }},
    // Nobody could tell that a message waits: no wait.
    {.name = "OutputToAFile", .setup = {.out = Stream::kFile}},
    {.name = "ClosedOutput", .setup = {.out = Stream::kClosedPipe}},
    {.name = "ParentIgnoresChildSignals",
     .inputs = {{"a.jov", "1"}, {"b.jov", "2"}},
     .setup = {.in = Stream::kNothing, .out = Stream::kFile, .ignored = {SIGCHLD}}},
    // The whole program, its splash included, writing into a closed pipe.
    {.name = "ProgramIntoAClosedPipe",
     .setup = {.in = Stream::kNothing, .out = Stream::kClosedPipe},
     .body =
         [] {
           const std::string program = ProgramDir() / "jovloader";
           return ::execl(program.c_str(), "jovloader", nullptr);
         }},
    // The progress line, looked at while a.jov loads, never under a message
    // and gone at the end.
    {.name = "ProgressLine",
     .standIn = {{"STAND_IN_ONLY", "a_flex.cdi"}, {"STAND_IN_DELAY_MS", "700"}},
     .setup = {.in = Stream::kNothing},
     .user =
         [](Console& c, const WorkFolder&) {
           c.WaitFor("a.jov");
           c.Look("while a.jov loads");
         }},
    // A wrapped line could not be erased whole.
    {.name = "ProgressLineInANarrowTerminal",
     .inputs = {{"A rather long lesson name.jov", "1"}},
     .standIn = {{"STAND_IN_DELAY_MS", "700"}},
     .setup = {.columns = 20, .in = Stream::kNothing},
     .user =
         [](Console& c, const WorkFolder&) {
           c.WaitFor("[1/1]");
           c.Look("while it loads");
         }},
    // A line is measured in columns, two for each of these characters; one
    // that wrapped could not be erased whole.
    {.name = "ProgressLineOfWideCharacters",
     .inputs = {{"第三課の復習テ第三課の復習テ第三課の復習テ第三課の復習テ第三課の復習テ第三課の復"
                 "習テ.jov",
                 "1"}},
     .standIn = {{"STAND_IN_DELAY_MS", "700"}},
     .setup = {.in = Stream::kNothing},
     .user =
         [](Console& c, const WorkFolder&) {
           c.WaitFor("[1/1]");
           c.Look("while it loads");
         }},
    {.name = "ProgressLineTooNarrowForTheName",
     .inputs = {{"abcd.jov", "1"}},
     .standIn = {{"STAND_IN_DELAY_MS", "700"}},
     .setup = {.columns = 10, .in = Stream::kNothing},
     .user =
         [](Console& c, const WorkFolder&) {
           c.WaitFor("[1/1]");
           c.Look("while it loads");
         }},
    {.name = "ProgressLineTooNarrowForTheLine",
     .inputs = {{"abcd.jov", "1"}},
     .setup = {.columns = 5, .in = Stream::kNothing}},
    // A resize is read again before the next line.
    {.name = "ProgressLineAfterAResize",
     .inputs = {{"a.jov", "1"}, {"abcdefgh.jov", "2"}},
     .standIn = {{"STAND_IN_DELAY_MS", "500"}},
     .setup = {.in = Stream::kNothing},
     .user =
         [](Console& c, const WorkFolder&) {
           c.WaitFor("[1/2]");
           c.Resize(12);
           c.WaitFor("[2/2]");
           c.Look("while abcdefgh.jov loads");
         }},
    // A CSI of C1 (U+009B) would move the cursor as ESC [ does.
    {.name = "ProgressLineWithAControlOfC1",
     .inputs = {{.name = "A3\u009B2JB3.jov", .stored = "\x01"}},
     .setup = {.in = Stream::kNothing},
     .user =
         [](Console& c, const WorkFolder&) {
           c.WaitFor("[1/1]");
           c.Look("once the line is written");
         }},
    {.name = "NoProgressLineInAFile",
     .setup = {.in = Stream::kNothing, .out = Stream::kFile, .err = Stream::kFile}},
    {.name = "NoProgressLineOnADumbTerminal", .setup = {.term = "dumb", .in = Stream::kNothing}},
    // A terminal started without TERM (su -, some IDEs) still erases lines.
    {.name = "ProgressLineWithoutTerm",
     .standIn = {{"STAND_IN_ONLY", "a_flex.cdi"}, {"STAND_IN_DELAY_MS", "700"}},
     .setup = {.term = nullptr, .in = Stream::kNothing},
     .user =
         [](Console& c, const WorkFolder&) {
           c.WaitFor("a.jov");
           c.Look("while a.jov loads");
         }},
    // Messages to a file and the progress line to the terminal.
    {.name = "OutputAndErrorApart",
     .standIn = {{"STAND_IN_ONLY", "a_flex.cdi"}, {"STAND_IN_DELAY_MS", "700"}},
     .setup = {.in = Stream::kNothing, .out = Stream::kFile},
     .user =
         [](Console& c, const WorkFolder&) {
           c.WaitFor("a.jov");
           c.Look("while a.jov loads");
         }},
};

class ConsoleRun : public testing::TestWithParam<Row> {};

TEST_P(ConsoleRun, ShowsWhatItsTranscriptSays) {
  const Row& row = GetParam();
  const WorkFolder folder(row.inputs, row.standIn);
  if (row.arrange) row.arrange();
  Console console(row.setup, row.body);
  if (row.user) row.user(console, folder);
  const std::string ended = console.Ended();
  std::string transcript = folder.Transcript(console.Shown(), ended);
  if (fs::exists("../converter.pid")) {
    const std::string requests = ReadFile("../converter.pid.ended");
    transcript += requests.empty() ? "the converter never ended\n"
                                   : "the converter ended after requests to end: " + requests;
  }
  ExpectTranscript(row.name, transcript);
}

INSTANTIATE_TEST_SUITE_P(Console, ConsoleRun, testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

// Every signal that ends a program by default ends the run alike when it
// is sent to the program alone, while a.jov converts.
TEST(ConsoleRun, EndsAlikeByEverySignalSentToItAlone) {
  for (const int signal : kEndingSignals) {
    const std::string name = std::string("SIG") + ::sigabbrev_np(signal);
    SCOPED_TRACE(name);
    const WorkFolder folder(kThreeOneBad, kSlowConverter);
    Console console({}, RunLoader);
    OnceConverting(console, signal);
    const std::string ended = console.Ended();
    std::string transcript =
        folder.Transcript(console.Shown(), ended) +
        "the converter ended after requests to end: " + ReadFile("../converter.pid.ended");
    transcript.replace(transcript.find(name), name.size(), "that signal");
    ExpectTranscript("EndedBySignalSentToItAlone", transcript);
  }
}

// The real program's arguments ask about the program itself; none of them
// shows the splash or touches the folder. Standard output goes to a file,
// standard error to the terminal.
TEST(Program, AnswersItsArgumentsWithoutTouchingTheFolder) {
  const struct {
    const char* name;
    std::vector<const char*> arguments;
  } rows[] = {
      {"ArgumentHelp", {"--help"}},
      {"ArgumentVersion", {"--version"}},
      {"ArgumentUnknown", {"--helpful"}},
      {"ArgumentWithALineBreak", {"new\nline"}},
      {"ArgumentOneTooMany", {"--version", "--help"}},
      {"ArgumentWithAControlOfC1", {"A3\u009B2J"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const WorkFolder folder(std::vector<Input>{{"a.jov", "1"}});
    std::vector<const char*> argv = {"jovloader"};
    argv.insert(argv.end(), row.arguments.begin(), row.arguments.end());
    argv.push_back(nullptr);
    const std::string program = ProgramDir() / "jovloader";
    Console console({.in = Stream::kNothing, .out = Stream::kFile}, [&] {
      ::execv(program.c_str(), const_cast<char* const*>(argv.data()));
      return 127;
    });
    const std::string ended = console.Ended();
    ExpectTranscript(row.name, folder.Transcript(console.Shown(), ended));
  }
}

// Shows the splash on this process's terminal, then says how it ended and
// whether input is left for the run to read.
int ShowSplash(std::chrono::milliseconds interval) {
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
}

// The splash on a terminal: what ends it, and that the terminal is itself
// again afterwards.
TEST(ConsoleSplash, EndsOnKeysThatProduceACharacter) {
  const struct {
    const char* name;
    std::string typed;
    std::chrono::milliseconds interval = 30s;
    Stream in = Stream::kTerminal;
  } rows[] = {
      // A held key's repeats are dropped, or they would answer the first
      // message.
      {"SplashLetter", "x"},
      {"SplashEnterHeld", "\r\r\r"},
      {"SplashLoneEscape", "\x1b"},
      {"SplashCtrlS", "\x13"},
      {"SplashNonAscii", "\xc3\xa9"},
      {"SplashLetterAfterArrow", "\x1b[Dq"},
      {"SplashCtrlC", "\x03"},
      {"SplashCtrlBackslash", "\x1c"},
      // Nothing that counts: the timer ends these.
      {"SplashArrow", "\x1b[A", 1500ms},
      {"SplashF1", "\x1bOP", 1500ms},
      {"SplashCtrlRight", "\x1b[1;5C", 1500ms},
      {"SplashWithoutTerminal", "", 300ms, Stream::kNothing},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const WorkFolder folder;
    Console console({.in = row.in}, [interval = row.interval] { return ShowSplash(interval); });
    if (!row.typed.empty()) {
      console.AwaitRawMode();
      console.Type(row.typed);
    }
    const std::string ended = console.Ended();
    ExpectTranscript(row.name, console.Shown() + ended + "\n");
  }
  // Every signal that ends a program ends the splash by it, the terminal
  // given back first.
  for (const int signal : kEndingSignals) {
    const std::string name = std::string("SIG") + ::sigabbrev_np(signal);
    SCOPED_TRACE(name);
    Console console({}, [] { return ShowSplash(30s); });
    console.AwaitRawMode();
    console.Signal(signal);
    const std::string ended = console.Ended();
    std::string transcript = console.Shown() + ended + "\n";
    transcript.replace(transcript.find(name), name.size(), "that signal");
    ExpectTranscript("SplashEndedBySignal", transcript);
  }
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
  const std::string cjk35 = cjk42.substr(0, 35 * 3);
  const std::string accents = "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301";
  const struct {
    std::size_t number, count;
    std::string name;
    std::size_t columns;
    std::string suffix, line;
  } rows[] = {
      {3, 12, "Unit 3 Review.jov", 80, "", "[3/12] Unit 3 Review.jov"},
      {1, 1, "abcd", 11, "", "[1/1] abcd"},
      {1, 1, "A rather long lesson name.jov", 20, "", "[1/1] A rather l..."},
      {1, 1, "abcdef.jov", 11, "", "[1/1] a..."},
      {1, 1, "abcd", 10, "", "[1/1]"},
      {1, 1, "abcd", 6, "", "[1/1]"},
      {1, 1, "abcd", 5, "", ""},
      {1, 1, "a", 0, "", ""},
      // Two columns a character, none for a combining accent.
      {1, 1, cjk42 + ".jov", 81, "", "[1/1] " + cjk35 + "..."},
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
