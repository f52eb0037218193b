#pragma once

#include <functional>

#include "base/text.h"

namespace jov {

// "<stem cut to 21 characters>_flex.cdi" where the stem is the input name
// without its last four characters (".jov"), and every space and every
// character that the converter cannot receive (ConverterCanReceive) is made
// an underscore, and so is the first dot where what stands before it is a
// device name (ConverterOpensDevices), so the converter can open the file
// under the name it is given. At most 30 characters; never holds a space.
NativeString MakeIntermediateName(const NativeString& inputName);

// The same for a converter whose system is described here in place of the
// one the loader runs on.
using CharacterTest = std::function<bool(NativeStringView character)>;
struct ConverterSystem {
  CharacterTest canReceive;
  bool opensDevices = false;
};
NativeString MakeIntermediateName(const NativeString& inputName, const ConverterSystem& converter);

// Replaces every space in `fileName` by an underscore, in place.
void SpacesToUnderscores(NativeString& fileName);

}  // namespace jov
