#include "base/posix_console.h"

#include <unistd.h>

#include <cwchar>

#include "base/text.h"

namespace jov {
namespace {

struct Glyph {
  std::size_t bytes;
  std::size_t columns;
};

// The character at the start of `text`, which is not empty.
Glyph NextGlyph(std::string_view text, std::mbstate_t& state) {
  wchar_t c = 0;
  const std::size_t n = std::mbrtowc(&c, text.data(), text.size(), &state);
  if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
    state = {};
    return {PrefixEnd(text, 1), 1};
  }
  const int width = ::wcwidth(c);
  return {n == 0 ? 1 : n, width > 0 ? static_cast<std::size_t>(width) : 0};
}

}  // namespace

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

std::size_t DisplayWidth(std::string_view text) {
  std::mbstate_t state{};
  std::size_t columns = 0;
  while (!text.empty()) {
    const Glyph glyph = NextGlyph(text, state);
    columns += glyph.columns;
    text.remove_prefix(glyph.bytes);
  }
  return columns;
}

std::size_t PrefixEndWithin(std::string_view text, std::size_t columns) {
  std::mbstate_t state{};
  std::size_t end = 0;
  for (std::size_t used = 0; end < text.size();) {
    const Glyph glyph = NextGlyph(text.substr(end), state);
    if (used + glyph.columns > columns) break;
    used += glyph.columns;
    end += glyph.bytes;
  }
  return end;
}

}  // namespace jov
