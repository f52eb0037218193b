#include "loader/loader.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "loader/converter.h"
#include "loader/decoder.h"
#include "loader/files.h"
#include "loader/naming.h"
#include "loader/process.h"
#include "loader/ui.h"

namespace jov {
namespace {

constexpr std::string_view kFailureHead = "An error occurred. Failed to load ";
constexpr std::string_view kCompletion = "JOV Loading Complete";
// Enough to find them again; a box of 180 names would not fit the screen.
constexpr std::size_t kFailuresListed = 10;

// Why an input could not be loaded: the lines that follow the failure
// message. Often there are none: a converter's negative status says all.
struct LoadFailure {
  std::vector<NativeString> causes;
};

NativeString Cause(std::string_view head, const NativeString& name, SystemError error) {
  const NativeString shown = Printable(name);
  return FromAscii(head) + shown + FromAscii(": ") + Describe(error, shown);
}

NativeString DescribeDecodeFailure(const DecodeFailure& failure, const NativeString& inputName,
                                   const NativeString& intermediateName) {
  using Kind = DecodeFailure::Kind;
  switch (failure.kind) {
    case Kind::kOpenInput:
    case Kind::kReadInput:
      return Cause("Could not read ", inputName, failure.error);
    case Kind::kNameTaken:
      return Printable(intermediateName) +
             FromAscii(" is taken by something that is not a leftover file; it was left as it is.");
    case Kind::kNameTakenAgain:
      return FromAscii("A leftover ") + Printable(intermediateName) +
             FromAscii(
                 " was deleted, but the name was taken again at once; what took it was left "
                 "as it is.");
    case Kind::kCreateOutput:
    case Kind::kWriteOutput:
      return Cause("Could not write ", intermediateName, failure.error);
    case Kind::kUndecodableByte: {
      char text[80];
      std::snprintf(text, sizeof text, "Byte 0x%02X at offset %" PRIu64 " cannot be decoded.",
                    static_cast<unsigned>(failure.byte), failure.offset);
      return FromAscii(text);
    }
  }
  return {};
}

// Decodes one input, has the converter load it and removes the
// intermediate file again.
Result<void, LoadFailure> LoadOneFile(const NativeString& inputName) {
  const NativeString intermediateName = MakeIntermediateName(inputName);

  bool failed = false;
  LoadFailure failure;
  bool intermediateExists = true;
  if (const auto decoded = DecodeFile(inputName, intermediateName); !decoded.ok()) {
    failed = true;
    failure.causes.push_back(DescribeDecodeFailure(decoded.error(), inputName, intermediateName));
    intermediateExists = decoded.error().outputCreated;
  } else if (!Interrupted()) {
    const auto status = RunAndWait(ConverterProgram(), ConverterArguments(intermediateName));
    if (!status.ok()) {
      failed = true;
      failure.causes.push_back(DescribeStartFailure(status.error()));
    } else if (auto outcome = JudgeStatus(status.value()); !outcome.loaded) {
      failed = true;
      if (outcome.cause) failure.causes.push_back(std::move(*outcome.cause));
    }
  }

  if (intermediateExists) {
    if (const auto removed = RemoveFile(intermediateName); !removed.ok()) {
      failed = true;
      failure.causes.push_back(Cause("Could not delete ", intermediateName, removed.error()));
    }
  }
  if (!failed) return {};
  return failure;
}

NativeString FailureMessage(const NativeString& inputName, const LoadFailure& failure) {
  NativeString message = FromAscii(kFailureHead) + Printable(inputName);
  for (const NativeString& cause : failure.causes) message += FromAscii("\n") + cause;
  return message;
}

// "1 file", "3 files".
std::string FileCountText(int count) {
  return Concat({std::to_string(count), count == 1 ? " file" : " files"});
}

// The working directory's full path, as it may be shown. Fails when it has
// none any more (removed while the run was in it).
Result<NativeString> WorkingFolder() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  if (error) return SystemError{static_cast<std::uint32_t>(error.value())};
  return Printable(folder.native());
}

}  // namespace

