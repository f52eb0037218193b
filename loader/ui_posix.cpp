#include <unistd.h>

#include <iostream>
#include <string>

#include "loader/ui.h"

namespace jov {

void ShowMessage(MessageKind, const NativeString& text) {
  std::cout << text << '\n' << std::flush;
  // A message box holds the program until it is answered; at a terminal
  // Enter plays the part of OK. Without one (a script, a pipe) nobody could
  // answer, so the run goes on.
  if (::isatty(STDIN_FILENO)) {
    std::cout << "[Press Enter]" << std::flush;
    std::string ignored;
    std::getline(std::cin, ignored);
  }
}

}  // namespace jov
