#include "base/text.h"

#include <cstdio>
#include <filesystem>
#include <type_traits>

namespace jov {
namespace {

// Units in the character that starts at text[i]: a whole UTF-8 sequence or
// UTF-16 surrogate pair. File names need not be valid; every unit that is
// not part of a valid sequence counts as a character of its own, so a cut
// never splits a valid character and never swallows a run of stray bytes.
[[maybe_unused]] std::size_t CharacterUnits(std::string_view text, std::size_t i) {
  const auto unit = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned lead = unit(i);
  const std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                                                            : 1;
  if (i + length > text.size()) return 1;
  for (std::size_t k = i + 1; k < i + length; ++k) {
    if ((unit(k) & 0xC0) != 0x80) return 1;
  }
  return length;
}
[[maybe_unused]] std::size_t CharacterUnits(std::wstring_view text, std::size_t i) {
  const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
                    text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
  return pair ? 2 : 1;
}

}  // namespace

NativeString FromAscii(std::string_view ascii) { return NativeString(ascii.begin(), ascii.end()); }

std::string ToUtf8(NativeStringView text) {
  const std::u8string utf8 = std::filesystem::path(NativeString(text)).u8string();
  return std::string(utf8.begin(), utf8.end());
}

NativeString FromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).native();
}

std::size_t CountCharacters(NativeStringView text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); i += CharacterUnits(text, i)) ++count;
  return count;
}

std::size_t PrefixEnd(NativeStringView text, std::size_t count) {
  std::size_t i = 0;
  for (; i < text.size() && count > 0; --count) i += CharacterUnits(text, i);
  return i;
}

NativeString Printable(NativeStringView name) {
  NativeString shown;
  for (const NativeChar c : name) {
    const unsigned code = static_cast<std::make_unsigned_t<NativeChar>>(c);
    if (code >= 0x20 && code != 0x7F) {
      shown += c;
      continue;
    }
    char escaped[8];
    if (c == '\n' || c == '\t' || c == '\r') {
      std::snprintf(escaped, sizeof escaped, "\\%c", c == '\n' ? 'n' : c == '\t' ? 't' : 'r');
    } else {
      std::snprintf(escaped, sizeof escaped, "\\%03o", code);
    }
    shown += FromAscii(escaped);
  }
  return shown;
}

}  // namespace jov
