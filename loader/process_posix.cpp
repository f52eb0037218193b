#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/posix_console.h"
#include "loader/process.h"

extern char** environ;

namespace jov {
namespace {

// What a signal handler may touch: the request held and the converter to
// pass it on to.
volatile std::sig_atomic_t gHeldSignal = 0;
volatile std::sig_atomic_t gConverter = 0;

extern "C" void HoldSignal(int signalNumber, siginfo_t* info, void*) {
  const int savedErrno = errno;
  if (SelfInflicted(*info)) return;
  if (gHeldSignal == 0) gHeldSignal = signalNumber;
  // A converter that the terminal signalled already gets no second signal:
  // one that cleans up on the first would be cut short by it.
  if (gConverter != 0 && !SentToTheGroupByTheTerminal(*info)) ::kill(gConverter, signalNumber);
  errno = savedErrno;
}

// Spawn attributes: the converter starts with the signal mask this program
// had before blocking, and waits for children of its own as any program
// does. What this program catches, exec sets back to the default; what the
// one who started it had ignored (nohup's SIGHUP) stays ignored.
class SpawnAttributes {
 public:
  explicit SpawnAttributes(const sigset_t& mask) {
    ::posix_spawnattr_init(&attributes_);
    sigset_t defaults;
    ::sigemptyset(&defaults);
    ::sigaddset(&defaults, SIGCHLD);
    ::posix_spawnattr_setsigdefault(&attributes_, &defaults);
    ::posix_spawnattr_setsigmask(&attributes_, &mask);
    ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  }
  ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

}  // namespace

Result<std::int32_t> RunAndWait(const NativeString& program,
                                std::span<const NativeString> arguments) {
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const NativeString& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  {
    // Blocked meanwhile, so that no request arrives between starting the
    // converter and noting whom to pass it on to.
    const BlockedEndingSignals blocked;
    const SpawnAttributes attributes(blocked.previous());
    // posix_spawn, not posix_spawnp: the program is taken from the path given.
    if (const int error =
            ::posix_spawn(&pid, program.c_str(), nullptr, attributes.get(), argv.data(), environ);
        error != 0) {
      return SystemError{static_cast<std::uint32_t>(error)};
    }
    gConverter = pid;
    // A request held before the converter started is passed on now, one
    // from the terminal too: the converter was not there to get it.
    if (gHeldSignal != 0) ::kill(pid, gHeldSignal);
  }

  // Waited for without reaping: until it is reaped, the converter's pid
  // cannot pass to another process, so a request passed on meanwhile reaches
  // the converter (a zombie by then) or nobody. It is forgotten first.
  siginfo_t info{};
  int result = 0;
  while ((result = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT)) < 0 &&
         errno == EINTR) {
  }
  gConverter = 0;
  if (result < 0) return SystemError{static_cast<std::uint32_t>(errno)};
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  if (info.si_code == CLD_EXITED) return static_cast<std::int8_t>(info.si_status);
  return -(128 + info.si_status);
}

std::optional<NativeString> DescribeEndingSignal(std::int32_t status) {
  // Exit codes, read as 8 signed bits, stop at -128.
  if (status > -129 || status <= -(128 + NSIG)) return std::nullopt;
  const int signalNumber = -status - 128;
  char text[128];
  std::snprintf(text, sizeof text, "signal %d (%s)", signalNumber, ::strsignal(signalNumber));
  return NativeString(text);
}

void HoldInterruptions() {
  struct sigaction action {};
  action.sa_sigaction = HoldSignal;
  // No SA_RESTART: a wait for Enter returns, so the run can stop.
  action.sa_flags = SA_SIGINFO;
  ::sigemptyset(&action.sa_mask);
  for (const int s : kEndingSignals) ::sigaddset(&action.sa_mask, s);
  for (const int s : kEndingSignals) {
    struct sigaction previous {};
    // What the one who started the program ignores (nohup's SIGHUP, a
    // closed pipe) is no request to end it.
    if (::sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(s, &action, nullptr);
  }
  ::signal(SIGCHLD, SIG_DFL);
}

bool Interrupted() { return gHeldSignal != 0; }

void EndIfInterrupted() {
  if (gHeldSignal == 0) return;
  const int signalNumber = gHeldSignal;
  ::signal(signalNumber, SIG_DFL);
  sigset_t set;
  ::sigemptyset(&set);
  ::sigaddset(&set, signalNumber);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signalNumber);
}

}  // namespace jov
