#include "base/text.h"

#include <compare>
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

// Code points; a unit outside a valid sequence stands for itself (a stray
// UTF-8 byte b as U+DC00 + b, the way Python escapes it, a lone surrogate as
// its value).
std::u32string CodePoints(NativeStringView text) {
  std::u32string points;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = CharacterUnits(text, i);
    const auto unit = [&](std::size_t k) {
      return static_cast<char32_t>(static_cast<std::make_unsigned_t<NativeChar>>(text[k]));
    };
    char32_t point = unit(i);
    if constexpr (sizeof(NativeChar) == 2) {
      if (length == 2) point = 0x10000 + ((point - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
    } else if (point >= 0x80) {
      point = length == 1 ? 0xDC00 + point : point & (0x7Fu >> length);
      for (std::size_t k = i + 1; k < i + length; ++k) point = (point << 6) | (unit(k) & 0x3F);
    }
    points += point;
    i += length;
  }
  return points;
}

bool IsDigit(char32_t c) { return c >= '0' && c <= '9'; }
char32_t Folded(char32_t c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

std::strong_ordering NaturalCompare(std::u32string_view a, std::u32string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      const auto run = [](std::u32string_view s, std::size_t& k) {
        while (k < s.size() && s[k] == '0') ++k;
        const std::size_t start = k;
        while (k < s.size() && IsDigit(s[k])) ++k;
        return s.substr(start, k - start);
      };
      const std::u32string_view x = run(a, i), y = run(b, j);
      // Without leading zeros, the longer number is the larger.
      if (x.size() != y.size()) return x.size() <=> y.size();
      if (const int c = x.compare(y); c != 0) return c <=> 0;
      continue;
    }
    if (Folded(a[i]) != Folded(b[j])) return Folded(a[i]) <=> Folded(b[j]);
    ++i;
    ++j;
  }
  return (a.size() - i) <=> (b.size() - j);
}

}  // namespace

bool NaturalLess(NativeStringView a, NativeStringView b) {
  const std::u32string x = CodePoints(a), y = CodePoints(b);
  if (const auto order = NaturalCompare(x, y); std::is_neq(order)) return std::is_lt(order);
  if (x != y) return x < y;
  return a < b;
}

std::string Concat(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) text += part;
  return text;
}

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

}  // namespace jov
