#include "loader/loader.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>

#include "loader/decoder.h"
#include "loader/files.h"
#include "loader/naming.h"
#include "loader/process.h"
#include "loader/ui.h"

namespace jov {
namespace {

constexpr std::string_view kFailureHead = "An error occurred. Failed to load ";
constexpr std::string_view kCompletion = "JOV Loading Complete";

// Some system texts stand for the name they are about with "%1" ("%1 is
// not a valid Win32 application."); the name goes in its place.
NativeString Describe(SystemError error, const NativeString& name) {
  NativeString text = Describe(error);
  const NativeString insert = FromAscii("%1");
  const NativeString shown = Printable(name);
  for (auto at = text.find(insert); at != NativeString::npos; at = text.find(insert, at)) {
    text.replace(at, insert.size(), shown);
    at += shown.size();
  }
  return text;
}

// Causes go on a line of their own under the failure message.
NativeString Line(const NativeString& text) { return FromAscii("\n") + text; }
NativeString Line(std::string_view head, const NativeString& name, SystemError error) {
  return Line(FromAscii(head) + Printable(name) + FromAscii(": ") + Describe(error, name));
}

std::string Format(const char* format, auto... args) {
  char text[160];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

NativeString DescribeDecodeFailure(const DecodeFailure& failure, const NativeString& inputName,
                                   const NativeString& intermediateName) {
  using Kind = DecodeFailure::Kind;
  switch (failure.kind) {
    case Kind::kOpenInput:
    case Kind::kReadInput:
      return Line("Could not read ", inputName, failure.error);
    case Kind::kNameTaken:
      return Line(Printable(intermediateName) +
                  FromAscii(" is taken by something that is not a leftover file; it was left as "
                            "it is."));
    case Kind::kNameTakenAgain:
      return Line(FromAscii("A leftover ") + Printable(intermediateName) +
                  FromAscii(" was deleted, but the name was taken again at once; what took it was "
                            "left as it is."));
    case Kind::kCreateOutput:
    case Kind::kWriteOutput:
      return Line("Could not write ", intermediateName, failure.error);
    case Kind::kUndecodableByte:
      return Line(FromAscii(Format("Byte 0x%02X at offset %" PRIu64 " cannot be decoded.",
                                   static_cast<unsigned>(failure.byte), failure.offset)));
  }
  return {};
}

// Loads one input; returns the text telling the user why it failed, or
// nothing when it loaded.
std::optional<NativeString> LoadOneFile(const NativeString& inputName) {
  const NativeString intermediateName = MakeIntermediateName(inputName);

  std::optional<NativeString> cause;
  bool intermediateExists = true;
  if (auto failure = DecodeFile(inputName, intermediateName)) {
    cause = DescribeDecodeFailure(*failure, inputName, intermediateName);
    intermediateExists = failure->outputCreated;
  } else if (!Interrupted()) {
    const NativeString program = ConverterProgram();
    const auto status = RunAndWait(program, ConverterArguments(intermediateName));
    cause = status.ok()
                ? ConversionFailureCause(status.value())
                : Line(FromAscii("The converter ") + program +
                       FromAscii(" could not be started: ") + Describe(status.error(), program));
  }

  if (intermediateExists) {
    if (const auto removed = RemoveFile(intermediateName); !removed.ok()) {
      cause = cause.value_or(NativeString()) +
              Line("Could not delete ", intermediateName, removed.error());
    }
  }
  if (!cause) return std::nullopt;
  return FromAscii(kFailureHead) + Printable(inputName) + *cause;
}

}  // namespace

NativeString ConverterProgram() {
  return (std::filesystem::path(".") / "CASLcdi2ppc.exe").native();
}

std::vector<NativeString> ConverterArguments(const NativeString& intermediateName) {
  return {FromAscii("-DbFile"), intermediateName, FromAscii("-CreatorID"), FromAscii("Wmtk")};
}

std::optional<NativeString> ConversionFailureCause(std::int32_t status) {
  constexpr std::int32_t kShortMin = std::numeric_limits<std::int16_t>::min();
  constexpr std::int32_t kShortMax = std::numeric_limits<std::int16_t>::max();
  if (status >= 0 && status <= kShortMax) return std::nullopt;
  if (const auto signal = DescribeEndingSignal(status)) {
    return Line(FromAscii("The converter was ended by ") + *signal + FromAscii("."));
  }
  // A negative status is an ordinary, expected failure: the message says
  // just that. Anything else is unusual enough to show.
  if (status >= kShortMin && status < 0) return NativeString();
  // Windows crash codes read best in hex (0xC0000005), plain ones in decimal.
  if (status < 0 || status > 0xFFFF) {
    return Line(FromAscii(Format("The converter ended with status 0x%08" PRIX32 ".",
                                 static_cast<std::uint32_t>(status))));
  }
  return Line(FromAscii(
      Format("The converter ended with status %" PRId32 ", which is not a valid result.", status)));
}

LoadSummary LoadAllFiles() {
  LoadSummary summary;
  auto inputs = ListInputs();
  if (!inputs.ok()) {
    ShowMessage(MessageKind::kError,
                FromAscii("An error occurred. Could not list the input files.") +
                    Line(Describe(inputs.error())));
    ++summary.failed;
    return summary;
  }
  for (const NativeString& inputName : inputs.value()) {
    if (Interrupted()) break;
    auto message = LoadOneFile(inputName);
    // Whoever interrupted the run wants it to end, not to answer messages.
    if (Interrupted()) break;
    if (message) {
      ShowMessage(MessageKind::kError, *message);
      ++summary.failed;
    } else {
      ++summary.loaded;
    }
  }
  return summary;
}

int RunLoader() {
  HoldInterruptions();
  const auto lock = LockWorkingFolder();
  // Without a lock at all (a file system that has none) the run goes on as
  // it always did; only another run's lock stops it.
  if (lock.ok() && !lock.value()) {
    ShowMessage(MessageKind::kError,
                FromAscii("An error occurred.\nJOV Loader is already loading the files in this "
                          "folder."));
    return 1;
  }
  const LoadSummary summary = LoadAllFiles();
  EndIfInterrupted();
  ShowMessage(MessageKind::kInformation, FromAscii(kCompletion));
  return summary.failed == 0 ? 0 : 1;
}

}  // namespace jov
