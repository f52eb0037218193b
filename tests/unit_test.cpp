// The pure parts: names, statuses and the byte decoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "loader/decoder.h"
#include "loader/loader.h"
#include "loader/naming.h"
#include "tests/support/support.h"

namespace jov::test {
namespace {

// The cut counts characters, never bytes (UTF-8) or units (UTF-16), so a
// name is never cut inside a character on either build.
TEST(MakeIntermediateName, CutsTheStemToTwentyOneCharactersThenReplacesSpaces) {
  // clang-format off
  const std::pair<const char*, const char*> rows[] = {
      {"lesson1.jov", "lesson1_flex.cdi"}, {"lesson1.JOV", "lesson1_flex.cdi"}, {".jov", "_flex.cdi"}, {"abc", "_flex.cdi"},
      {"été.jov", "été_flex.cdi"}, {"a.b.c.jov", "a.b.c_flex.cdi"}, {"Unit 3 Review.jov", "Unit_3_Review_flex.cdi"},
      {"abcdefghijklmnopqrstu.jov", "abcdefghijklmnopqrstu_flex.cdi"}, {"abcdefghijklmnopqrstuv.jov", "abcdefghijklmnopqrstu_flex.cdi"},
      // Cut first, replaced second: the 21st character is a space.
      {"Grade 5 Science Unit Two.jov", "Grade_5_Science_Unit__flex.cdi"}, {"  .jov", "___flex.cdi"},
      {"Leçon d'été à Zürich 2.jov", "Leçon_d'été_à_Zürich__flex.cdi"},
      {"第三課の復習テスト問題集と解答例題二十一二三.jov", "第三課の復習テスト問題集と解答例題二十一二_flex.cdi"},
      // Four bytes in UTF-8, a surrogate pair in UTF-16.
      {"🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒.jov", "🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒_flex.cdi"},
  };
  // clang-format on
  for (const auto& [input, expected] : rows) {
    EXPECT_EQ(Utf8(MakeIntermediateName(Utf8Path(input).native())), expected) << input;
  }
}

TEST(ConversionFailureCause, SaysWhatAStatusMeans) {
  const std::string head = "\nThe converter ended with status ";
  const std::pair<std::int32_t, std::optional<std::string>> rows[] = {
      // clang-format off
      {0, std::nullopt}, {1, std::nullopt}, {32767, std::nullopt}, {-1, ""}, {-32768, ""},
      {32768, head + "32768, which is not a valid result."}, {65535, head + "65535, which is not a valid result."},
      {65536, head + "0x00010000."}, {-32769, head + "0xFFFF7FFF."},
      {static_cast<std::int32_t>(0xC0000005), head + "0xC0000005."},
      // clang-format on
  };
  for (const auto& [status, want] : rows) {
    const auto cause = ConversionFailureCause(status);
    EXPECT_EQ(cause ? std::optional(Utf8(*cause)) : std::nullopt, want) << status;
  }
}

// Sizes around the decoder's internal chunks and around DecodeFile's block,
// with an undecodable byte nowhere, first, last, or just past a boundary;
// into another buffer and in place; by every loop this CPU can run.
TEST(DecodeBytes, SubtractsTwoAndStopsAtTheFirstUndecodableByte) {
  constexpr std::size_t kNone = SIZE_MAX;
  const std::size_t kBlock = kDecodeBlockSize;
  const std::pair<std::size_t, std::size_t> rows[] = {
      // size, where 0x00 or 0x01 is stored
      {0, kNone},          {1, kNone},   {1, 0},       {4095, kNone},  {4096, 4095},
      {4097, 4096},        {8193, 8192}, {8193, 4097}, {12288, kNone}, {kBlock + 1, kNone},
      {kBlock, kBlock - 1}};
  const auto paths = DecodePaths();
  for (std::size_t path = 0; path < paths.size(); ++path) {
    for (const auto& [size, bad] : rows) {
      SCOPED_TRACE(testing::Message()
                   << "path " << path << ": " << size << " bytes, bad at " << bad);
      // Every stored value from 2 to 255, so 0x02 -> 0x00 and 0xFF -> 0xFD.
      std::vector<std::uint8_t> stored(size), expected(size, 0xAA);
      for (std::size_t i = 0; i < size; ++i) stored[i] = static_cast<std::uint8_t>(2 + i % 254);
      if (bad != kNone) stored[bad] = static_cast<std::uint8_t>(bad % 2);
      const std::size_t end = std::min(size, bad);
      for (std::size_t i = 0; i < end; ++i) expected[i] = static_cast<std::uint8_t>(stored[i] - 2);

      std::vector<std::uint8_t> out(size, 0xAA);
      EXPECT_EQ(paths[path](stored.data(), out.data(), size), end);
      EXPECT_TRUE(out == expected) << "decoded into another buffer";
      std::copy(stored.begin() + static_cast<std::ptrdiff_t>(end), stored.end(),
                expected.begin() + static_cast<std::ptrdiff_t>(end));
      EXPECT_EQ(paths[path](stored.data(), stored.data(), size), end);
      EXPECT_TRUE(stored == expected) << "decoded in place";
    }
  }
}

}  // namespace
}  // namespace jov::test
