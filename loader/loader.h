// The batch run: every input in the working directory is decoded into its
// intermediate file, handed to the converter, and the intermediate file is
// removed again.
#pragma once

#include <vector>

#include "base/text.h"

namespace jov {

struct LoadSummary {
  int loaded = 0;
  int failed = 0;
  int notLoaded = 0;   // left when the user stopped the batch
  bool listed = true;  // false: the folder could not be listed, one failure
  // The inputs that failed, in the order they were loaded.
  std::vector<NativeString> failedInputs;
};

// Loads every input, telling the user about each one that failed, and keeps
// going after a failure.
LoadSummary LoadAllFiles();

// What the user is told at the end, and the exit status. The message opens
// with "JOV Loading Complete" and goes on with a line for each way the batch
// fell short: inputs that failed ("2 of 5 files could not be loaded."),
// followed by their names, indented, the first 10 and then how many more
// ("and 12 more."); inputs a stop left ("3 files were not loaded: the batch
// was stopped."); a folder without inputs, named from the working
// directory. The status is 0 when nothing fell short (an empty folder
// included), 1 otherwise. A folder that could not be listed has been
// reported already and adds no line.
struct Completion {
  NativeString message;
  int status = 0;
};
Completion DescribeCompletion(const LoadSummary& summary);

// LoadAllFiles, then the completion message. Returns its exit status.
int RunLoader();

}  // namespace jov
