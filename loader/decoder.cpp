#include "loader/decoder.h"

#include <algorithm>
#include <cassert>
#include <memory>
#include <new>

namespace jov {
namespace {

constexpr std::uint8_t kShift = 2;

// Small enough to stay in L1 between the check and the subtraction, large
// enough that the loop overhead vanishes. Whole chunks have a fixed length, a
// multiple of every vector width, and the loops over them are branch-free: so
// the compiler vectorises them even at -O2, where it adds neither a scalar
// tail loop nor run-time overlap checks.
constexpr std::size_t kChunk = 4096;

// Decodes a whole chunk from `in` to a distinct `out`, unless it holds an
// undecodable byte; then it leaves `out` alone and returns false. The
// minimum is byte-wide so the reduction stays in byte lanes.
[[gnu::always_inline]] inline bool DecodeChunk(const std::uint8_t* __restrict in,
                                               std::uint8_t* __restrict out) {
  std::uint8_t lowest = 0xFF;
  for (std::size_t i = 0; i < kChunk; ++i) lowest = std::min(lowest, in[i]);
  if (lowest < kShift) return false;
  for (std::size_t i = 0; i < kChunk; ++i) out[i] = static_cast<std::uint8_t>(in[i] - kShift);
  return true;
}

// The same in place, in one pass: subtract while taking the minimum. Should
// the chunk hold an undecodable byte, adding 2 back restores every byte
// exactly, since the arithmetic wraps.
[[gnu::always_inline]] inline bool DecodeChunkInPlace(std::uint8_t* data) {
  std::uint8_t lowest = 0xFF;
  for (std::size_t i = 0; i < kChunk; ++i) {
    lowest = std::min(lowest, data[i]);
    data[i] = static_cast<std::uint8_t>(data[i] - kShift);
  }
  if (lowest >= kShift) return true;
  for (std::size_t i = 0; i < kChunk; ++i) data[i] = static_cast<std::uint8_t>(data[i] + kShift);
  return false;
}

// Byte by byte: the last, partial chunk, and a chunk holding an undecodable
// byte, which this stops at.
[[gnu::always_inline]] inline std::size_t DecodeRest(const std::uint8_t* in, std::uint8_t* out,
                                                     std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (in[i] < kShift) return i;
    out[i] = static_cast<std::uint8_t>(in[i] - kShift);
  }
  return n;
}

// The whole loop, inlined into each of the variants below so that each is
// compiled for its own instruction set.
[[gnu::always_inline]] inline std::size_t DecodeChunks(const std::uint8_t* in, std::uint8_t* out,
                                                       std::size_t size) {
  std::size_t done = 0;
  for (; size - done >= kChunk; done += kChunk) {
    const bool whole =
        in == out ? DecodeChunkInPlace(out + done) : DecodeChunk(in + done, out + done);
    if (!whole) break;
  }
  return done + DecodeRest(in + done, out + done, size - done);
}

std::size_t DecodeBaseline(const std::uint8_t* in, std::uint8_t* out, std::size_t size) {
  return DecodeChunks(in, out, size);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The portable build may only assume SSE2, which leaves decoding at about an
// eighth of a block copy's time; with AVX2, present on nearly every x86-64
// machine in use, it drops under a twentieth. Chosen once, at run time.
[[gnu::target("avx2")]] std::size_t DecodeAvx2(const std::uint8_t* in, std::uint8_t* out,
                                               std::size_t size) {
  return DecodeChunks(in, out, size);
}

using DecodeFunction = std::size_t (*)(const std::uint8_t*, std::uint8_t*, std::size_t);

DecodeFunction ChooseDecode() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? DecodeAvx2 : DecodeBaseline;
}
#else
using DecodeFunction = std::size_t (*)(const std::uint8_t*, std::uint8_t*, std::size_t);

DecodeFunction ChooseDecode() { return DecodeBaseline; }
#endif

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

}  // namespace

std::size_t DecodeBytes(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  assert(out.size() >= in.size());
  // Chosen on first use rather than at start-up, so that a caller running
  // before this file's static initialisation still finds it set.
  static const DecodeFunction decode = ChooseDecode();
  return decode(in.data(), out.data(), in.size());
}

std::optional<DecodeFailure> DecodeFile(FileSystem& files, const NativeString& inputName,
                                        const NativeString& intermediateName) {
  using Kind = DecodeFailure::Kind;

  auto input = files.OpenForReading(inputName);
  if (!input.ok()) return DecodeFailure{Kind::kOpenInput, input.error()};
  auto output = files.CreateForWriting(intermediateName);
  if (!output.ok()) return DecodeFailure{Kind::kCreateOutput, output.error()};

  const auto storage = AllocateBlock();
  const std::span<std::uint8_t> buffer(storage.get(), kDecodeBlockSize);
  const auto bytes = std::as_writable_bytes(buffer);
  std::uint64_t offset = 0;
  for (;;) {
    auto got = input.value()->Read(bytes);
    if (!got.ok()) {
      return DecodeFailure{Kind::kReadInput, got.error(), offset, 0, true};
    }
    const std::size_t n = got.value();
    if (n == 0) break;

    const auto block = buffer.first(n);
    const std::size_t decoded = DecodeBytes(block, block);
    if (decoded != n) {
      return DecodeFailure{Kind::kUndecodableByte, {}, offset + decoded, block[decoded], true};
    }
    if (Status s = output.value()->Write(bytes.first(n))) {
      return DecodeFailure{Kind::kWriteOutput, *s, offset, 0, true};
    }
    offset += n;
  }
  if (Status s = output.value()->Close()) {
    return DecodeFailure{Kind::kWriteOutput, *s, offset, 0, true};
  }
  return std::nullopt;
}

}  // namespace jov
