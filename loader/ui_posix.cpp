#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "base/posix_console.h"
#include "loader/console_progress.h"
#include "loader/process.h"
#include "loader/time_left.h"
#include "loader/ui.h"

namespace jov {
namespace {

// Back to the start of the line, and the line erased.
constexpr std::string_view kClearLine = "\r\033[K";

void WriteToError(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(STDERR_FILENO, text.data(), text.size());
    // A terminal that went away takes the progress line with it.
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

// The terminal's width, read afresh for each line: the user may resize it
// while the batch runs. 80, what terminals start with, when it does not say.
std::size_t Columns() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

// Waits for the user to press Enter, or for a request to end the program.
// The requests are blocked from before the last look at Interrupted() until
// ppoll opens them together with the wait, so one that comes in between ends
// the wait instead of being held while it waits on.
void WaitForEnter() {
  const BlockedEndingSignals blocked;
  if (Interrupted()) return;
  std::cout << "[Press Enter]" << std::flush;
  for (;;) {
    pollfd input{.fd = STDIN_FILENO, .events = POLLIN, .revents = 0};
    if (::ppoll(&input, 1, nullptr, &blocked.previous()) < 0) {
      if (errno == EINTR && !Interrupted()) continue;
      return;
    }
    // A terminal in line mode hands over one line at most.
    char line[256];
    const ssize_t n = ::read(STDIN_FILENO, line, sizeof line);
    // Ctrl+D on its own answers as Enter does, but the terminal echoes no
    // line end: without one the progress line would overwrite the prompt.
    if (n == 0) std::cout << '\n' << std::flush;
    if (n <= 0 || std::memchr(line, '\n', static_cast<std::size_t>(n)) != nullptr) return;
  }
}

// CLOCK_MONOTONIC: steady, whatever the system clock is set to meanwhile.
std::chrono::milliseconds Now() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace

struct Progress::State {
  explicit State(std::size_t inputCount) : count(inputCount), clock(inputCount) {}
  std::size_t count;
  BatchClock clock;
  // A terminal understands the line's escapes; a "dumb" one (an editor's
  // shell buffer) would print them.
  bool toTerminal = false;
  bool lineShown = false;

  void Clear() {
    if (lineShown) WriteToError(kClearLine);
    lineShown = false;
  }
};

void ShowMessage(MessageKind, const NativeString& text, Progress* progress) {
  if (progress) {
    progress->state_->Clear();
    progress->state_->clock.MessageOpened(Now());
  }
  // A message that cannot be written (a closed pipe) is dropped; the next
  // one is tried afresh.
  std::cout << text << '\n' << std::flush;
  std::cout.clear();
  // A message box holds the program until it is answered; Enter plays the
  // part of OK when a person reads and types at a terminal. Anyone else (a
  // script, a pipe, output going to a file) could not tell that it waits.
  if (::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO)) {
    WaitForEnter();
    std::cout.clear();
  }
  if (progress) progress->state_->clock.MessageClosed(Now());
}

Progress::Progress(std::size_t inputCount) : state_(std::make_unique<State>(inputCount)) {
  const char* term = std::getenv("TERM");
  state_->toTerminal =
      ::isatty(STDERR_FILENO) && !(term != nullptr && std::strcmp(term, "dumb") == 0);
}

Progress::~Progress() { state_->Clear(); }

void Progress::Loading(std::size_t number, const NativeString& inputName) {
  state_->clock.Loading(number, Now());
  if (!state_->toTerminal) return;
  const std::string timeLeft = ShortTimeLeftText(state_->clock.Update(Now()));
  const std::string line = ProgressLine(number, state_->count, inputName, Columns(),
                                        timeLeft.empty() ? "" : " (" + timeLeft + ")");
  // Too narrow for even "[3/12]": the last input's line goes all the same.
  if (line.empty()) {
    state_->Clear();
    return;
  }
  WriteToError(std::string(kClearLine) + line);
  state_->lineShown = true;
}

void Progress::Failed() {}

bool Progress::StopRequested() const { return false; }

}  // namespace jov
