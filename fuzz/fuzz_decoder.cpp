// Properties of DecodeBytes on any bytes: every byte before the first
// stored 0x00 or 0x01 comes out 2 less, that byte's offset is returned, and
// it and everything after it stay as stored.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "loader/decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> stored(data, data + size);
  std::size_t bad = 0;
  while (bad < size && stored[bad] >= 2) ++bad;
  std::vector<std::uint8_t> expected = stored, decoded = stored;
  for (std::size_t i = 0; i < bad; ++i) expected[i] = static_cast<std::uint8_t>(stored[i] - 2);
  if (jov::DecodeBytes(decoded) != bad || decoded != expected) std::abort();
  return 0;
}
