#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>

#include "base/posix_console.h"
#include "stand_in.h"

int main(int argc, char** argv) {
  // STAND_IN_WAIT: note this process's id in the file named and wait, as a
  // slow conversion would, for a signal to end it. Like a real program it
  // takes a moment to clean up first; "<file>.ended" tells when it is done,
  // and how many requests to end had come by then: a second one would have
  // cut a real program's cleanup short.
  if (const char* wait = std::getenv("STAND_IN_WAIT"); wait && *wait) {
    sigset_t ending;
    ::sigemptyset(&ending);
    for (const int s : jov::kEndingSignals) ::sigaddset(&ending, s);
    ::sigprocmask(SIG_BLOCK, &ending, nullptr);
    std::ofstream(wait) << ::getpid() << '\n';
    const timespec limit{60, 0};
    const int signalNumber = ::sigtimedwait(&ending, nullptr, &limit);
    ::usleep(300 * 1000);
    sigset_t pending;
    ::sigpending(&pending);
    int requests = signalNumber > 0 ? 1 : 0;
    for (const int s : jov::kEndingSignals) requests += ::sigismember(&pending, s);
    std::ofstream(std::string(wait) + ".ended") << requests << '\n';
    if (signalNumber > 0) {
      ::signal(signalNumber, SIG_DFL);
      ::sigprocmask(SIG_UNBLOCK, &ending, nullptr);
      ::raise(signalNumber);
    }
  }
  const std::vector<std::string> args(argv, argv + argc);
  const auto options =
      jov::stand_in::ReadOptions([](const char* name) -> std::optional<std::filesystem::path> {
        if (const char* value = std::getenv(name)) return value;
        return std::nullopt;
      });
  return jov::stand_in::RunStandIn(args, options, [](const std::string& s) { return s; });
}
