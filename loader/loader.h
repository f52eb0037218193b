// The batch run: every input in the working directory is decoded into its
// intermediate file, handed to the converter, and the intermediate file is
// removed again.
#pragma once

namespace jov {

struct LoadSummary {
  int loaded = 0;
  int failed = 0;
  int notLoaded = 0;  // left when the user stopped the batch
};

// Loads every input, telling the user about each one that failed, and keeps
// going after a failure.
LoadSummary LoadAllFiles();

// LoadAllFiles, then "JOV Loading Complete". Returns the exit status: 0 when
// every input loaded, 1 otherwise.
int RunLoader();

}  // namespace jov
