#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <vector>

#include "loader/process.h"

extern char** environ;

namespace jov {

Result<std::int32_t> RunAndWait(const NativeString& program,
                                std::span<const NativeString> arguments) {
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const NativeString& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  // posix_spawn, not posix_spawnp: the program is taken from the path given.
  if (const int error =
          ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
      error != 0) {
    return SystemError{static_cast<std::uint32_t>(error)};
  }

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return SystemError{static_cast<std::uint32_t>(errno)};
  }
  if (WIFSIGNALED(status)) return -(128 + WTERMSIG(status));
  return static_cast<std::int8_t>(WEXITSTATUS(status));
}

}  // namespace jov
