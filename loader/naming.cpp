#include "loader/naming.h"

#include <algorithm>

#include "loader/code_page.h"

namespace jov {
namespace {

constexpr std::size_t kDroppedFromEnd = 4;  // ".jov"
constexpr std::size_t kLongestStem = 21;
constexpr std::string_view kIntermediateSuffix = "_flex.cdi";

}  // namespace

NativeString MakeIntermediateName(const NativeString& inputName) {
  return MakeIntermediateName(inputName, ConverterCanReceive);
}

NativeString MakeIntermediateName(const NativeString& inputName, const CharacterTest& canReceive) {
  const std::size_t characters = CountCharacters(inputName);
  const std::size_t stemCharacters =
      std::min(characters > kDroppedFromEnd ? characters - kDroppedFromEnd : 0, kLongestStem);
  // Cutting before the suffix is added and before spaces are replaced is
  // what makes "Grade 5 Science Unit Two" end in a double underscore.
  const NativeStringView stem(inputName.data(), PrefixEnd(inputName, stemCharacters));
  NativeString name;
  // A character is replaced whole, so a surrogate pair becomes one
  // underscore and the name keeps its length in characters.
  for (std::size_t i = 0; i < stem.size();) {
    const NativeStringView character = stem.substr(i, PrefixEnd(stem.substr(i), 1));
    name += canReceive(character) ? NativeString(character) : FromAscii("_");
    i += character.size();
  }
  name += FromAscii(kIntermediateSuffix);
  SpacesToUnderscores(name);
  return name;
}

void SpacesToUnderscores(NativeString& fileName) {
  std::replace(fileName.begin(), fileName.end(), NativeChar{' '}, NativeChar{'_'});
}

}  // namespace jov
