#include "loader/naming.h"

#include <algorithm>

namespace jov {
namespace {

constexpr std::size_t kDroppedFromEnd = 4;  // ".jov"
constexpr std::size_t kLongestStem = 21;
constexpr std::string_view kIntermediateSuffix = "_flex.cdi";

}  // namespace

NativeString MakeIntermediateName(const NativeString& inputName) {
  const std::size_t characters = CountCharacters(inputName);
  const std::size_t stemCharacters =
      std::min(characters > kDroppedFromEnd ? characters - kDroppedFromEnd : 0, kLongestStem);
  // Cutting before the suffix is added and before spaces are replaced is
  // what makes "Grade 5 Science Unit Two" end in a double underscore.
  NativeString name = inputName.substr(0, PrefixEnd(inputName, stemCharacters));
  name += FromAscii(kIntermediateSuffix);
  SpacesToUnderscores(name);
  return name;
}

NativeString SpacesToUnderscores(NativeString& fileName) {
  std::replace(fileName.begin(), fileName.end(), NativeChar{' '}, NativeChar{'_'});
  return fileName;
}

}  // namespace jov
