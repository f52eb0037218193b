#pragma once

#include <cassert>
#include <optional>
#include <utility>

#include "loader/text.h"

namespace jov {

// What went wrong in a call into the operating system, as the system itself
// words it ("Access is denied.", "No space left on device").
struct SystemError {
  NativeString text;
};

// A value or the system's reason for not having one.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}            // NOLINT(google-explicit-constructor)
  Result(SystemError error) : error_(std::move(error)) {}  // NOLINT(google-explicit-constructor)

  bool ok() const { return value_.has_value(); }
  T& value() {
    assert(ok());
    return *value_;
  }
  const SystemError& error() const {
    assert(!ok());
    return error_;
  }

 private:
  std::optional<T> value_;
  SystemError error_;
};

// Success, or the system's reason for failing.
using Status = std::optional<SystemError>;

}  // namespace jov
