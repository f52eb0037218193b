// POSIX: a run in a child process on a terminal of its own, as a person at
// a shell starts a program, and what that terminal's screen then shows.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/support.h"

namespace jov::test {

// Where one of the child's standard streams goes.
enum class Stream {
  kTerminal,
  kNothing,     // /dev/null
  kFile,        // a file, whose content the transcript shows
  kClosedPipe,  // a pipe whose reader has gone
};

struct ConsoleSetup {
  unsigned short columns = 80;
  const char* term = "xterm";  // null: TERM unset
  const char* locale = "C.UTF-8";
  Stream in = Stream::kTerminal;
  Stream out = Stream::kTerminal;
  Stream err = Stream::kTerminal;
  // Signals the parent leaves ignored (SIGCHLD; SIGHUP, as nohup does);
  // every other that ends a program has its default, as a shell leaves it.
  std::vector<int> ignored = {};
};

// A terminal as a person sees it: characters in their cells, double-width
// ones taking two, a line longer than the width wrapping onto the next.
// It understands the carriage return, the line feed and erasing to the end
// of the line; every other control character and escape sequence is drawn
// visibly ("^[", "<U+009B>") so that one reaching it shows.
class Screen {
 public:
  explicit Screen(int columns) : columns_(columns) {}
  void Resize(int columns) { columns_ = columns; }
  void Feed(std::string_view bytes);
  // Every line written, the ones scrolled away included, without trailing
  // blanks, each indented two spaces.
  std::string Text() const;

 private:
  void Put(std::string cell, int width);
  std::vector<std::vector<std::string>> lines_{{}};
  std::size_t row_ = 0;
  int column_ = 0;
  int columns_;
  bool wrapPending_ = false;
  std::string pending_;  // an incomplete character or escape sequence
};

// Runs `body` in a child process whose standard streams go as `setup` says,
// on a terminal of its own (its controlling terminal, so Ctrl+C typed there
// reaches its whole process group). Its return value is the exit status.
class Console {
 public:
  Console(const ConsoleSetup& setup, const std::function<int()>& body);
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Waits until the terminal shows `text` anew, since the last wait; false
  // when the child ended or the deadline passed first.
  bool WaitFor(std::string_view text);
  void Type(std::string_view keys);
  // Waits until the child has the terminal without line editing or echo,
  // reading key by key.
  bool AwaitRawMode();
  // To the child alone; the terminal sends Ctrl+C to its whole group.
  void Signal(int signal);
  void Resize(unsigned short columns);
  bool Running() const;
  // Waits for the child to end: "exit status 1", "ended by SIGTERM", or
  // "still running" at the deadline (and then kills it).
  std::string Ended();
  // Notes what the terminal shows now, as `moment` ("while a.jov loads"),
  // or anything else the transcript should hold at this point.
  void Look(const std::string& moment);
  void Note(const std::string& text) { looks_ += text; }
  // Each look, the terminal's screen at the end and the mode the terminal
  // was left in, and what went to a file instead.
  std::string Shown() const;

 private:
  bool ReadSome(int timeoutMs);
  int terminal_ = -1;
  pid_t child_ = -1;
  std::string outFile_;
  Screen screen_;
  std::string seen_;  // what the terminal received since the last wait
  std::string looks_;
};

}  // namespace jov::test
