// What the console program's parts (the batch run, the splash, the stand-in
// converter) share about signals and terminals. POSIX only: Windows sends a
// program like this one no signals and shows it on no terminal.
#pragma once

#include <csignal>
#include <cstddef>
#include <string_view>

namespace jov {

// The signals that end a program by default and that someone else sends to
// ask it to end: the set on which GNU sort removes its temporary files, and
// SIGUSR1 and SIGUSR2, which end a program just as quietly. Not the ones a
// fault raises (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGSYS, SIGTRAP):
// after a fault nothing the program holds can be trusted to clean up with.
// SIGKILL and SIGSTOP cannot be caught; SIGPWR, SIGSTKFLT and the real-time
// signals are left to their defaults, as rarely sent.
inline constexpr int kEndingSignals[] = {SIGALRM,   SIGHUP,  SIGINT,  SIGPIPE, SIGQUIT,
                                         SIGTERM,   SIGPOLL, SIGPROF, SIGUSR1, SIGUSR2,
                                         SIGVTALRM, SIGXCPU, SIGXFSZ};

// Whether the signal `info` tells of was raised by this process's own I/O: a
// write to a pipe nobody reads (SIGPIPE) or past the file-size limit
// (SIGXFSZ). The kernel sends those as if the process had sent them itself;
// the write then fails with EPIPE or EFBIG, which is reported like any
// failed write. Nobody asked the program to end.
bool SelfInflicted(const siginfo_t& info);

// Whether the terminal sent the signal to the whole foreground process group,
// a converter started from this program included: Ctrl+C, Ctrl+\ and the
// hangup that a closing terminal sends to its foreground group. The session
// leader alone gets a hangup too; that one reached nobody else.
bool SentToTheGroupByTheTerminal(const siginfo_t& info);

// Blocks every signal in kEndingSignals while it lives, so that none arrives
// between looking at what was asked and acting on it.
class BlockedEndingSignals {
 public:
  BlockedEndingSignals();
  ~BlockedEndingSignals();
  BlockedEndingSignals(const BlockedEndingSignals&) = delete;
  BlockedEndingSignals& operator=(const BlockedEndingSignals&) = delete;
  // The mask from before: what a wait that a signal must end opens (ppoll).
  const sigset_t& previous() const { return previous_; }

 private:
  sigset_t previous_;
};

// The columns `text` takes on a terminal, by the locale (LC_CTYPE): each
// character as wcwidth says, so a CJK character takes two and a combining
// accent none. What the locale cannot decode is taken for UTF-8, which
// nearly every terminal speaks, one column a character.
std::size_t DisplayWidth(std::string_view text);

// Index of the byte where the longest prefix of `text` that takes at most
// `columns` columns ends; never inside a character, and a zero-width
// character stays with the one before it.
std::size_t PrefixEndWithin(std::string_view text, std::size_t columns);

}  // namespace jov
