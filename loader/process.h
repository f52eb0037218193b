// Starting the converter and waiting for it.
#pragma once

#include <cstdint>
#include <memory>

#include "loader/text.h"

namespace jov {

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // See RunAndWait.
  virtual std::int32_t Run(const NativeString& commandLine) = 0;
};

// Runs `commandLine` (program first, then blank-separated arguments; no
// quoting, no shell) in the working directory, with this process's
// environment and standard handles, waits for it without limit and returns
// its exit status.
//
// -1 when the program cannot be started at all. On Windows the status is the
// 32-bit exit code as the system reports it (0xC0000005 for a crash). On
// POSIX an exit code is read as a signed 8-bit value, so exit(-1) gives -1,
// and a child ended by signal N gives -(128 + N).
std::int32_t RunAndWait(const NativeString& commandLine);

std::unique_ptr<ProcessLauncher> MakeSystemProcessLauncher();

}  // namespace jov
