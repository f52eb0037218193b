#pragma once

#include <functional>

#include "base/text.h"

namespace jov {

// "<stem cut to 21 characters>_flex.cdi" where the stem is the input name
// without its last four characters (".jov"), and every space and every
// character that the converter cannot receive (ConverterCanReceive) is made
// an underscore, so the converter can open the file under the name it is
// given. At most 30 characters; never holds a space.
NativeString MakeIntermediateName(const NativeString& inputName);

// The same, with `canReceive` deciding for each character in place of the
// system.
using CharacterTest = std::function<bool(NativeStringView character)>;
NativeString MakeIntermediateName(const NativeString& inputName, const CharacterTest& canReceive);

// Replaces every space in `fileName` by an underscore, in place.
void SpacesToUnderscores(NativeString& fileName);

}  // namespace jov
