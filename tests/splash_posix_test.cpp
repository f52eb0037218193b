// The console splash on a real pseudo-terminal: each case runs it in a
// child process whose terminal the test types into.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/posix_console.h"
#include "splash/splash.h"

namespace jov::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kNoTimer = 30s;

bool TerminalIsCooked(int fd) {
  termios mode{};
  return ::tcgetattr(fd, &mode) == 0 && (mode.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO);
}

struct ChildRun {
  std::string output;
  int status = -1;
  bool terminalRestored = false;  // as seen from outside once the child is gone
};

// Runs the splash in a child on a new terminal and types `input` (or sends
// `signal`) once it waits for a key, or gives it `input` through a pipe. The child reports what
// ended the splash, whether the terminal was back in line mode with echo by
// the time the run would start, whether input is left for the run to read,
// and whether the timer ended it early.
ChildRun RunOnTerminal(std::chrono::milliseconds interval, const std::string& input, bool piped,
                       int signal) {
  ChildRun run;
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    int in[2];
    if (piped && ::pipe(in) == 0 && ::write(in[1], input.data(), input.size()) >= 0) {
      ::dup2(in[0], STDIN_FILENO);
    }
    const auto start = Clock::now();
    const SplashEnd end = RunSplash(interval);
    pollfd left{.fd = STDIN_FILENO, .events = POLLIN, .revents = 0};
    std::printf("\nEND %d RESTORED %d PENDING %d EARLY %d\n", int(end),
                TerminalIsCooked(STDOUT_FILENO) ? 1 : 0, ::poll(&left, 1, 100),
                end == SplashEnd::kTimer && Clock::now() - start < interval ? 1 : 0);
    std::fflush(stdout);
    ::_exit(0);
  }
  if ((!input.empty() || signal != 0) && !piped) {
    // The terminal's settings are shared by both ends: the child is ready
    // once line mode is off.
    for (int i = 0; i < 4000 && TerminalIsCooked(master); ++i) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(::write(master, input.data(), input.size()), ssize_t(input.size()));
    if (signal != 0) ::kill(pid, signal);
  }
  // Until EIO: the child has closed its side; or until a splash that hangs
  // has been silent for longer than any row's timer.
  char buffer[1024];
  pollfd output{.fd = master, .events = POLLIN, .revents = 0};
  for (ssize_t n;
       ::poll(&output, 1, 45000) == 1 && (n = ::read(master, buffer, sizeof buffer)) > 0;)
    run.output.append(buffer, size_t(n));
  ::kill(pid, SIGKILL);  // only if it hangs: then its status is wrong
  ::waitpid(pid, &run.status, 0);
  run.terminalRestored = TerminalIsCooked(master);
  ::close(master);
  return run;
}

// What ends the splash, and that the terminal is itself again afterwards,
// Ctrl+C, Ctrl+\ and every signal that ends a program included: those end
// it by that signal.
TEST(ConsoleSplash, EndsOnKeysThatProduceACharacterAndGivesTheTerminalBack) {
  struct Row {
    std::string name;
    std::string typed = "";
    int expected;  // a SplashEnd, or -signal
    std::chrono::milliseconds interval = kNoTimer;
    bool piped = false;  // standard input is not a terminal but someone's data
    int sent = 0;        // a signal sent to it instead
  };
  std::vector<Row> rows = {
      // clang-format off
      // A held key's repeats are dropped, or they would answer the first message.
      {"letter", "x", int(SplashEnd::kKey)}, {"Enter, held", "\r\r\r", int(SplashEnd::kKey)},
      {"lone Escape", "\x1b", int(SplashEnd::kKey)}, {"Ctrl+S is a character, not flow control", "\x13", int(SplashEnd::kKey)},
      {"non-ASCII character", "\xc3\xa9", int(SplashEnd::kKey)}, {"a letter after an arrow", "\x1b[Dq", int(SplashEnd::kKey)},
      {"Ctrl+C", "\x03", -SIGINT}, {"Ctrl+\\", "\x1c", -SIGQUIT},
      // Nothing that counts: the timer ends these.
      {"arrow", "\x1b[A", int(SplashEnd::kTimer), 1500ms}, {"F1", "\x1bOP", int(SplashEnd::kTimer), 1500ms},
      {"Ctrl+Right", "\x1b[1;5C", int(SplashEnd::kTimer), 1500ms}, {"no terminal", "x\n", int(SplashEnd::kTimer), 300ms, true},
      // clang-format on
  };
  for (const int s : kEndingSignals) {
    rows.push_back({.name = std::string("SIG") + ::sigabbrev_np(s), .expected = -s, .sent = s});
  }
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const ChildRun run = RunOnTerminal(row.interval, row.typed, row.piped, row.sent);
    if (row.expected < 0) {
      EXPECT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == -row.expected);
    } else {
      EXPECT_NE(run.output.find("END " + std::to_string(row.expected) + " RESTORED 1 PENDING " +
                                std::to_string(int(row.piped)) + " EARLY 0"),
                std::string::npos)
          << run.output;
    }
    EXPECT_TRUE(run.terminalRestored);
    // Each line as wide as the frame, aligned as in the window.
    for (const char* line : {"|   JOV Loader                                 |",
                             "|                               For PocketPC   |",
                             "|                              Version 1.0.0   |",
                             "|   Copyright \u00A9 2026 JOV Loader Project        |"}) {
      EXPECT_NE(run.output.find(line), std::string::npos) << line << " in\n" << run.output;
    }
  }
}

}  // namespace
}  // namespace jov::test
