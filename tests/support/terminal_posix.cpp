#include "tests/support/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "base/posix_console.h"

namespace jov::test {

void Screen::Put(std::string cell, int width) {
  if (wrapPending_ || column_ + width > columns_) {
    ++row_;
    column_ = 0;
    wrapPending_ = false;
  }
  if (lines_.size() <= row_) lines_.resize(row_ + 1);
  auto& line = lines_[row_];
  if (line.size() < static_cast<std::size_t>(column_ + width)) line.resize(column_ + width, " ");
  line[column_] = std::move(cell);
  if (width == 2) line[column_ + 1] = "";
  column_ += width;
  if (column_ >= columns_) {
    column_ = columns_ - 1;
    wrapPending_ = true;
  }
}

void Screen::Feed(std::string_view bytes) {
  // The terminal's idea of widths is the locale's.
  std::setlocale(LC_CTYPE, "C.UTF-8");
  pending_ += bytes;
  std::size_t i = 0;
  while (i < pending_.size()) {
    const std::string_view rest = std::string_view(pending_).substr(i);
    std::mbstate_t state{};
    wchar_t character = 0;
    const std::size_t decoded = std::mbrtowc(&character, rest.data(), rest.size(), &state);
    // A NUL or a byte that does not decode is one byte, a control of its own.
    const std::size_t length = decoded == 0 || decoded > 4 ? 1 : decoded;
    const int width = decoded == 0 || decoded > 4 ? -1 : ::wcwidth(character);
    if (rest[0] == '\r' || rest[0] == '\n') {
      column_ = rest[0] == '\r' ? 0 : column_;
      row_ += rest[0] == '\n' ? 1 : 0;
      wrapPending_ = false;
    } else if (rest.starts_with("\x1b[K") || rest.starts_with("\x1b[0K")) {
      if (lines_.size() > row_ && lines_[row_].size() > static_cast<std::size_t>(column_)) {
        lines_[row_].resize(column_);
      }
      i += rest[2] == 'K' ? 2 : 3;
    } else if (decoded == static_cast<std::size_t>(-2) || (rest[0] == '\x1b' && rest.size() < 4)) {
      break;  // the rest of it has not come yet
    } else if (width < 0) {
      // A control the terminal would act on, shown instead as its bytes.
      for (const char c : Visible(rest.substr(0, length))) Put(std::string(1, c), 1);
    } else if (width == 0 && lines_.size() > row_ && column_ > 0) {
      lines_[row_][column_ - 1] += std::string(rest.substr(0, length));  // joins the one before
    } else {
      Put(std::string(rest.substr(0, length)), width == 0 ? 1 : width);
    }
    i += length;
  }
  pending_.erase(0, i);
}

std::string Screen::Text() const {
  std::vector<std::string> rows;
  for (const auto& line : lines_) {
    std::string row;
    for (const std::string& cell : line) row += cell;
    while (!row.empty() && row.back() == ' ') row.pop_back();
    rows.push_back(row);
  }
  while (!rows.empty() && rows.back().empty()) rows.pop_back();
  std::string text;
  for (const std::string& row : rows) text += "  " + row + "\n";
  return text;
}

namespace {

int Open(Stream stream, int terminal, const std::string& file) {
  switch (stream) {
    case Stream::kTerminal:
      return terminal;
    case Stream::kNothing:
      return ::open("/dev/null", O_RDWR);
    case Stream::kFile:
      return ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    case Stream::kClosedPipe: {
      int ends[2];
      if (::pipe(ends) != 0) return -1;
      ::close(ends[0]);
      return ends[1];
    }
  }
  return -1;
}

}  // namespace

Console::Console(const ConsoleSetup& setup, const std::function<int()>& body)
    : outFile_(fs::temp_directory_path() / ("jov-console-" + std::to_string(::getpid()))),
      screen_(setup.columns) {
  fs::remove(outFile_);
  winsize size{.ws_row = 24, .ws_col = setup.columns, .ws_xpixel = 0, .ws_ypixel = 0};
  int terminal = -1;
  if (::openpty(&terminal_, &terminal, nullptr, nullptr, &size) != 0) {
    ADD_FAILURE() << "no terminal: " << std::strerror(errno);
    return;
  }
  child_ = ::fork();
  if (child_ == 0) {
    ::setsid();
    ::ioctl(terminal, TIOCSCTTY, 0);
    const int in = Open(setup.in, terminal, outFile_);
    const int out = Open(setup.out, terminal, outFile_);
    const int err = Open(setup.err, terminal, outFile_);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    setup.term ? ::setenv("TERM", setup.term, 1) : ::unsetenv("TERM");
    ::setenv("LC_ALL", setup.locale, 1);
    std::setlocale(LC_ALL, "");
    for (const int s : kEndingSignals) ::signal(s, SIG_DFL);
    for (const int s : setup.ignored) ::signal(s, SIG_IGN);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    ::_exit(body());
  }
  ::close(terminal);
}

Console::~Console() {
  if (child_ > 0) Ended();
  if (terminal_ >= 0) ::close(terminal_);
  fs::remove(outFile_);
}

bool Console::ReadSome(int timeoutMs) {
  pollfd ready{.fd = terminal_, .events = POLLIN, .revents = 0};
  if (::poll(&ready, 1, timeoutMs) <= 0) return false;
  char buffer[4096];
  const ssize_t n = ::read(terminal_, buffer, sizeof buffer);
  // EIO: every process has closed the terminal.
  if (n <= 0) return false;
  screen_.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
  seen_.append(buffer, static_cast<std::size_t>(n));
  return true;
}

bool Console::WaitFor(std::string_view text) {
  const Deadline deadline;
  for (;;) {
    if (const auto at = seen_.find(text); at != std::string::npos) {
      seen_.erase(0, at + text.size());
      return true;
    }
    if (deadline.Passed()) return false;
    siginfo_t info{};
    if (!ReadSome(50) &&
        ::waitid(P_PID, static_cast<id_t>(child_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == child_ && !ReadSome(0)) {
      return false;
    }
  }
}

void Console::Type(std::string_view keys) {
  EXPECT_EQ(::write(terminal_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
}

bool Console::AwaitRawMode() {
  // The terminal's settings are shared by both its ends.
  return Deadline().Await([this] {
    termios mode{};
    ReadSome(0);
    return ::tcgetattr(terminal_, &mode) == 0 && (mode.c_lflag & ICANON) == 0;
  });
}

void Console::Signal(int signal) { ::kill(child_, signal); }

bool Console::Running() const {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(child_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == 0;
}

void Console::Resize(unsigned short columns) {
  winsize size{.ws_row = 24, .ws_col = columns, .ws_xpixel = 0, .ws_ypixel = 0};
  ::ioctl(terminal_, TIOCSWINSZ, &size);
  screen_.Resize(columns);
}

std::string Console::Ended() {
  if (child_ <= 0) return "never started";
  const Deadline deadline;
  int status = 0;
  pid_t ended = 0;
  while ((ended = ::waitpid(child_, &status, WNOHANG)) == 0 && !deadline.Passed()) ReadSome(20);
  if (ended == 0) {
    ::kill(child_, SIGKILL);
    ::waitpid(child_, nullptr, 0);
  }
  child_ = -1;
  // What the terminal still holds; it reads EIO once every writer is gone.
  while (ReadSome(100)) {
  }
  if (ended == 0) return "still running";
  if (WIFSIGNALED(status)) return std::string("ended by SIG") + ::sigabbrev_np(WTERMSIG(status));
  return "exit status " + std::to_string(WEXITSTATUS(status));
}

void Console::Look(const std::string& moment) {
  looks_ += "terminal, " + moment + ":\n" + screen_.Text();
}

std::string Console::Shown() const {
  termios mode{};
  const bool cooked =
      ::tcgetattr(terminal_, &mode) == 0 && (mode.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO);
  std::string shown = looks_ + "terminal, at the end" +
                      (cooked ? "" : " (left without line editing or echo)") + ":\n" +
                      screen_.Text();
  if (fs::exists(outFile_)) {
    shown += "in the file:" + Lines(ReadFile(outFile_));
  }
  return shown;
}

}  // namespace jov::test
