// A stand-in for the real converter, CASLcdi2ppc.exe: it takes the same
// arguments, reads the decoded file the loader hands it and leaves it in
// place, and writes what it received to "<name>.ppc.txt" for a person to
// look at. Like the real one it is a narrow program: on Windows it gets its
// arguments in the ANSI code page and opens the file by that name.
// Environment variables that only it reads let tests choose how it behaves;
// the loader itself reads none.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace jov::stand_in {

struct Options {
  std::optional<std::int64_t> exitStatus;  // STAND_IN_EXIT
  // STAND_IN_ONLY: the exit status, delay, signal and folder below apply to
  // this file only (or to these, separated by '/').
  std::optional<std::string> onlyFor;
  bool deleteInput = false;                          // STAND_IN_DELETE=1
  std::optional<std::filesystem::path> record;       // STAND_IN_RECORD: append a line per run
                                                     // (received in UTF-8, opened or not)
  std::optional<int> signal;                         // STAND_IN_SIGNAL (POSIX): die by this signal
  std::uint64_t stdoutBytes = 0;                     // STAND_IN_STDOUT_BYTES: chatter this much
  std::optional<std::filesystem::path> removeOther;  // STAND_IN_REMOVE: an input gone mid-batch
  // STAND_IN_KEEP=1: leaves a folder in its input's place, which the loader
  // cannot delete as a file (with STAND_IN_ONLY: for that file only).
  bool keepFolder = false;
  int delayMs = 0;  // STAND_IN_DELAY_MS: a slow conversion, this long
};

using GetEnv = std::function<std::optional<std::filesystem::path>(const char* name)>;
Options ReadOptions(const GetEnv& getEnv);

// Turns an argument as the program received it into UTF-8: from the ANSI
// code page on Windows, unchanged on POSIX.
using ToUtf8 = std::function<std::string(const std::string& received)>;

// `args` as the program received them, its own name first. Returns the process exit status: 0
// on success, negative on failure.
int RunStandIn(const std::vector<std::string>& args, const Options& options, const ToUtf8& toUtf8);

}  // namespace jov::stand_in
