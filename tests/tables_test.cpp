// The pure parts, as tables: names, order, statuses, the byte decoding and
// the time left.
#include <gtest/gtest.h>

#include <algorithm>

#include "loader/converter.h"
#include "loader/decoder.h"
#include "loader/naming.h"
#include "loader/time_left.h"
#include "tests/support/support.h"

namespace jov::test {
namespace {

// The cut counts characters, never bytes (UTF-8) or units (UTF-16). Each
// row names the code page whose characters the converter receives: 0 for
// all of them, as on POSIX, where no name is a device; or 1252 and 1251 as
// far as these rows need them (Latin-1 and the Russian letters), on Windows,
// where a device name before the first dot opens that device.
TEST(MakeIntermediateName, CutsToTwentyOneCharactersThenReplaces) {
  const struct {
    unsigned codePage;
    const char* input;
    const char* name;
  } rows[] = {
      {0, "lesson1.jov", "lesson1_flex.cdi"},
      {0, "lesson1.JOV", "lesson1_flex.cdi"},
      {0, ".jov", "_flex.cdi"},
      {0, "abc", "_flex.cdi"},
      {0, "a.b.c.jov", "a.b.c_flex.cdi"},
      {0, "Unit 3 Review.jov", "Unit_3_Review_flex.cdi"},
      {0, "abcdefghijklmnopqrstu.jov", "abcdefghijklmnopqrstu_flex.cdi"},
      {0, "abcdefghijklmnopqrstuv.jov", "abcdefghijklmnopqrstu_flex.cdi"},
      // Cut first, replaced second: the 21st character is a space.
      {0, "Grade 5 Science Unit Two.jov", "Grade_5_Science_Unit__flex.cdi"},
      {0, "  .jov", "___flex.cdi"},
      {1252, "Leçon d'été à Zürich 2.jov", "Leçon_d'été_à_Zürich__flex.cdi"},
      {1251, "Leçon d'été à Zürich 2.jov", "Le_on_d'_t____Z_rich__flex.cdi"},
      {1252, "Обзор урока.jov", "____________flex.cdi"},
      {1251, "Обзор урока.jov", "Обзор_урока_flex.cdi"},
      {0, "第三課の復習テスト問題集と解答例題二十一二三.jov",
       "第三課の復習テスト問題集と解答例題二十一二_flex.cdi"},
      // Four bytes in UTF-8, a surrogate pair in UTF-16: one character.
      {0, "🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒.jov", "🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒_flex.cdi"},
      {1252, "a🎒b🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒.jov", "a_b___________________flex.cdi"},
      // The dot after a device name, in any case, becomes an underscore;
      // a device name alone, a longer word or a later part is no device.
      {1252, "NUL.x.jov", "NUL_x_flex.cdi"},
      {1251, "aux.b.c.jov", "aux_b.c_flex.cdi"},
      {1252, "CoM1.x.jov", "CoM1_x_flex.cdi"},
      {1252, "lpt9..jov", "lpt9__flex.cdi"},
      {1252, "CONOUT$.x.jov", "CONOUT$_x_flex.cdi"},
      {1252, "COM¹.x.jov", "COM¹_x_flex.cdi"},
      {1251, "COM¹.x.jov", "COM_.x_flex.cdi"},
      {1252, "PRN.jov", "PRN_flex.cdi"},
      {1252, "COM10.x.jov", "COM10.x_flex.cdi"},
      {1252, "CONX.x.jov", "CONX.x_flex.cdi"},
      {1252, "x.CON.jov", "x.CON_flex.cdi"},
      {0, "NUL.x.jov", "NUL.x_flex.cdi"},
  };
  for (const auto& row : rows) {
    const auto receives = [page = row.codePage](NativeStringView character) {
      const char32_t c = fs::path(NativeString(character)).u32string().at(0);
      return page == 0 || c < 0x80 || (page == 1252 && c >= 0xA0 && c <= 0xFF) ||
             (page == 1251 && c >= 0x410 && c <= 0x44F);
    };
    const ConverterSystem converter{.canReceive = receives, .opensDevices = row.codePage != 0};
    EXPECT_EQ(Utf8(MakeIntermediateName(Utf8Path(row.input).native(), converter)), row.name)
        << row.input << " under " << row.codePage;
  }
}

// Each name sorts before every later one: a fault in one comparison breaks
// several pairs. Digit runs compare by value, past 2^64 too; letters
// without case, so "[" to "`", which lie between "Z" and "a", sort before
// every letter; surrogate pairs by code point, after U+FF5A, as in UTF-8.
TEST(NaturalLess, OrdersNamesAsAUserReadsThem) {
  const char* const names[] = {"",
                               " ",
                               "!",
                               "0",
                               "00",
                               "01",
                               "1",
                               "1a",
                               "2",
                               "9",
                               "010",
                               "10",
                               "18446744073709551615",
                               "18446744073709551616",
                               "99999999999999999999",
                               "100000000000000000000",
                               "[",
                               "^",
                               "_",
                               "`",
                               "A",
                               "a",
                               "a.jov",
                               "a1",
                               "a2",
                               "a10",
                               "B",
                               "b",
                               "Lesson 2.jov",
                               "Lesson 10.jov",
                               "lesson 10.jov",
                               "z",
                               "{",
                               "é",
                               "ｚ",
                               "🎒"};
  for (std::size_t i = 0; i < std::size(names); ++i) {
    for (std::size_t j = 0; j < std::size(names); ++j) {
      const NativeString a = Utf8Path(names[i]).native(), b = Utf8Path(names[j]).native();
      EXPECT_EQ(NaturalLess(a, b), i < j) << '"' << names[i] << "\" before \"" << names[j] << '"';
    }
  }
}

// The line a status adds under the failure message; none (nullopt) when it
// loaded. -(128 + N) is the converter ended by signal N, on POSIX only.
TEST(JudgeStatus, SaysWhatAStatusMeans) {
  const std::string range = " is not a valid result.";
  const auto posix = [](const std::string& cause) { return kIsWindows ? "" : cause; };
  const struct {
    std::int32_t status;
    std::optional<std::string> cause;
  } rows[] = {
      {0, std::nullopt},
      {1, std::nullopt},
      {32767, std::nullopt},
      {-1, ""},
      {-32768, ""},
      {32768, "The converter ended with status 32768, which" + range},
      {65535, "The converter ended with status 65535, which" + range},
      {65536, "The converter ended with status 0x00010000."},
      {-32769, "The converter ended with status 0xFFFF7FFF."},
      {static_cast<std::int32_t>(0xC0000005), "The converter ended with status 0xC0000005."},
      {-128, ""},
      {-129, posix("The converter was ended by signal 1 (Hangup).")},
      {-139, posix("The converter was ended by signal 11 (Segmentation fault).")},
  };
  for (const auto& row : rows) {
    const ConverterOutcome outcome = JudgeStatus(row.status);
    std::optional<std::string> cause;
    if (!outcome.loaded) cause = outcome.cause ? Utf8(*outcome.cause) : "";
    EXPECT_EQ(cause, row.cause) << row.status;
  }
}

// Sizes around the decoder's chunks (4 KiB) and DecodeFile's block, with an
// undecodable byte nowhere, first, last or just past a boundary; by every
// loop this CPU can run, and this CPU gets its fastest.
TEST(DecodeBytes, SubtractsTwoAndStopsAtTheFirstUndecodableByte) {
  constexpr std::size_t kNone = SIZE_MAX;
  const std::size_t kBlock = kDecodeBlockSize;
  const struct {
    std::size_t size, bad;
  } rows[] = {{0, kNone},          {1, kNone},   {1, 0},       {4095, kNone},  {4096, 4095},
              {4097, 4096},        {8193, 8192}, {8193, 4097}, {12288, kNone}, {kBlock + 1, kNone},
              {kBlock, kBlock - 1}};
  const auto paths = DecodePaths();
#if defined(__x86_64__)
  __builtin_cpu_init();
  EXPECT_EQ(paths.size(), __builtin_cpu_supports("avx2") ? 2u : 1u) << "not the fastest loop";
#endif
  for (std::size_t path = 0; path < paths.size(); ++path) {
    for (const auto& [size, bad] : rows) {
      SCOPED_TRACE(testing::Message()
                   << "path " << path << ": " << size << " bytes, bad at " << bad);
      // Every stored value from 2 to 255, so 0x02 -> 0x00 and 0xFF -> 0xFD.
      std::vector<std::uint8_t> stored(size), expected(size);
      for (std::size_t i = 0; i < size; ++i) stored[i] = static_cast<std::uint8_t>(2 + i % 254);
      if (bad != kNone) stored[bad] = static_cast<std::uint8_t>(bad % 2);
      const std::size_t end = std::min(size, bad);
      for (std::size_t i = 0; i < size; ++i) {
        expected[i] = static_cast<std::uint8_t>(stored[i] - (i < end ? 2 : 0));
      }
      EXPECT_EQ(paths[path](stored.data(), size), end);
      EXPECT_TRUE(stored == expected);
    }
  }
}

// The time left after `done` inputs took `measured`, with `left` to finish
// and the one under way `running` so far, where the line showed `previous`
// (the time its text stood for): in the window's words and the console's.
TEST(EstimateTimeLeft, RoundsAsAFileCopyAndHoldsSteady) {
  using namespace std::chrono_literals;
  using std::chrono::milliseconds;
  const struct {
    std::size_t done;
    milliseconds measured;
    std::size_t left;
    milliseconds running;
    ShownTimeLeft previous;
    const char *text, *brief;
  } rows[] = {
      // Nothing finished, or under a second of work: no guess.
      {0, 0s, 3, 20s, {}, "", ""},
      {3, 999ms, 300, 0s, {}, "", ""},
      {1, 1s, 1, 0s, {}, "Less than a minute left", "under 1 min left"},
      // The mean of the finished ones, times those left.
      {2, 20s, 4, 0s, {}, "About 40 seconds left", "40 sec left"},
      {1, 30s, 8, 0s, {}, "About 4 minutes left", "4 min left"},
      {7, 14min, 173, 0s, {}, "About 346 minutes left", "346 min left"},
      // Tens of seconds under a minute, whole minutes above.
      {2, 9800ms, 1, 0s, {}, "Less than a minute left", "under 1 min left"},
      {1, 5s, 1, 0s, {}, "About 10 seconds left", "10 sec left"},
      {1, 54s, 1, 0s, {}, "About 50 seconds left", "50 sec left"},
      {1, 55s, 1, 0s, {}, "About 1 minute left", "1 min left"},
      {1, 89s, 1, 0s, {}, "About 1 minute left", "1 min left"},
      {1, 90s, 1, 0s, {}, "About 2 minutes left", "2 min left"},
      // Counting down through a long conversion, never below what the
      // others will take.
      {1, 40s, 2, 30s, {}, "About 50 seconds left", "50 sec left"},
      {1, 40s, 2, 5min, {}, "About 40 seconds left", "40 sec left"},
      {1, 40s, 1, 5min, {}, "Less than a minute left", "under 1 min left"},
      // At an edge between two roundings the text stays until the estimate
      // is a quarter step past it.
      {1, 46s, 1, 0s, 40s, "About 40 seconds left", "40 sec left"},
      {1, 44s, 1, 0s, 50s, "About 50 seconds left", "50 sec left"},
      {1, 48s, 1, 0s, 40s, "About 50 seconds left", "50 sec left"},
      {1, 4s, 1, 0s, 10s, "About 10 seconds left", "10 sec left"},
      {1, 100s, 1, 0s, 60s, "About 1 minute left", "1 min left"},
      {1, 106s, 1, 0s, 60s, "About 2 minutes left", "2 min left"},
      {1, 30s, 8, 0s, 60s, "About 4 minutes left", "4 min left"},
  };
  for (const auto& row : rows) {
    const ShownTimeLeft shown =
        EstimateTimeLeft(row.done, row.measured, row.left, row.running, row.previous);
    EXPECT_EQ(TimeLeftText(shown), row.text)
        << row.done << " done in " << row.measured.count() << " ms, " << row.left << " left, "
        << row.running.count() << " ms running, after " << TimeLeftText(row.previous);
    EXPECT_EQ(ShortTimeLeftText(shown), row.brief) << row.text;
  }
}

}  // namespace
}  // namespace jov::test
