// Properties of DecodeBytes on any bytes, into another buffer and in place:
// every byte before the first stored 0x00 or 0x01 comes out 2 less, that
// byte's offset is returned, and nothing at or past it is written.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "loader/decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> stored(data, data + size);
  std::size_t bad = 0;
  while (bad < size && stored[bad] >= 2) ++bad;
  std::vector<std::uint8_t> expected(size, 0xA5), expectedInPlace = stored;
  for (std::size_t i = 0; i < bad; ++i) {
    expected[i] = expectedInPlace[i] = static_cast<std::uint8_t>(stored[i] - 2);
  }
  std::vector<std::uint8_t> out(size, 0xA5), inPlace = stored;
  if (jov::DecodeBytes(stored, out) != bad || out != expected ||
      jov::DecodeBytes(inPlace, inPlace) != bad || inPlace != expectedInPlace) {
    std::abort();
  }
  return 0;
}
