#include <cstdio>

#include "base/text.h"

namespace jov {

// Windows names cannot hold C0 controls; a message box is no terminal, so
// nothing else needs escaping.
NativeString Printable(NativeStringView name) {
  NativeString shown;
  for (const NativeChar c : name) {
    if (c >= 0x20 && c != 0x7F) {
      shown += c;
      continue;
    }
    char escaped[8];
    if (c == '\n' || c == '\t' || c == '\r') {
      std::snprintf(escaped, sizeof escaped, "\\%c", c == '\n' ? 'n' : c == '\t' ? 't' : 'r');
    } else {
      std::snprintf(escaped, sizeof escaped, "\\%03o", static_cast<unsigned>(c));
    }
    shown += FromAscii(escaped);
  }
  return shown;
}

}  // namespace jov
