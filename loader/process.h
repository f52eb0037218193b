// Starting the converter and waiting for it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "base/result.h"
#include "base/text.h"

namespace jov {

// Runs `program` (a path, never searched for on PATH) with `arguments`, in
// the working directory, with this process's environment and standard
// handles; no shell sees them. Waits without limit and returns its exit
// status, or why it could not be started.
//
// On Windows the status is the 32-bit exit code as the system reports it
// (0xC0000005 for a crash). On POSIX an exit code is read as a signed 8-bit
// value, so exit(-1) gives -1, and a child ended by signal N gives -(128 + N).
Result<std::int32_t> RunAndWait(const NativeString& program,
                                std::span<const NativeString> arguments);

// The signal a status from RunAndWait says ended the child, as words for the
// user ("signal 11 (Segmentation fault)"); nothing for an exit code. Only
// POSIX ends programs by signal: on Windows every status is an exit code.
std::optional<NativeString> DescribeEndingSignal(std::int32_t status);

// How the run meets signals (POSIX; Windows sends a program like this one
// none), set once before it starts. A request to end the program (each of
// kEndingSignals in base/posix_console.h that whoever started it did not
// ignore) is held instead of ending it at once: passed on to the converter
// while one runs, unless the terminal sent it to both (Ctrl+C), and reported
// by Interrupted() so the run can stop once the current input is cleaned up.
// A wait for the user ends when one arrives. SIGPIPE and SIGXFSZ that the
// program's own writes raise ask nothing: the write fails with EPIPE or
// EFBIG. SIGCHLD is set to its default, which waiting on the converter
// needs; the converter starts with the defaults for what this program
// catches.
void HoldInterruptions();
bool Interrupted();
// If a request was held, ends the program as that signal would have: after
// the cleanup, the shell still sees that the run was interrupted.
void EndIfInterrupted();

}  // namespace jov