Completion DescribeCompletion(const LoadSummary& summary) {
  Completion completion{.message = FromAscii(kCompletion)};
  const int inputs = summary.loaded + summary.failed + summary.notLoaded;
  const auto add = [&](std::string_view ascii) { completion.message += FromAscii(ascii); };
  if (summary.listed && summary.failed > 0) {
    add(Concat({"\n", std::to_string(summary.failed), " of ", FileCountText(inputs),
                " could not be loaded."}));
    // Right under the line that counts them, indented, so that a stop's line
    // after them does not read as one more name.
    const std::size_t failures = summary.failedInputs.size();
    for (std::size_t i = 0; i < std::min(failures, kFailuresListed); ++i) {
      completion.message += FromAscii("\n    ") + Printable(summary.failedInputs[i]);
    }
    if (failures > kFailuresListed) {
      add(Concat({"\n    and ", std::to_string(failures - kFailuresListed), " more."}));
    }
  }
  if (summary.notLoaded > 0) {
    add(Concat({"\n", FileCountText(summary.notLoaded), summary.notLoaded == 1 ? " was" : " were",
                " not loaded: the batch was stopped."}));
  }
  if (summary.listed && inputs == 0) {
    add("\nThe folder ");
    // Without one the line still says what the folder lacks.
    if (const auto folder = WorkingFolder(); folder.ok()) {
      completion.message += folder.value() + FromAscii(" ");
    }
    add("holds no .jov files.");
  }
  completion.status = summary.failed == 0 && summary.notLoaded == 0 ? 0 : 1;
  return completion;
}

LoadSummary LoadAllFiles() {
  LoadSummary summary;
  auto inputs = ListInputs();
  if (!inputs.ok()) {
    ShowMessage(MessageKind::kError,
                FromAscii("An error occurred. Could not list the input files.\n") +
                    Describe(inputs.error()));
    ++summary.failed;
    summary.listed = false;
    return summary;
  }
  const std::vector<NativeString>& names = inputs.value();
  Progress progress(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (Interrupted()) break;
    if (progress.StopRequested()) {
      summary.notLoaded = static_cast<int>(names.size() - i);
      break;
    }
    progress.Loading(i + 1, names[i]);
    const auto loaded = LoadOneFile(names[i]);
    // Whoever interrupted the run wants it to end, not to answer messages.
    if (Interrupted()) break;
    if (!loaded.ok()) {
      progress.Failed();
      ShowMessage(MessageKind::kError, FailureMessage(names[i], loaded.error()), &progress);
      ++summary.failed;
      summary.failedInputs.push_back(names[i]);
    } else {
      ++summary.loaded;
    }
  }
  return summary;
}

int RunLoader() {
  HoldInterruptions();
  const auto lock = LockWorkingFolder();
  // A folder that gives no lock at all (a file system without locks) is
  // loaded all the same, unguarded: refusing it would refuse every run
  // there. Only another run's lock stops one.
  if (!lock.ok() && lock.error().heldByAnotherRun) {
    ShowMessage(MessageKind::kError,
                FromAscii("An error occurred.\nJOV Loader is already loading the files in this "
                          "folder."));
    EndIfInterrupted();
    return 1;
  }
  const LoadSummary summary = LoadAllFiles();
  // A signal ends the run here, as it would have ended it at once: the
  // counts of a cut-short batch would be wrong, and nobody waits to read
  // them.
  EndIfInterrupted();
  const Completion completion = DescribeCompletion(summary);
  ShowMessage(MessageKind::kInformation, completion.message);
  // A signal at the last wait ends the program by it too: whoever sent it
  // asked for that, not for the batch's status.
  EndIfInterrupted();
  return completion.status;
}

}  // namespace jov
