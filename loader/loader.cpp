#include "loader/loader.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "loader/decoder.h"
#include "loader/naming.h"

namespace jov {
namespace {

// The converter is looked up in the working directory, never on PATH; the
// POSIX launcher reads the backslash as a directory separator too.
constexpr std::string_view kCommandLineHead = ".\\CASLcdi2ppc.exe -DbFile ";
constexpr std::string_view kCommandLineTail = " -CreatorID Wmtk";
constexpr std::string_view kFailureHead = "An error occurred. Failed to load ";
constexpr std::string_view kCompletion = "JOV Loading Complete";

// Causes go on a line of their own under the failure message.
NativeString Line(const NativeString& text) { return FromAscii("\n") + text; }

std::string Format(const char* format, auto... args) {
  char text[160];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

// The extra line under the failure message that says why.
NativeString DescribeDecodeFailure(const DecodeFailure& failure, const NativeString& inputName,
                                   const NativeString& intermediateName) {
  using Kind = DecodeFailure::Kind;
  switch (failure.kind) {
    case Kind::kOpenInput:
    case Kind::kReadInput:
      return Line(FromAscii("Could not read ") + inputName + FromAscii(": ") + failure.error.text);
    case Kind::kCreateOutput:
    case Kind::kWriteOutput:
      return Line(FromAscii("Could not write ") + intermediateName + FromAscii(": ") +
                  failure.error.text);
    case Kind::kUndecodableByte:
      return Line(FromAscii(Format("Byte 0x%02X at offset %" PRIu64 " cannot be decoded.",
                                   static_cast<unsigned>(failure.byte), failure.offset)));
  }
  return {};
}

NativeString DescribeStatus(std::int32_t status) {
  // Windows crash codes read best in hex (0xC0000005), plain ones in decimal.
  if (status < 0 || status > 0xFFFF) {
    return Line(FromAscii(Format("The converter ended with status 0x%08" PRIX32 ".",
                                 static_cast<std::uint32_t>(status))));
  }
  return Line(FromAscii(
      Format("The converter ended with status %" PRId32 ", which is not a valid result.", status)));
}

// Loads one input; returns the text telling the user why it failed, or
// nothing when it loaded.
std::optional<NativeString> LoadOneFile(Platform& platform, const NativeString& inputName) {
  const NativeString intermediateName = MakeIntermediateName(inputName);
  const NativeString commandLine = MakeCommandLine(intermediateName);

  std::optional<NativeString> cause;
  bool intermediateExists = true;
  if (auto failure = DecodeFile(platform.files, inputName, intermediateName)) {
    cause = DescribeDecodeFailure(*failure, inputName, intermediateName);
    intermediateExists = failure->outputCreated;
  } else {
    const std::int32_t status = platform.processes.Run(commandLine);
    if (!ConversionSucceeded(status)) {
      // A negative status is an ordinary, expected failure: the message says
      // just that. Anything else is unusual enough to show.
      const bool fitsShort = status >= std::numeric_limits<std::int16_t>::min() &&
                             status <= std::numeric_limits<std::int16_t>::max();
      cause = fitsShort ? NativeString() : DescribeStatus(status);
    }
  }

  if (intermediateExists) {
    const RemoveResult removed = platform.files.RemoveFile(intermediateName);
    if (removed.outcome == RemoveOutcome::kFailed) {
      cause = cause.value_or(NativeString()) + FromAscii("\nCould not delete ") + intermediateName +
              FromAscii(": ") + removed.error.text;
    }
  }
  if (!cause) return std::nullopt;
  return FromAscii(kFailureHead) + inputName + *cause;
}

}  // namespace

NativeString MakeCommandLine(const NativeString& intermediateName) {
  return FromAscii(kCommandLineHead) + intermediateName + FromAscii(kCommandLineTail);
}

bool ConversionSucceeded(std::int32_t status) {
  return status >= 0 && status <= std::numeric_limits<std::int16_t>::max();
}

LoadSummary LoadAllFiles(Platform& platform) {
  LoadSummary summary;
  auto listing = platform.files.ListInputs();
  if (!listing.ok()) {
    platform.ui.ShowMessage(FromAscii("An error occurred. Could not list the input files.") +
                            FromAscii("\n") + listing.error().text);
    ++summary.failed;
    return summary;
  }
  while (auto inputName = listing.value()->Next()) {
    if (auto message = LoadOneFile(platform, *inputName)) {
      platform.ui.ShowMessage(*message);
      ++summary.failed;
    } else {
      ++summary.loaded;
    }
  }
  return summary;
}

void RunLoader(Platform& platform) {
  const LoadSummary summary = LoadAllFiles(platform);
  platform.ui.ShowMessage(FromAscii(kCompletion));
  platform.ui.EndProgram(summary.failed == 0 ? 0 : 1);
  std::abort();  // EndProgram does not come back; the compiler cannot see that through a virtual
                 // call.
}

void RunLoader() {
  const auto files = MakeSystemFileSystem();
  const auto processes = MakeSystemProcessLauncher();
  const auto ui = MakeSystemUserInterface();
  Platform platform{*files, *processes, *ui};
  RunLoader(platform);
}

}  // namespace jov
