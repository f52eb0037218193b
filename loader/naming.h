#pragma once

#include "base/text.h"

namespace jov {

// "<stem cut to 21 characters>_flex.cdi" with every space made an
// underscore, where the stem is the input name without its last four
// characters (".jov"). At most 30 characters; never holds a space.
NativeString MakeIntermediateName(const NativeString& inputName);

// Replaces every space in `fileName` by an underscore, in place, and returns
// the new value as well.
NativeString SpacesToUnderscores(NativeString& fileName);

}  // namespace jov
