#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

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

// The terminal's width, 0 when it does not say.
std::size_t Columns() {
  winsize size{};
  return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

}  // namespace

struct Progress::State {
  std::size_t count = 0;
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
  if (progress) progress->state_->Clear();
  // A message that cannot be written (a closed pipe) is dropped; the next
  // one is tried afresh.
  std::cout << text << '\n' << std::flush;
  std::cout.clear();
  // A message box holds the program until it is answered; Enter plays the
  // part of OK when a person reads and types at a terminal. Anyone else (a
  // script, a pipe, output going to a file) could not tell that it waits.
  if (::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO)) {
    std::cout << "[Press Enter]" << std::flush;
    std::string ignored;
    std::getline(std::cin, ignored);
    std::cin.clear();
  }
}

Progress::Progress(std::size_t inputCount) : state_(std::make_unique<State>()) {
  const char* term = std::getenv("TERM");
  state_->count = inputCount;
  state_->toTerminal =
      ::isatty(STDERR_FILENO) && !(term != nullptr && std::strcmp(term, "dumb") == 0);
}

Progress::~Progress() { state_->Clear(); }

void Progress::Loading(std::size_t number, const NativeString& inputName) {
  if (!state_->toTerminal) return;
  const std::string line =
      Concat({kClearLine, "[", std::to_string(number), "/", std::to_string(state_->count), "] "});
  const std::size_t head = line.size() - kClearLine.size();
  NativeString name = Printable(inputName);
  // A line longer than the terminal would wrap, and clearing would take only
  // its last row. Wide characters (CJK) take two columns and may still wrap.
  if (const std::size_t columns = Columns(); columns > head + 4) {
    const std::size_t room = columns - 1 - head;
    if (CountCharacters(name) > room) name = name.substr(0, PrefixEnd(name, room - 3)) + "...";
  }
  WriteToError(line + name);
  state_->lineShown = true;
}

void Progress::Failed() {}

bool Progress::StopRequested() const { return false; }

}  // namespace jov
