#include <unistd.h>

#include <iostream>
#include <string>

#include "loader/ui.h"

namespace jov {

void ShowMessage(MessageKind, const NativeString& text, Progress*) {
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

// PROGRESS-SEAM: nothing shown yet.
struct Progress::State {};
Progress::Progress(std::size_t) {}
Progress::~Progress() = default;
void Progress::Loading(std::size_t, const NativeString&) {}
void Progress::Failed() {}
bool Progress::StopRequested() const { return false; }

}  // namespace jov
