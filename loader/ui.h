// How the batch run speaks to the user.
#pragma once

#include "base/text.h"

namespace jov {

enum class MessageKind { kInformation, kError };

// Shows `text` and returns once the user has acknowledged it: a message box
// captioned with the application title on Windows; standard output on POSIX,
// waiting for Enter only when a person is at the terminal.
void ShowMessage(MessageKind kind, const NativeString& text);

}  // namespace jov
