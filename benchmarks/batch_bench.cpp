// A batch of small inputs through LoadAllFiles on the real platform layer,
// against a bare loop that only starts and waits for the same converter.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "benchmarks/bench_support.h"
#include "loader/loader.h"

extern char** environ;

namespace jov::bench {
namespace {

constexpr int kInputs = 1000;
constexpr std::size_t kInputSize = 4 << 10;

// Restores the working directory, which both benchmarks change to the batch
// folder as the loader expects.
class InFolder {
 public:
  explicit InFolder(const std::filesystem::path& folder)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~InFolder() { std::filesystem::current_path(previous_); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  std::filesystem::path previous_;
};

void BM_LoadAllFiles(benchmark::State& state) {
  const InFolder in(EnsureBatchFolder(kInputs, kInputSize));
  for (auto _ : state) {
    const LoadSummary summary = LoadAllFiles();
    if (summary.loaded != kInputs) {
      std::fprintf(stderr, "only %d of %d inputs loaded\n", summary.loaded, kInputs);
      std::exit(2);
    }
  }
  state.counters["inputs"] = kInputs;
}

void BM_StartAndWait(benchmark::State& state) {
  const InFolder in(EnsureBatchFolder(kInputs, kInputSize));
  char program[] = "./CASLcdi2ppc.exe";
  char dbFile[] = "-DbFile";
  char name[] = "lesson_0000_flex.cdi";
  char creator[] = "-CreatorID";
  char id[] = "Wmtk";
  char* argv[] = {program, dbFile, name, creator, id, nullptr};
  for (auto _ : state) {
    for (int i = 0; i < kInputs; ++i) {
      pid_t pid = 0;
      if (::posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) std::exit(2);
      int status = 0;
      ::waitpid(pid, &status, 0);
    }
  }
  state.counters["inputs"] = kInputs;
}

BENCHMARK(BM_LoadAllFiles)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_StartAndWait)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace jov::bench
