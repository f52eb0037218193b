#include "loader/naming.h"

#include <algorithm>
#include <string_view>

#include "loader/code_page.h"

namespace jov {
namespace {

constexpr std::size_t kDroppedFromEnd = 4;  // ".jov"
constexpr std::size_t kLongestStem = 21;
constexpr std::string_view kIntermediateSuffix = "_flex.cdi";

// The names Windows opens as devices, with anything after a dot, in UTF-8
// capitals: COM and LPT take a digit from 1 to 9 or a superscript 1 to 3.
bool IsDeviceName(NativeStringView name) {
  std::string upper = ToUtf8(name);
  for (char& c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  constexpr std::string_view kDevices[] = {"AUX", "CON", "CONIN$", "CONOUT$", "NUL", "PRN"};
  if (std::ranges::find(kDevices, upper) != std::end(kDevices)) return true;
  if (!upper.starts_with("COM") && !upper.starts_with("LPT")) return false;
  const std::string_view number = std::string_view(upper).substr(3);
  constexpr std::string_view kSuperscripts[] = {"\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};
  return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') ||
         std::ranges::find(kSuperscripts, number) != std::end(kSuperscripts);
}

}  // namespace

NativeString MakeIntermediateName(const NativeString& inputName) {
  return MakeIntermediateName(
      inputName, {.canReceive = ConverterCanReceive, .opensDevices = ConverterOpensDevices()});
}

NativeString MakeIntermediateName(const NativeString& inputName, const ConverterSystem& converter) {
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
    name += converter.canReceive(character) ? NativeString(character) : FromAscii("_");
    i += character.size();
  }
  name += FromAscii(kIntermediateSuffix);
  SpacesToUnderscores(name);
  // The loader reaches the file through its long-path form, the converter
  // by the plain name: "NUL.x_flex.cdi" would be the NUL device to it, read
  // as empty and reported loaded. One character gives way, as for the code
  // page; the suffix's own dot follows no device name.
  if (converter.opensDevices) {
    const std::size_t dot = name.find(NativeChar{'.'});
    if (IsDeviceName(NativeStringView(name).substr(0, dot))) name[dot] = NativeChar{'_'};
  }
  return name;
}

void SpacesToUnderscores(NativeString& fileName) {
  std::replace(fileName.begin(), fileName.end(), NativeChar{' '}, NativeChar{'_'});
}

}  // namespace jov
