// How every call into the operating system reports failure. The system's own
// code travels with the error, so callers can still react to a specific one
// (an input that is already gone, a name that is taken); it becomes text only
// when a message is built.
#pragma once

#include <cassert>
#include <cstdint>
#include <optional>
#include <utility>
#include <variant>

#include "base/text.h"

namespace jov {

// errno on POSIX, GetLastError() on Windows.
struct SystemError {
  std::uint32_t code = 0;
};

// The system's own words for the error ("Access is denied.", "No space left
// on device"), without a trailing line break. Some Windows texts stand for
// the name they are about with "%1" ("%1 is not a valid Win32
// application."): `subject` takes its place.
NativeString Describe(SystemError error, NativeStringView subject = {});

// A value, or the system's reason for not having one.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}  // NOLINT(google-explicit-constructor)
  Result(SystemError error) : state_(error) {}   // NOLINT(google-explicit-constructor)

  bool ok() const { return state_.index() == 0; }
  T& value() {
    assert(ok());
    return std::get<0>(state_);
  }
  const T& value() const {
    assert(ok());
    return std::get<0>(state_);
  }
  SystemError error() const {
    assert(!ok());
    return std::get<1>(state_);
  }

 private:
  std::variant<T, SystemError> state_;
};

// Success, or the system's reason for failing.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(SystemError error) : error_(error) {}  // NOLINT(google-explicit-constructor)

  bool ok() const { return !error_; }
  SystemError error() const {
    assert(!ok());
    return *error_;
  }

 private:
  std::optional<SystemError> error_;
};

}  // namespace jov
