// The batch run: every input in the working directory is decoded into its
// intermediate file, handed to the converter, and the intermediate file is
// removed again.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/text.h"

namespace jov {

// The converter sits beside the inputs and is never looked up on PATH:
// ".\CASLcdi2ppc.exe" on Windows, "./CASLcdi2ppc.exe" on POSIX.
NativeString ConverterProgram();

// The converter's arguments for one intermediate file.
std::vector<NativeString> ConverterArguments(const NativeString& intermediateName);

// What a converter status tells the user: nothing when the input loaded
// (0..32767), otherwise the text that follows the failure message. That text
// is empty for a failure a 16-bit status can express (a negative one); a
// status outside that range (40000, 0xC0000005) is named on a line of its
// own, and so is a signal that ended the converter (POSIX).
std::optional<NativeString> ConversionFailureCause(std::int32_t status);

struct LoadSummary {
  int loaded = 0;
  int failed = 0;
};

// Loads every input, telling the user about each one that failed, and keeps
// going after a failure.
LoadSummary LoadAllFiles();

// LoadAllFiles, then "JOV Loading Complete". Returns the exit status: 0 when
// every input loaded, 1 otherwise.
int RunLoader();

}  // namespace jov
