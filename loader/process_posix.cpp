#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "loader/process.h"

extern char** environ;

namespace jov {
namespace {

// The command line is built by the loader from a fixed head, a name without
// blanks and a fixed tail, so splitting on blanks recovers its arguments
// exactly; there is no quoting to undo. Only the blank separates: a tab or a
// newline is an ordinary character of a file name here, and splitting on it
// would cut the name apart and could even pass part of it as an argument of
// its own.
std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> words;
  for (std::size_t start = 0; start < commandLine.size();) {
    const std::size_t end = std::min(commandLine.find(' ', start), commandLine.size());
    if (end > start) words.push_back(commandLine.substr(start, end - start));
    start = end + 1;
  }
  // ".\program" names a program in the working directory on Windows; here
  // the same thing is "./program".
  if (!words.empty() && words.front().starts_with(".\\")) words.front()[1] = '/';
  return words;
}

class PosixProcessLauncher final : public ProcessLauncher {
 public:
  std::int32_t Run(const NativeString& commandLine) override { return RunAndWait(commandLine); }
};

}  // namespace

std::int32_t RunAndWait(const NativeString& commandLine) {
  std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty()) return -1;
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  // posix_spawn, not posix_spawnp: the program is taken from the path given,
  // never searched for, and no shell ever sees the names.
  if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return static_cast<std::int8_t>(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return -(128 + WTERMSIG(status));
  return -1;
}

std::unique_ptr<ProcessLauncher> MakeSystemProcessLauncher() {
  return std::make_unique<PosixProcessLauncher>();
}

}  // namespace jov
