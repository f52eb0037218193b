#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "benchmarks/bench.h"

extern char** environ;

namespace jov::bench {

bool StartAndWait(int count) {
  char program[] = "./CASLcdi2ppc.exe";
  char dbFile[] = "-DbFile";
  char name[] = "lesson_0000_flex.cdi";
  char creator[] = "-CreatorID";
  char id[] = "Wmtk";
  char* argv[] = {program, dbFile, name, creator, id, nullptr};
  for (int i = 0; i < count; ++i) {
    pid_t pid = 0;
    int status = 0;
    if (::posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0 ||
        ::waitpid(pid, &status, 0) != pid || status != 0) {
      std::fprintf(stderr, "start %d failed\n", i + 1);
      return false;
    }
  }
  return true;
}

bool BlockCopy(const NativeString& input, const NativeString& output) {
  constexpr std::size_t kBlock = std::size_t{1} << 20;
  alignas(4096) static char buffer[kBlock];
  const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  bool ok = in >= 0 && out >= 0;
  for (ssize_t n = 0; ok && (n = ::read(in, buffer, kBlock)) != 0;) {
    ok = n > 0 && ::write(out, buffer, static_cast<std::size_t>(n)) == n;
  }
  if (in >= 0) ::close(in);
  if (out >= 0) ok = ::close(out) == 0 && ok;
  return ok;
}

// A message goes to standard output and waits for nobody there.
std::jthread AnswerMessages() { return {}; }

}  // namespace jov::bench
