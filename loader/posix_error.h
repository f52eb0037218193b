#pragma once

#include <cstring>

#include "loader/result.h"

namespace jov {

inline SystemError SystemErrorFromErrno(int error) { return SystemError{std::strerror(error)}; }

}  // namespace jov
