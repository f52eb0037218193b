#include "loader/decoder.h"

#include <algorithm>
#include <cassert>
#include <memory>

namespace jov {
namespace {

constexpr std::uint8_t kShift = 2;

// Small enough to stay in L1 between the check and the subtraction, large
// enough that the loop overhead vanishes. Both loops are branch-free so the
// compiler vectorises them.
constexpr std::size_t kChunk = 4096;

// A byte-wide minimum keeps the reduction in byte lanes (one pminub per 16
// bytes); a wider accumulator made the compiler unpack every byte to 32 bits.
bool AllDecodable(const std::uint8_t* in, std::size_t n) {
  std::uint8_t lowest = 0xFF;
  for (std::size_t i = 0; i < n; ++i) lowest = std::min(lowest, in[i]);
  return lowest >= kShift;
}

void Subtract(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(in[i] - kShift);
}

}  // namespace

std::size_t DecodeBytes(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  assert(out.size() >= in.size());
  for (std::size_t done = 0; done < in.size(); done += kChunk) {
    const std::size_t n = std::min(kChunk, in.size() - done);
    const std::uint8_t* from = in.data() + done;
    if (!AllDecodable(from, n)) {
      const auto bad = static_cast<std::size_t>(
          std::find_if(from, from + n, [](std::uint8_t b) { return b < kShift; }) - from);
      Subtract(from, out.data() + done, bad);
      return done + bad;
    }
    Subtract(from, out.data() + done, n);
  }
  return in.size();
}

std::optional<DecodeFailure> DecodeFile(FileSystem& files, const NativeString& inputName,
                                        const NativeString& intermediateName) {
  using Kind = DecodeFailure::Kind;

  auto input = files.OpenForReading(inputName);
  if (!input.ok()) return DecodeFailure{Kind::kOpenInput, input.error()};
  auto output = files.CreateForWriting(intermediateName);
  if (!output.ok()) return DecodeFailure{Kind::kCreateOutput, output.error()};

  // Not zero-filled: for the typical small input only the pages a read
  // actually fills are ever touched.
  const auto storage = std::make_unique_for_overwrite<std::uint8_t[]>(kDecodeBlockSize);
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
