// The console program as a person at a terminal meets it: the batch run in a
// child process on a terminal of its own, met with signals, Enter, pipes,
// files and narrow terminals; the arguments; the splash. Each row compares
// the whole transcript (the terminal's screen, what went to a file, how the
// run ended, what the converter received, what is left on disk) with
// tests/expected/<row>.posix.txt.
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

#include "loader/loader.h"
#include "splash/splash.h"
#include "tests/support/terminal.h"

namespace jov::test {
namespace {

using namespace std::chrono_literals;

// The converter notes its process id in converter.pid and waits for a
// signal, as a long conversion would; it takes a moment to clean up, and
// then writes converter.pid.ended.
const Switches kSlowConverter = {{"STAND_IN_WAIT", "converter.pid"}};
const std::vector<Input> kThreeOneBad = {
    {"a.jov", "1"}, {.name = "b.jov", .stored = "\x01"}, {"c.jov", "3"}};

void OnceConverting(Console& console, int signal, bool toGroup = false) {
  Deadline().Await([] { return fs::exists("converter.pid"); });
  console.Signal(signal, toGroup);
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
           Deadline().Await([] { return fs::exists("converter.pid"); });
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
           Deadline().Await([] { return fs::exists("converter.pid"); });
           c.Type("\x03");
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
    // Nobody could tell that a message waits: no wait.
    {.name = "OutputToAFile", .setup = {.out = Stream::kFile}},
    {.name = "ClosedOutput", .setup = {.out = Stream::kClosedPipe}},
    {.name = "ParentIgnoresChildSignals",
     .inputs = {{"a.jov", "1"}, {"b.jov", "2"}},
     .setup = {.in = Stream::kNothing, .out = Stream::kFile, .childSignalIgnored = true}},
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
  Console console(row.setup, [] { return RunLoader(); });
  if (row.user) row.user(console, folder);
  const std::string ended = console.Ended();
  ExpectTranscript(row.name, folder.Transcript(console.Shown(), ended));
}

INSTANTIATE_TEST_SUITE_P(Console, ConsoleRun, testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

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

// The splash on a terminal: what ends it, and that the terminal is itself
// again afterwards. The child then says how the splash ended and whether
// input is left for the run to read.
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
    Console console({.in = row.in}, [interval = row.interval] {
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
    });
    if (!row.typed.empty()) {
      console.AwaitRawMode();
      console.Type(row.typed);
    }
    const std::string ended = console.Ended();
    ExpectTranscript(row.name, console.Shown() + ended + "\n");
  }
}

}  // namespace
}  // namespace jov::test
