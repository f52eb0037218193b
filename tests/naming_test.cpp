#include "loader/naming.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "loader/loader.h"

namespace jov {
namespace {

// Names are written in UTF-8 here and turned into the platform's own
// encoding, so one table serves UTF-16 and byte names alike.
NativeString N(const std::string& utf8) { return FromUtf8(utf8); }

std::string Repeat(const std::string& unit, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += unit;
  return text;
}

TEST(MakeIntermediateName, DerivesNameFromInput) {
  const std::string e = "\xC3\xA9";             // é: two UTF-8 bytes, one UTF-16 unit
  const std::string face = "\xF0\x9F\x98\x80";  // U+1F600: four bytes, a surrogate pair
  const std::string nbsp = "\xC2\xA0";          // looks like a space, is not one
  const std::string ideographicSpace = "\xE3\x80\x80";
  const struct {
    std::string input, expected;
  } cases[] = {
      {"Unit 3 Review.jov", "Unit_3_Review_flex.cdi"},
      // The stem is cut at 21 characters; the last two collide.
      {"Grade 5 Science Unit Two.jov", "Grade_5_Science_Unit__flex.cdi"},
      {"abcdefghijklmnopqrst.jov", "abcdefghijklmnopqrst_flex.cdi"},
      {"abcdefghijklmnopqrstu.jov", "abcdefghijklmnopqrstu_flex.cdi"},
      {"abcdefghijklmnopqrstuv.jov", "abcdefghijklmnopqrstu_flex.cdi"},
      {"lesson1.JOV", "lesson1_flex.cdi"},
      // Only the last four characters go; earlier dots stay.
      {"a.b.c.jov", "a.b.c_flex.cdi"},
      // Shorter than the four characters to drop: an empty stem.
      {".jov", "_flex.cdi"},
      {"", "_flex.cdi"},
      {"abc", "_flex.cdi"},
      {e + e + e, "_flex.cdi"},
      // The cut counts characters, never bytes or UTF-16 units.
      {Repeat(e, 21) + ".jov", Repeat(e, 21) + "_flex.cdi"},
      {Repeat(e, 22) + ".jov", Repeat(e, 21) + "_flex.cdi"},
      {Repeat(face, 22) + ".jov", Repeat(face, 21) + "_flex.cdi"},
      // Only the plain space is replaced.
      {"a" + nbsp + "b\tc" + ideographicSpace + ".jov",
       "a" + nbsp + "b\tc" + ideographicSpace + "_flex.cdi"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    const NativeString name = MakeIntermediateName(N(c.input));
    EXPECT_EQ(name, N(c.expected));
    EXPECT_LE(CountCharacters(name), 30u);
    EXPECT_EQ(name.find(NativeChar{' '}), NativeString::npos);
  }
}

TEST(SpacesToUnderscores, ReplacesInPlaceAndReturnsTheResult) {
  const struct {
    const char *input, *expected;
  } cases[] = {
      {"", ""},
      {"a b  c ", "a_b__c_"},
  };
  for (const auto& c : cases) {
    NativeString name = N(c.input);
    EXPECT_EQ(SpacesToUnderscores(name), N(c.expected)) << c.input;
    EXPECT_EQ(name, N(c.expected)) << c.input;
  }
}

TEST(ConversionSucceeded, OnlyZeroTo32767Succeeds) {
  const struct {
    std::int64_t status;
    bool succeeded;
  } cases[] = {
      {0, true},      {32767, true},  {-1, false},    {-32768, false},
      {32768, false}, {65535, false}, {65536, false}, {0xC0000005, false},
  };
  for (const auto& c : cases) {
    // Larger values are written as the 32-bit codes Windows reports.
    const auto status = static_cast<std::int32_t>(static_cast<std::uint32_t>(c.status));
    EXPECT_EQ(ConversionSucceeded(status), c.succeeded) << c.status;
  }
}

}  // namespace
}  // namespace jov
