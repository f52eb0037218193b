// Properties of DecodeBytes on any bytes: it is the exact inverse of adding
// 2 where every byte is decodable, it reports the first stored 0x00 or 0x01
// otherwise, and it never writes at or past that offset.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "loader/decoder.h"

namespace {

constexpr std::uint8_t kUntouched = 0xA5;

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> stored(data, size);

  std::vector<std::uint8_t> out(size, kUntouched);
  const std::size_t decoded = jov::DecodeBytes(stored, out);
  Require(decoded <= size);
  for (std::size_t i = 0; i < decoded; ++i) {
    Require(stored[i] >= 2);
    Require(out[i] == stored[i] - 2);
  }
  if (decoded < size) Require(stored[decoded] < 2);
  for (std::size_t i = decoded; i < size; ++i) Require(out[i] == kUntouched);

  // In place, as DecodeFile uses it, gives the same result.
  std::vector<std::uint8_t> inPlace(stored.begin(), stored.end());
  Require(jov::DecodeBytes(inPlace, inPlace) == decoded);
  for (std::size_t i = 0; i < decoded; ++i) Require(inPlace[i] == out[i]);
  for (std::size_t i = decoded; i < size; ++i) Require(inPlace[i] == stored[i]);

  // Any plain bytes (0..253), stored with 2 added, come back unchanged.
  std::vector<std::uint8_t> plain(size);
  std::vector<std::uint8_t> encoded(size);
  for (std::size_t i = 0; i < size; ++i) {
    plain[i] = static_cast<std::uint8_t>(data[i] % 254);
    encoded[i] = static_cast<std::uint8_t>(plain[i] + 2);
  }
  std::vector<std::uint8_t> roundTrip(size, kUntouched);
  Require(jov::DecodeBytes(encoded, roundTrip) == size);
  Require(roundTrip == plain);
  return 0;
}
