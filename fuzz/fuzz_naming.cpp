// Properties of the intermediate name, whatever bytes the input name holds:
// at most 30 characters, no space, and the input's stem (spaces made
// underscores), cut to 21 characters, followed by "_flex.cdi".
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "loader/naming.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string name = jov::MakeIntermediateName(input);
  const std::string stem = name.substr(0, name.size() - 9);
  const std::size_t characters = jov::CountCharacters(input);
  std::string expected = input.substr(0, stem.size());
  std::replace(expected.begin(), expected.end(), ' ', '_');
  if (jov::CountCharacters(name) > 30 || name.find(' ') != std::string::npos ||
      !name.ends_with("_flex.cdi") || stem != expected ||
      jov::CountCharacters(stem) !=
          std::min<std::size_t>(characters > 4 ? characters - 4 : 0, 21)) {
    std::abort();
  }
  return 0;
}
