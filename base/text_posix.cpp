#include <cstdio>
#include <cwchar>
#include <cwctype>

#include "base/text.h"

namespace jov {
namespace {

void AppendEscaped(NativeString& shown, unsigned char byte) {
  char escaped[8];
  if (byte == '\n' || byte == '\t' || byte == '\r') {
    std::snprintf(escaped, sizeof escaped, "\\%c", byte == '\n' ? 'n' : byte == '\t' ? 't' : 'r');
  } else {
    std::snprintf(escaped, sizeof escaped, "\\%03o", byte);
  }
  shown += escaped;
}

}  // namespace

// A terminal reads bytes in its own encoding, which the locale names: what is
// a letter in UTF-8 (U+00E9) is a control in another (0x9B, CSI, in
// Latin-1), and what the locale cannot decode the terminal may take for the
// start of something else. So the locale decides, character by character.
NativeString Printable(NativeStringView name) {
  NativeString shown;
  std::mbstate_t state{};
  for (std::size_t i = 0; i < name.size();) {
    wchar_t c = 0;
    std::size_t n = std::mbrtowc(&c, name.data() + i, name.size() - i, &state);
    bool asItIs = false;
    if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
      state = {};
      n = 1;
    } else if (n == 0) {
      n = 1;
    } else {
      asItIs = std::iswprint(static_cast<std::wint_t>(c)) != 0;
    }
    if (asItIs) {
      shown.append(name.substr(i, n));
    } else {
      for (std::size_t k = i; k < i + n; ++k)
        AppendEscaped(shown, static_cast<unsigned char>(name[k]));
    }
    i += n;
  }
  return shown;
}

}  // namespace jov
