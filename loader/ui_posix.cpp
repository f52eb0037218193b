#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "loader/ui.h"

namespace jov {
namespace {

class ConsoleUserInterface final : public UserInterface {
 public:
  void ShowMessage(const NativeString& text) override {
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

  [[noreturn]] void EndProgram(int exitCode) override {
    std::cout.flush();
    std::exit(exitCode);
  }
};

}  // namespace

std::unique_ptr<UserInterface> MakeSystemUserInterface() {
  return std::make_unique<ConsoleUserInterface>();
}

}  // namespace jov
