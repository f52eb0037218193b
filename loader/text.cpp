#include "loader/text.h"

#include <filesystem>

namespace jov {
namespace {

// Units that continue a code point rather than start one. File names are not
// guaranteed to be valid UTF-8/UTF-16; these rules still give every unit a
// definite place, so counting never fails on odd names.
[[maybe_unused]] constexpr bool IsContinuation(char unit) {
  return (static_cast<unsigned char>(unit) & 0xC0) == 0x80;
}
[[maybe_unused]] constexpr bool IsContinuation(wchar_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// A stray continuation unit at the very start still counts as a character of
// its own, so a cut can never leave it dangling.
bool StartsCharacter(NativeStringView text, std::size_t i) {
  return i == 0 || !IsContinuation(text[i]);
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
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (StartsCharacter(text, i)) ++count;
  }
  return count;
}

std::size_t PrefixEnd(NativeStringView text, std::size_t count) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (StartsCharacter(text, i)) {
      if (seen == count) return i;
      ++seen;
    }
  }
  return text.size();
}

}  // namespace jov
