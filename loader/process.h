// Starting the converter and waiting for it.
#pragma once

#include <cstdint>
#include <span>

#include "loader/result.h"
#include "loader/text.h"

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

}  // namespace jov
