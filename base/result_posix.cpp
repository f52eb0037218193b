#include <cstring>

#include "base/result.h"

namespace jov {

// strerror's texts name nothing.
NativeString Describe(SystemError error, NativeStringView) {
  return std::strerror(static_cast<int>(error.code));
}

}  // namespace jov
