// One measurement per run, printed in seconds; benchmarks/report.py runs the
// contenders and their baselines in turns and takes the ratios.
//
//   jov_bench load COUNT    LoadAllFiles over the working folder's COUNT inputs
//   jov_bench spawn COUNT   the folder's converter started and waited for COUNT times
//   jov_bench decode NAME   DecodeFile from NAME, then the intermediate deleted
//   jov_bench copy NAME     a block copy of NAME, then deleted
//
// The library's calls are timed in process: the program itself waits on its
// splash and ends on a message, fixed costs that would only be subtracted
// again. Under wine, wine's own start-up stays outside the timing too.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "benchmarks/bench.h"
#include "loader/decoder.h"
#include "loader/loader.h"

int main(int argc, char** argv) {
  using namespace jov;
  if (argc != 3) {
    std::fprintf(stderr, "usage: jov_bench load|spawn COUNT | decode|copy NAME\n");
    return 2;
  }
  const std::string mode = argv[1];
  const NativeString name = FromUtf8(argv[2]);
  const int count = std::atoi(argv[2]);
  const NativeString copy = FromAscii("bench_flex.cdi");

  std::error_code error;
  const auto start = std::chrono::steady_clock::now();
  bool ok = false;
  if (mode == "load") {
    const std::jthread answerer = bench::AnswerMessages();
    ok = LoadAllFiles().loaded == count;
  } else if (mode == "spawn") {
    ok = bench::StartAndWait(count);
  } else if (mode == "decode") {
    ok = DecodeFile(name, copy).ok() && std::filesystem::remove(copy, error);
  } else if (mode == "copy") {
    ok = bench::BlockCopy(name, copy) && std::filesystem::remove(copy, error);
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (!ok) {
    std::fprintf(stderr, "jov_bench %s %s failed\n", argv[1], argv[2]);
    return 1;
  }
  std::printf("%.6f\n", elapsed.count());
  return 0;
}
