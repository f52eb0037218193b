#include "loader/decoder.h"

#include <algorithm>
#include <memory>
#include <new>

#include "loader/files.h"

namespace jov {
namespace {

constexpr std::uint8_t kShift = 2;

// Small enough to stay in L1 for the rare second pass over it, large
// enough that the loop overhead vanishes. The loop over a chunk is
// branch-free, so the compiler vectorises it (at -O3, which this file is
// built with whatever the build type).
constexpr std::size_t kChunk = 4096;

// The kernel copies into a page-aligned buffer markedly faster than into one
// a few bytes past a page boundary, which is where the heap puts 1 MiB
// blocks.
constexpr std::align_val_t kPageAlignment{4096};

struct PageAlignedDelete {
  void operator()(std::uint8_t* p) const { ::operator delete[](p, kPageAlignment); }
};

// Not zero-filled: for the typical small input only the pages a read
// actually fills are ever touched.
std::unique_ptr<std::uint8_t[], PageAlignedDelete> AllocateBlock() {
  return std::unique_ptr<std::uint8_t[], PageAlignedDelete>(
      static_cast<std::uint8_t*>(::operator new[](kDecodeBlockSize, kPageAlignment)));
}

// One pass over each chunk subtracts and looks for the lowest stored byte
// at once, which takes about half the time of a check followed by a
// subtraction. A chunk that held an undecodable byte is put back (adding 2
// undoes the subtraction exactly) and decoded again up to that byte.
// Inlined into each variant below so that each is compiled for its own
// instruction set.
[[gnu::always_inline]] inline std::size_t DecodeLoop(std::uint8_t* bytes, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    std::uint8_t* chunk = bytes + done;
    const std::size_t n = std::min(kChunk, size - done);
    std::uint8_t lowest = 0xFF;
    for (std::size_t i = 0; i < n; ++i) {
      lowest = std::min(lowest, chunk[i]);
      chunk[i] = static_cast<std::uint8_t>(chunk[i] - kShift);
    }
    if (lowest < kShift) {
      for (std::size_t i = 0; i < n; ++i) chunk[i] = static_cast<std::uint8_t>(chunk[i] + kShift);
      break;
    }
    done += n;
  }
  for (; done < size && bytes[done] >= kShift; ++done) {
    bytes[done] = static_cast<std::uint8_t>(bytes[done] - kShift);
  }
  return done;
}

std::size_t DecodeBaseline(std::uint8_t* bytes, std::size_t size) {
  return DecodeLoop(bytes, size);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The portable build may only assume SSE2; AVX2, present on nearly every
// x86-64 machine in use, decodes about twice as fast, and decoding is the
// one part of a large input's cost that is the program's own (the kernel's
// two copies are nearly all the rest). Chosen once, at run time.
[[gnu::target("avx2")]] std::size_t DecodeAvx2(std::uint8_t* bytes, std::size_t size) {
  return DecodeLoop(bytes, size);
}

DecodeFunction ChooseDecode() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? DecodeAvx2 : DecodeBaseline;
}
#else
DecodeFunction ChooseDecode() { return DecodeBaseline; }
#endif

// Chosen on first use rather than at start-up, so that a caller running
// before this file's static initialisation still finds it set. DecodePaths
// reports this very choice, so a test sees what DecodeBytes runs.
DecodeFunction ChosenDecode() {
  static const DecodeFunction decode = ChooseDecode();
  return decode;
}

}  // namespace

std::size_t DecodeBytes(std::span<std::uint8_t> bytes) {
  return ChosenDecode()(bytes.data(), bytes.size());
}

std::vector<DecodeFunction> DecodePaths() {
  std::vector<DecodeFunction> paths = {ChosenDecode()};
  if (paths.front() != DecodeBaseline) paths.push_back(DecodeBaseline);
  return paths;
}

Result<void, DecodeFailure> DecodeFile(const NativeString& inputName,
                                       const NativeString& intermediateName) {
  using Kind = DecodeFailure::Kind;

  auto input = OpenForReading(inputName);
  if (!input.ok()) return DecodeFailure{.kind = Kind::kOpenInput, .error = input.error()};
  auto created = CreateIntermediate(intermediateName, input.value());
  if (!created.ok()) {
    using Reason = NotCreated::Reason;
    const NotCreated& why = created.error();
    return DecodeFailure{.kind = why.reason == Reason::kNotALeftover ? Kind::kNameTaken
                                 : why.reason == Reason::kTakenAgain ? Kind::kNameTakenAgain
                                                                     : Kind::kCreateOutput,
                         .error = why.error};
  }
  File& output = created.value();

  const auto storage = AllocateBlock();
  const std::span<std::uint8_t> buffer(storage.get(), kDecodeBlockSize);
  const auto bytes = std::as_writable_bytes(buffer);
  std::uint64_t offset = 0;
  for (;;) {
    auto got = input.value().Read(bytes);
    if (!got.ok()) {
      return DecodeFailure{.kind = Kind::kReadInput, .error = got.error(), .outputCreated = true};
    }
    const std::size_t n = got.value();
    if (n == 0) break;

    const auto block = buffer.first(n);
    const std::size_t decoded = DecodeBytes(block);
    if (decoded != n) {
      return DecodeFailure{.kind = Kind::kUndecodableByte,
                           .offset = offset + decoded,
                           .byte = block[decoded],
                           .outputCreated = true};
    }
    if (auto written = output.Write(bytes.first(n)); !written.ok()) {
      return DecodeFailure{
          .kind = Kind::kWriteOutput, .error = written.error(), .outputCreated = true};
    }
    offset += n;
  }
  if (auto closed = output.Close(); !closed.ok()) {
    return DecodeFailure{
        .kind = Kind::kWriteOutput, .error = closed.error(), .outputCreated = true};
  }
  return {};
}

}  // namespace jov
