#include "loader/converter.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "loader/process.h"

namespace jov {
namespace {

NativeString Formatted(const char* format, auto... args) {
  char text[160];
  std::snprintf(text, sizeof text, format, args...);
  return FromAscii(text);
}

}  // namespace

NativeString ConverterProgram() {
  return (std::filesystem::path(".") / std::string(kConverterName)).native();
}

std::vector<NativeString> ConverterArguments(const NativeString& intermediateName) {
  return {FromAscii(kDbFileSwitch), intermediateName, FromAscii(kCreatorIdSwitch),
          FromAscii(kCreatorId)};
}

ConverterOutcome JudgeStatus(std::int32_t status) {
  constexpr std::int32_t kShortMin = std::numeric_limits<std::int16_t>::min();
  constexpr std::int32_t kShortMax = std::numeric_limits<std::int16_t>::max();
  if (status >= 0 && status <= kShortMax) return {.loaded = true};
  if (const auto signal = DescribeEndingSignal(status)) {
    return {.cause = FromAscii("The converter was ended by ") + *signal + FromAscii(".")};
  }
  // A negative status is the converter's ordinary way to fail: the failure
  // message says all there is.
  if (status >= kShortMin && status < 0) return {};
  // Windows crash codes read best in hex (0xC0000005), plain ones in decimal.
  if (status < 0 || status > 0xFFFF) {
    return {.cause = Formatted("The converter ended with status 0x%08" PRIX32 ".",
                               static_cast<std::uint32_t>(status))};
  }
  return {.cause = Formatted(
              "The converter ended with status %" PRId32 ", which is not a valid result.", status)};
}

NativeString DescribeStartFailure(SystemError error) {
  const NativeString program = ConverterProgram();
  return FromAscii("The converter ") + program + FromAscii(" could not be started: ") +
         Describe(error, program);
}

}  // namespace jov
