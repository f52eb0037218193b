// Properties of the intermediate name, whatever the input name: at most 30
// characters, no space, and exactly the input's cut stem (spaces made
// underscores) followed by "_flex.cdi".
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "loader/naming.h"

namespace {

constexpr std::string_view kSuffix = "_flex.cdi";

void Require(bool condition) {
  if (!condition) std::abort();
}

// A character is a code point: a byte that does not continue a UTF-8
// sequence starts one, and so does the first byte whatever it is.
std::size_t Characters(std::string_view s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (i == 0 || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) ++n;
  }
  return n;
}

bool IsCharacterBoundary(std::string_view s, std::size_t i) {
  return i == 0 || i == s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string name = jov::MakeIntermediateName(input);

  Require(Characters(name) <= 30);
  Require(name.find(' ') == std::string::npos);
  Require(name.ends_with(kSuffix));

  const std::string_view stem = std::string_view(name).substr(0, name.size() - kSuffix.size());
  Require(stem.size() <= input.size());
  Require(IsCharacterBoundary(input, stem.size()));
  for (std::size_t i = 0; i < stem.size(); ++i) {
    Require(stem[i] == (input[i] == ' ' ? '_' : input[i]));
  }
  const std::size_t inputCharacters = Characters(input);
  const std::size_t expectedStem =
      inputCharacters > 4 ? std::min<std::size_t>(inputCharacters - 4, 21) : 0;
  Require(Characters(input.substr(0, stem.size())) == expectedStem);

  std::string copy = input;
  const std::string returned = jov::SpacesToUnderscores(copy);
  Require(returned == copy && copy.size() == input.size());
  Require(copy.find(' ') == std::string::npos);
  return 0;
}
