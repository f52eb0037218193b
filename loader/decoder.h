// Inputs are stored with every byte increased by 2; decoding subtracts it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/result.h"
#include "base/text.h"

namespace jov {

// Size of the blocks DecodeFile moves; memory use is bounded by it, not by
// the file.
inline constexpr std::size_t kDecodeBlockSize = std::size_t{1} << 20;

// Decodes `bytes` in place. Stored bytes 0x00 and 0x01 have no plain value:
// decoding stops at the first one, leaving it and everything after it as
// stored, and its offset is returned. Returns bytes.size() when every byte
// decoded.
std::size_t DecodeBytes(std::span<std::uint8_t> bytes);

// The loops DecodeBytes may choose from on this CPU, its choice first, each
// with DecodeBytes's contract; a CPU without AVX2 (and the 32-bit build)
// runs the plain one, so every machine must be able to test it.
using DecodeFunction = std::size_t (*)(std::uint8_t* bytes, std::size_t size);
std::vector<DecodeFunction> DecodePaths();

struct DecodeFailure {
  enum class Kind {
    kOpenInput,
    kReadInput,
    kNameTaken,       // the intermediate name holds something that is not a leftover
    kNameTakenAgain,  // a leftover was removed, and the name was taken again at once
    kCreateOutput,
    kWriteOutput,
    kUndecodableByte
  };
  Kind kind;
  SystemError error = {};    // for all but the kNameTaken kinds and kUndecodableByte
  std::uint64_t offset = 0;  // kUndecodableByte: where the byte stands
  std::uint8_t byte = 0;     // kUndecodableByte: its stored value
  // Whether the intermediate file was created; the caller removes it.
  bool outputCreated = false;
};

// Decodes the input file `inputName` into a new file `intermediateName` (see
// CreateIntermediate). Never modifies the input. On failure the intermediate
// file may hold a partial result; the caller removes it.
Result<void, DecodeFailure> DecodeFile(const NativeString& inputName,
                                       const NativeString& intermediateName);

}  // namespace jov
