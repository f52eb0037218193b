// How the batch run speaks to the user and how the program ends.
#pragma once

#include <memory>

#include "loader/text.h"

namespace jov {

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Shows `text` modally with a single OK and returns once the user has
  // dismissed it.
  virtual void ShowMessage(const NativeString& text) = 0;
  // Ends the program at once with `exitCode`.
  [[noreturn]] virtual void EndProgram(int exitCode) = 0;
};

// Message boxes captioned with the application title on Windows; standard
// output on POSIX, waiting for Enter when a person is at the terminal.
std::unique_ptr<UserInterface> MakeSystemUserInterface();

}  // namespace jov
