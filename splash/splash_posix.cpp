// The console splash: the window's texts in a framed block, and the same
// triggers as far as a terminal has them (there is no frame to click).
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "base/posix_console.h"
#include "splash/splash.h"

namespace jov {
namespace {

using Clock = std::chrono::steady_clock;

// The settings to put back if a signal ends the program while the terminal
// is raw. A signal handler can reach nothing else, hence file scope.
termios gSavedTerminal;
volatile std::sig_atomic_t gTerminalRaw = 0;

extern "C" void RestoreTerminalAndDie(int signalNumber, siginfo_t* info, void*) {
  // A write to a closed output fails on its own; nobody asked to end.
  if (SelfInflicted(*info)) return;
  if (gTerminalRaw) ::tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
  ::signal(signalNumber, SIG_DFL);
  ::raise(signalNumber);
}

// While the splash shows, a signal that ends a program (Ctrl+C, Ctrl+\, a
// kill) still ends it, at once and by that signal, with the terminal given
// back first. What whoever started the program ignored stays ignored.
class EndingSignals {
 public:
  EndingSignals() {
    struct sigaction action {};
    action.sa_sigaction = RestoreTerminalAndDie;
    action.sa_flags = SA_SIGINFO;
    ::sigemptyset(&action.sa_mask);
    for (const int s : kEndingSignals) ::sigaddset(&action.sa_mask, s);
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      ::sigaction(kEndingSignals[i], nullptr, &previous_[i]);
      if (previous_[i].sa_handler != SIG_IGN) ::sigaction(kEndingSignals[i], &action, nullptr);
    }
  }
  ~EndingSignals() {
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      ::sigaction(kEndingSignals[i], &previous_[i], nullptr);
    }
  }
  EndingSignals(const EndingSignals&) = delete;
  EndingSignals& operator=(const EndingSignals&) = delete;

 private:
  struct sigaction previous_[std::size(kEndingSignals)]{};
};

// Puts the terminal on standard input into character-at-a-time mode without
// echo for its lifetime. Ctrl+C still interrupts: a user must be able to stop
// the program here, and EndingSignals gives the terminal back first.
class RawTerminal {
 public:
  RawTerminal() {
    if (::tcgetattr(STDIN_FILENO, &gSavedTerminal) != 0) return;
    termios raw = gSavedTerminal;
    // IEXTEN and IXON would swallow Ctrl+V, Ctrl+S and Ctrl+Q, which
    // produce characters like any other key.
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    gTerminalRaw = 1;
    // TCSANOW keeps keys typed while the block was printed; they count.
    if (::tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) Restore();
  }
  ~RawTerminal() { Restore(); }
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;

  bool active() const { return gTerminalRaw != 0; }

  void Restore() {
    if (!gTerminalRaw) return;
    // Flushing drops what is left of the key that ended the splash (the rest
    // of an escape sequence, a held key's repeats), so none of it answers the
    // batch run's first message.
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSavedTerminal);
    gTerminalRaw = 0;
  }
};

// The next byte from standard input if one arrives before `deadline`.
// Nothing on timeout, end of input or error.
std::optional<unsigned char> ReadByte(Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd input{.fd = STDIN_FILENO, .events = POLLIN, .revents = 0};
    const int ready = ::poll(&input, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return std::nullopt;
    unsigned char byte = 0;
    const ssize_t n = ::read(STDIN_FILENO, &byte, 1);
    if (n == 1) return byte;
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return std::nullopt;
  }
}

// Terminals send the bytes of one escape sequence together; a gap longer
// than this after ESC means the Escape key was pressed on its own.
constexpr std::chrono::milliseconds kSequenceGap{50};

// Waits for a key that produces a character; false when the time is up or
// input ended. Arrow, function and editing keys arrive as ESC '[' ... final
// byte or ESC 'O' letter and are skipped; so is ESC followed by anything
// else (Alt with a key, which produces no character on Windows either).
bool WaitForCharacterKey(Clock::time_point deadline) {
  while (const auto byte = ReadByte(deadline)) {
    if (*byte != 0x1B) return true;
    const auto next = ReadByte(std::min(deadline, Clock::now() + kSequenceGap));
    if (!next) return Clock::now() < deadline;
    if (*next == '[') {
      // Parameters and intermediates run until a final byte '@'..'~'.
      while (const auto part = ReadByte(Clock::now() + kSequenceGap)) {
        if (*part >= 0x40 && *part <= 0x7E) break;
      }
    } else if (*next == 'O') {
      ReadByte(Clock::now() + kSequenceGap);
    }
  }
  return false;
}

// The labels that have a text, in the window's order and alignment.
void PrintFramed(std::ostream& out, const SplashTexts& texts) {
  std::size_t width = 40;
  for (const SplashLabel& label : kSplashLabels) {
    if (label.text) width = std::max(width, DisplayWidth(texts.*label.text));
  }
  const auto edged = [&](char edge, char fill) {
    const std::string_view side(&edge, 1);
    return Concat({side, std::string(width + 6, fill), side, "\n"});
  };
  const std::string rule = edged('+', '-');
  const std::string blank = edged('|', ' ');
  out << '\n' << rule << blank;
  for (const SplashLabel& label : kSplashLabels) {
    if (!label.text) continue;
    const std::string& text = texts.*label.text;
    const std::string pad(width - DisplayWidth(text), ' ');
    out << "|   " << (label.align == Align::kRight ? pad + text : text + pad) << "   |\n";
  }
  out << blank << rule << std::flush;
}

}  // namespace

SplashEnd RunSplash(std::chrono::milliseconds interval) {
  const auto deadline = Clock::now() + interval;
  const EndingSignals endingSignals;
  PrintFramed(std::cout, LoadSplashTexts());
  if (::isatty(STDIN_FILENO)) {
    RawTerminal terminal;
    if (terminal.active() && WaitForCharacterKey(deadline)) return SplashEnd::kKey;
  }
  // Without a terminal nobody can press a key, and standard input may be
  // someone's data: it is left unread. A terminal that went away mid-wait
  // ends up here too.
  std::this_thread::sleep_until(deadline);
  return SplashEnd::kTimer;
}

}  // namespace jov
