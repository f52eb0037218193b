#include "loader/loader.h"

#include <cinttypes>
#include <cstdio>
#include <string>

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
// intermediate file again; nothing when it loaded.
std::optional<LoadFailure> LoadOneFile(const NativeString& inputName) {
  const NativeString intermediateName = MakeIntermediateName(inputName);

  std::optional<LoadFailure> failure;
  bool intermediateExists = true;
  if (auto decoding = DecodeFile(inputName, intermediateName)) {
    failure =
        LoadFailure{.causes = {DescribeDecodeFailure(*decoding, inputName, intermediateName)}};
    intermediateExists = decoding->outputCreated;
  } else if (!Interrupted()) {
    const auto status = RunAndWait(ConverterProgram(), ConverterArguments(intermediateName));
    if (!status.ok()) {
      failure = LoadFailure{.causes = {DescribeStartFailure(status.error())}};
    } else if (auto outcome = JudgeStatus(status.value()); !outcome.loaded) {
      failure = LoadFailure{};
      if (outcome.cause) failure->causes.push_back(std::move(*outcome.cause));
    }
  }

  if (intermediateExists) {
    if (const auto removed = RemoveFile(intermediateName); !removed.ok()) {
      if (!failure) failure = LoadFailure{};
      failure->causes.push_back(Cause("Could not delete ", intermediateName, removed.error()));
    }
  }
  return failure;
}

NativeString FailureMessage(const NativeString& inputName, const LoadFailure& failure) {
  NativeString message = FromAscii(kFailureHead) + Printable(inputName);
  for (const NativeString& cause : failure.causes) message += FromAscii("\n") + cause;
  return message;
}

}  // namespace

LoadSummary LoadAllFiles() {
  LoadSummary summary;
  auto inputs = ListInputs();
  if (!inputs.ok()) {
    ShowMessage(MessageKind::kError,
                FromAscii("An error occurred. Could not list the input files.\n") +
                    Describe(inputs.error()));
    ++summary.failed;
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
    const auto failure = LoadOneFile(names[i]);
    // Whoever interrupted the run wants it to end, not to answer messages.
    if (Interrupted()) break;
    if (failure) {
      progress.Failed();
      ShowMessage(MessageKind::kError, FailureMessage(names[i], *failure), &progress);
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
  return summary.failed == 0 && summary.notLoaded == 0 ? 0 : 1;
}

}  // namespace jov
