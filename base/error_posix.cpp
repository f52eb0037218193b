#include <cstring>

#include "base/result.h"

namespace jov {

NativeString Describe(SystemError error) { return std::strerror(static_cast<int>(error.code)); }

}  // namespace jov
