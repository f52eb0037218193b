// The baselines of jov_bench's measurements: the plainest code of each
// system doing the work the loader does.
#pragma once

#include <thread>

#include "base/text.h"

namespace jov::bench {

// Starts the working folder's converter `count` times with the loader's own
// command line and waits for each; false at the first that fails.
bool StartAndWait(int count);

// Copies `input` to `output` in blocks of 1 MiB through a page-aligned
// buffer, as `dd bs=1M` does; false when any step failed.
bool BlockCopy(const NativeString& input, const NativeString& output);

// Answers the loader's failure messages while the thread runs, printing
// them, so a failed input cannot hold a measurement. Only Windows shows
// messages that wait: elsewhere the thread is empty.
std::jthread AnswerMessages();

}  // namespace jov::bench
