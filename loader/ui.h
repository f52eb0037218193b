// How the batch run speaks to the user.
#pragma once

#include <cstddef>
#include <memory>

#include "base/text.h"

namespace jov {

enum class MessageKind { kInformation, kError };

class Progress;

// Shows `text` and returns once the user has acknowledged it: a message box
// captioned with the application title on Windows; standard output on POSIX,
// waiting for Enter only when a person is at the terminal. Given the
// batch's `progress`, the message belongs to it: the box is owned by the
// progress window, shown for it if it was not yet, whose Stop still answers
// while the box is open; the console's progress line is cleared first.
void ShowMessage(MessageKind kind, const NativeString& text, Progress* progress = nullptr);

// The batch as the user watches it, from the first input to the completion
// message: on Windows a progress window that appears once the batch has run
// for about a second or has a failure to tell (a quick batch without one
// shows none), with a Stop button and the taskbar button's progress; on
// POSIX a progress line on standard error while that is a terminal.
class Progress {
 public:
  explicit Progress(std::size_t inputCount);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Input `number` (from 1) of the count is about to be loaded.
  void Loading(std::size_t number, const NativeString& inputName);
  // The input being loaded failed.
  void Failed();
  // Whether the user asked the batch to stop. The conversion under way is
  // never cut short; no further input is loaded.
  bool StopRequested() const;

 private:
  friend void ShowMessage(MessageKind kind, const NativeString& text, Progress* progress);
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace jov
