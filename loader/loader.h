// The batch run: every input in the working directory is decoded into its
// intermediate file, handed to the converter, and the intermediate file is
// removed again.
#pragma once

#include <cstdint>
#include <optional>

#include "loader/files.h"
#include "loader/process.h"
#include "loader/text.h"
#include "loader/ui.h"

namespace jov {

struct Platform {
  FileSystem& files;
  ProcessLauncher& processes;
  UserInterface& ui;
};

// The converter command line for one intermediate file.
NativeString MakeCommandLine(const NativeString& intermediateName);

// Whether a converter status means success: 0..32767. Negative statuses and
// statuses a 16-bit signed value cannot hold (40000, 0xC0000005) are failures.
bool ConversionSucceeded(std::int32_t status);

struct LoadSummary {
  int loaded = 0;
  int failed = 0;
};

// Loads every input, telling the user about each one that failed, and keeps
// going after a failure.
LoadSummary LoadAllFiles(Platform& platform);

// LoadAllFiles, then "JOV Loading Complete", then the end of the program:
// exit status 0 when every input loaded, 1 otherwise.
[[noreturn]] void RunLoader(Platform& platform);

// RunLoader on the operating system's own platform.
[[noreturn]] void RunLoader();

}  // namespace jov
