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
      {"Grade 5 Science Unit Two.jov", "Grade_5_Science_Unit__flex.cdi"},
      {".jov", "_flex.cdi"},
      {"lesson1.JOV", "lesson1_flex.cdi"},
      // Stems of 20, 21 and 22 characters around the cut.
      {"abcdefghijklmnopqrst.jov", "abcdefghijklmnopqrst_flex.cdi"},
      {"abcdefghijklmnopqrstu.jov", "abcdefghijklmnopqrstu_flex.cdi"},
      {"abcdefghijklmnopqrstuv.jov", "abcdefghijklmnopqrstu_flex.cdi"},
      {"abcdefghijklmnopqrst .jov", "abcdefghijklmnopqrst__flex.cdi"},
      // Only the last four characters go; earlier dots stay.
      {"a.b.c.jov", "a.b.c_flex.cdi"},
      {"x..jov", "x._flex.cdi"},
      {"Unit.3.Review.Chapter.Four.jov", "Unit.3.Review.Chapter_flex.cdi"},
      {"  lead and trail  .jov", "__lead_and_trail___flex.cdi"},
      // Shorter than the four characters to drop: an empty stem.
      {"", "_flex.cdi"},
      {"a", "_flex.cdi"},
      {"abc", "_flex.cdi"},
      {"abcd", "_flex.cdi"},
      {e + e + e, "_flex.cdi"},
      // The cut counts characters, never bytes or UTF-16 units.
      {e + ".jov", e + "_flex.cdi"},
      {Repeat(e, 21) + ".jov", Repeat(e, 21) + "_flex.cdi"},
      {Repeat(e, 22) + ".jov", Repeat(e, 21) + "_flex.cdi"},
      {Repeat(face, 22) + ".jov", Repeat(face, 21) + "_flex.cdi"},
      {"a" + Repeat(face, 25) + ".jov", "a" + Repeat(face, 20) + "_flex.cdi"},
      {Repeat("x", 20) + e + "y.jov", Repeat("x", 20) + e + "_flex.cdi"},
      // Only the plain space is replaced.
      {"a" + nbsp + "b\tc.jov", "a" + nbsp + "b\tc_flex.cdi"},
      {"a" + ideographicSpace + "b.jov", "a" + ideographicSpace + "b_flex.cdi"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    const NativeString name = MakeIntermediateName(N(c.input));
    EXPECT_EQ(name, N(c.expected));
    EXPECT_LE(CountCharacters(name), 30u);
    EXPECT_EQ(name.find(NativeChar{' '}), NativeString::npos);
  }
}

TEST(MakeIntermediateName, CollidingInputsShareOneName) {
  const struct {
    const char *first, *second;
  } cases[] = {
      {"Grade 5 Science Unit Two.jov", "Grade 5 Science Unit Three.jov"},
      {"my file.jov", "my_file.jov"},
      {"report.jov", "report.JOV"},
      {"abcdefghijklmnopqrstu.jov", "abcdefghijklmnopqrstuvwxyz.jov"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MakeIntermediateName(N(c.first)), MakeIntermediateName(N(c.second))) << c.first;
  }
}

TEST(SpacesToUnderscores, ReplacesInPlaceAndReturnsTheResult) {
  const struct {
    const char *input, *expected;
  } cases[] = {
      {"", ""},
      {" ", "_"},
      {"a b  c ", "a_b__c_"},
      {"no_space.jov", "no_space.jov"},
  };
  for (const auto& c : cases) {
    NativeString name = N(c.input);
    EXPECT_EQ(SpacesToUnderscores(name), N(c.expected)) << c.input;
    EXPECT_EQ(name, N(c.expected)) << c.input;
  }
}

TEST(MakeCommandLine, JoinsHeadNameAndTail) {
  EXPECT_EQ(MakeCommandLine(N("Unit_3_Review_flex.cdi")),
            N(".\\CASLcdi2ppc.exe -DbFile Unit_3_Review_flex.cdi -CreatorID Wmtk"));
  EXPECT_EQ(MakeCommandLine(N("_flex.cdi")),
            N(".\\CASLcdi2ppc.exe -DbFile _flex.cdi -CreatorID Wmtk"));
}

TEST(ConversionSucceeded, OnlyZeroTo32767Succeeds) {
  const struct {
    std::int64_t status;
    bool succeeded;
  } cases[] = {
      {0, true},           {1, true},           {32767, true},       {-1, false},
      {-32768, false},     {32768, false},      {40000, false},      {65535, false},
      {65536, false},      {-65536, false},     {0x7FFFFFFF, false}, {-0x7FFFFFFF - 1, false},
      {0xC0000005, false}, {0xFFFFFFFF, false},
  };
  for (const auto& c : cases) {
    // Larger values are written as the 32-bit codes Windows reports.
    const auto status = static_cast<std::int32_t>(static_cast<std::uint32_t>(c.status));
    EXPECT_EQ(ConversionSucceeded(status), c.succeeded) << c.status;
  }
}

}  // namespace
}  // namespace jov
