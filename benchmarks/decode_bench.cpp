// Decode throughput, in memory and file to file, against a plain block copy
// of the same file with the same block size and a page-aligned buffer (what
// `dd bs=1M` does).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "benchmarks/bench_support.h"
#include "loader/decoder.h"

namespace jov::bench {
namespace {

constexpr const char* kOutput = "output.cdi";

[[noreturn]] void Fail(const char* what) {
  std::perror(what);
  std::exit(2);
}

// Removing a large output costs as much as writing it; neither contender
// should pay for that inside the measurement.
void RemoveOutput(benchmark::State& state) {
  state.PauseTiming();
  ::unlink(kOutput);
  state.ResumeTiming();
}

void BM_DecodeBytes(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::vector<std::uint8_t> in = EncodedBytes(size);
  std::vector<std::uint8_t> bytes(size);
  for (auto _ : state) {
    // The copy is the block a read would have filled.
    std::copy(in.begin(), in.end(), bytes.begin());
    benchmark::DoNotOptimize(DecodeBytes(bytes));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_DecodeFile(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const NativeString input = EnsureInput(size);
  ::unlink(kOutput);
  for (auto _ : state) {
    if (!DecodeFile(input, kOutput).ok()) Fail("DecodeFile");
    RemoveOutput(state);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_BlockCopy(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::string input = EnsureInput(size);
  // Aligned as dd aligns it: the kernel copies into a buffer a few bytes past
  // a page boundary markedly slower, which would flatter the decoder.
  alignas(4096) static char buffer[kDecodeBlockSize];
  ::unlink(kOutput);
  for (auto _ : state) {
    const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(kOutput, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (in < 0 || out < 0) Fail("open");
    for (;;) {
      const ssize_t n = ::read(in, buffer, kDecodeBlockSize);
      if (n < 0) Fail("read");
      if (n == 0) break;
      if (::write(out, buffer, static_cast<std::size_t>(n)) != n) Fail("write");
    }
    ::close(in);
    if (::close(out) != 0) Fail("close");
    RemoveOutput(state);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// 4 KiB to 512 MiB, by factors of 8 and then 2 at the top end, where the
// goal is measured.
void FileSizes(benchmark::internal::Benchmark* b) {
  for (std::int64_t size :
       {4LL << 10, 32LL << 10, 256LL << 10, 2LL << 20, 16LL << 20, 128LL << 20, 512LL << 20}) {
    b->Arg(size);
  }
}

BENCHMARK(BM_DecodeBytes)->RangeMultiplier(8)->Range(4 << 10, 64 << 20);
BENCHMARK(BM_DecodeFile)->Apply(FileSizes)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlockCopy)->Apply(FileSizes)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace jov::bench
