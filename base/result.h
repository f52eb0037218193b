// How every operation that may fail reports it: a Result, read as
// `if (!r.ok())`. By default the failure is the operating system's own code,
// which travels with the error so callers can still react to a specific one
// (an input that is already gone, a name that is taken); it becomes text only
// when a message is built. An operation with more to say than the system's
// code (a decoding that met a byte it cannot decode) names its own failure
// type.
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

// A value, or the reason for not having one.
template <class T, class E = SystemError>
class [[nodiscard]] Result {
 public:
  Result(T value)
      : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT(google-explicit-constructor)
  Result(E error)
      : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT(google-explicit-constructor)

  bool ok() const { return state_.index() == 0; }
  T& value() {
    assert(ok());
    return std::get<0>(state_);
  }
  const T& value() const {
    assert(ok());
    return std::get<0>(state_);
  }
  const E& error() const {
    assert(!ok());
    return std::get<1>(state_);
  }

 private:
  std::variant<T, E> state_;
};

// Success, or the reason for failing.
template <class E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  Result(E error) : error_(std::move(error)) {}  // NOLINT(google-explicit-constructor)

  bool ok() const { return !error_; }
  const E& error() const {
    assert(!ok());
    return *error_;
  }

 private:
  std::optional<E> error_;
};

}  // namespace jov
