#include "base/posix_console.h"

#include <unistd.h>

namespace jov {

bool SelfInflicted(const siginfo_t& info) {
  return (info.si_signo == SIGPIPE || info.si_signo == SIGXFSZ) && info.si_code == SI_USER &&
         info.si_pid == ::getpid();
}

bool SentToTheGroupByTheTerminal(const siginfo_t& info) {
  if (info.si_code != SI_KERNEL) return false;
  // A hangup reaches only the session's leader; its foreground group hears of
  // it once the leader has gone.
  return info.si_signo == SIGINT || info.si_signo == SIGQUIT ||
         (info.si_signo == SIGHUP && ::getsid(0) != ::getpid());
}

BlockedEndingSignals::BlockedEndingSignals() {
  sigset_t set;
  ::sigemptyset(&set);
  for (const int s : kEndingSignals) ::sigaddset(&set, s);
  ::pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

BlockedEndingSignals::~BlockedEndingSignals() {
  ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace jov
