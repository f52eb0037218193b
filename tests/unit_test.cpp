// The pure parts: names, statuses and the byte decoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>
#include <vector>

#include "loader/converter.h"
#include "loader/decoder.h"
#include "loader/naming.h"
#include "tests/support/support.h"

#ifndef _WIN32
#include <clocale>

#include "base/posix_console.h"
#include "loader/console_progress.h"
#endif

namespace jov::test {
namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// The cut counts characters, never bytes (UTF-8) or units (UTF-16), so a
// name is never cut inside a character on either build. Each row names the
// code page whose characters the converter receives: 0 for all of them
// (POSIX, UTF-8), or 1252 and 1251 as far as these rows need them (Latin-1
// and the Russian letters beyond ASCII).
TEST(MakeIntermediateName, CutsTheStemToTwentyOneCharactersThenReplacesSpacesAndTheUnreceivable) {
  const std::tuple<unsigned, const char*, const char*> rows[] = {
      // clang-format off
      {0, "lesson1.jov", "lesson1_flex.cdi"}, {0, "lesson1.JOV", "lesson1_flex.cdi"}, {0, ".jov", "_flex.cdi"},
      {0, "abc", "_flex.cdi"}, {0, "été.jov", "été_flex.cdi"},
      {0, "a.b.c.jov", "a.b.c_flex.cdi"}, {0, "Unit 3 Review.jov", "Unit_3_Review_flex.cdi"},
      {0, "abcdefghijklmnopqrstu.jov", "abcdefghijklmnopqrstu_flex.cdi"},
      {0, "abcdefghijklmnopqrstuv.jov", "abcdefghijklmnopqrstu_flex.cdi"},
      // Cut first, replaced second: the 21st character is a space.
      {0, "Grade 5 Science Unit Two.jov", "Grade_5_Science_Unit__flex.cdi"}, {0, "  .jov", "___flex.cdi"},
      {1252, "Leçon d'été à Zürich 2.jov", "Leçon_d'été_à_Zürich__flex.cdi"},
      {1251, "Leçon d'été à Zürich 2.jov", "Le_on_d'_t____Z_rich__flex.cdi"},
      {1252, "Обзор урока.jov", "____________flex.cdi"}, {1251, "Обзор урока.jov", "Обзор_урока_flex.cdi"},
      {0, "第三課の復習テスト問題集と解答例題二十一二三.jov", "第三課の復習テスト問題集と解答例題二十一二_flex.cdi"},
      // Four bytes in UTF-8, a surrogate pair in UTF-16: one character, one
      // underscore.
      {0, "🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒.jov", "🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒_flex.cdi"},
      {1252, "a🎒b🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒🎒.jov", "a_b___________________flex.cdi"},
      // clang-format on
  };
  for (const auto& [codePage, input, expected] : rows) {
    const auto receives = [page = codePage](NativeStringView character) {
      const char32_t c = std::filesystem::path(NativeString(character)).u32string().at(0);
      return page == 0 || c < 0x80 || (page == 1252 && c >= 0xA0 && c <= 0xFF) ||
             (page == 1251 && c >= 0x410 && c <= 0x44F);
    };
    EXPECT_EQ(Utf8(MakeIntermediateName(Utf8Path(input).native(), receives)), expected)
        << input << " under " << codePage;
  }
}

// Each name before every later one; a fault in one comparison usually
// breaks several pairs. Surrogate pairs sort by code point, after U+FF5A,
// as in UTF-8.
TEST(NaturalLess, OrdersNamesAsAUserReadsThem) {
  // clang-format off
  const char* const names[] = {
      "", " ", "!", "0", "00", "01", "1", "1a", "2", "9", "010", "10", "99999999999999999999",
      "100000000000000000000", "_", "A", "a", "a.jov", "a1", "a2", "a10", "B", "b", "Lesson 2.jov",
      "Lesson 10.jov", "lesson 10.jov", "z", "{", "é", "ｚ", "🎒"};
  // clang-format on
  for (std::size_t i = 0; i < std::size(names); ++i) {
    for (std::size_t j = 0; j < std::size(names); ++j) {
      const NativeString a = Utf8Path(names[i]).native(), b = Utf8Path(names[j]).native();
      EXPECT_EQ(NaturalLess(a, b), i < j) << '"' << names[i] << "\" before \"" << names[j] << '"';
    }
  }
}

TEST(JudgeStatus, SaysWhatAStatusMeans) {
  const std::string head = "\nThe converter ended with status ";
  // -(128 + N): ended by signal N, on POSIX only.
  const auto bySignal = [](const char* cause) { return kWindows ? "" : std::string(cause); };
  const struct {
    std::int32_t status;
    std::optional<std::string> cause;
  } rows[] = {
      // clang-format off
      {0, std::nullopt}, {1, std::nullopt}, {32767, std::nullopt}, {-1, ""}, {-32768, ""},
      {32768, head + "32768, which is not a valid result."}, {65535, head + "65535, which is not a valid result."},
      {65536, head + "0x00010000."}, {-32769, head + "0xFFFF7FFF."},
      {static_cast<std::int32_t>(0xC0000005), head + "0xC0000005."},
      {-128, ""}, {-129, bySignal("\nThe converter was ended by signal 1 (Hangup).")},
      {-139, bySignal("\nThe converter was ended by signal 11 (Segmentation fault).")},
      // clang-format on
  };
  for (const auto& row : rows) {
    const ConverterOutcome outcome = JudgeStatus(row.status);
    std::optional<std::string> cause;
    if (!outcome.loaded) cause = outcome.cause ? "\n" + Utf8(*outcome.cause) : "";
    EXPECT_EQ(cause, row.cause) << row.status;
  }
}

// Sizes around the decoder's internal chunks and around DecodeFile's block,
// with an undecodable byte nowhere, first, last, or just past a boundary;
// by every loop this CPU can run.
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

      std::copy(stored.begin() + static_cast<std::ptrdiff_t>(end), stored.end(),
                expected.begin() + static_cast<std::ptrdiff_t>(end));
      EXPECT_EQ(paths[path](stored.data(), size), end);
      EXPECT_TRUE(stored == expected);
    }
  }
}

#ifndef _WIN32
// What reaches a terminal, decided by the locale as `ls` decides it: in
// UTF-8 a letter passes and C1 (U+0085, U+009B CSI) is a control; in the C
// locale every byte beyond ASCII is escaped. Bytes that do not decode
// (stray, cut short, overlong, a surrogate) are escaped one by one.
TEST(Printable, EscapesWhatTheLocaleCannotPrint) {
  const std::tuple<const char*, std::string, std::string> rows[] = {
      // clang-format off
      {"C.UTF-8", "Unit 3 Review.jov", "Unit 3 Review.jov"}, {"C.UTF-8", "\x1b[2J\a.jov", "\\033[2J\\007.jov"},
      {"C.UTF-8", "a\tb\nc\rd\x7F", "a\\tb\\nc\\rd\\177"}, {"C.UTF-8", "A3\u009B2JB3", "A3\\302\\2332JB3"},
      {"C.UTF-8", "\u0085\u0080\u009F\u00A0", "\\302\\205\\302\\200\\302\\237\u00A0"},
      {"C.UTF-8", "Café 第三課 e\u0301 🎒", "Café 第三課 e\u0301 🎒"}, {"C.UTF-8", std::string("\0x", 2), "\\000x"},
      {"C.UTF-8", "\xB0 \xE7\xAC. \xC0\xAF \xED\xA0\x80", "\\260 \\347\\254. \\300\\257 \\355\\240\\200"},
      {"C", "Café\u009B", "Caf\\303\\251\\302\\233"}, {"C", "\x1b\x9b", "\\033\\233"},
      // clang-format on
  };
  for (const auto& [locale, name, shown] : rows) {
    ASSERT_NE(std::setlocale(LC_CTYPE, locale), nullptr) << locale;
    EXPECT_EQ(Printable(name), shown) << locale << ": " << name;
  }
  std::setlocale(LC_CTYPE, "C.UTF-8");
}

// The console's progress line in a UTF-8 terminal of `columns`: the last
// column stays empty, a name is cut in whole characters by the columns they
// take, and where no character of it fits the line says less.
TEST(ProgressLine, NeverTakesMoreColumnsThanTheTerminalHas) {
  const std::string cjk42 = [] {
    std::string s;
    for (int i = 0; i < 6; ++i) s += "第三課の復習テ";
    return s;
  }();
  const std::string cjk35 = cjk42.substr(0, 35 * 3);
  const struct {
    std::size_t number, count;
    std::string name;
    std::size_t columns;
    std::string suffix, expected;
  } rows[] = {
      // clang-format off
      {3, 12, "Unit 3 Review.jov", 80, "", "[3/12] Unit 3 Review.jov"}, {1, 1, "abcd", 11, "", "[1/1] abcd"},
      {1, 1, "A rather long lesson name.jov", 20, "", "[1/1] A rather l..."}, {1, 1, "abcdef.jov", 11, "", "[1/1] a..."},
      {1, 1, "abcd", 10, "", "[1/1]"}, {1, 1, "abcd", 6, "", "[1/1]"}, {1, 1, "abcd", 5, "", ""}, {1, 1, "a", 1, "", ""},
      {1, 1, "a", 0, "", ""},
      // Two columns a character, none for a combining accent.
      {1, 1, cjk42 + ".jov", 80, "", "[1/1] " + cjk35 + "..."}, {1, 1, cjk42 + ".jov", 81, "", "[1/1] " + cjk35 + "..."},
      {1, 1, "第三課.jov", 14, "", "[1/1] 第三..."}, {1, 1, "第三課.jov", 13, "", "[1/1] 第..."}, {1, 1, "第三課.jov", 11, "", "[1/1]"},
      {1, 1, "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301", 15, "", "[1/1] e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301"},
      {1, 1, "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301", 14, "", "[1/1] e\u0301e\u0301e\u0301e\u0301..."},
      // Escapes are what the terminal shows, and are measured so.
      {1, 1, "A3\u009B2JB3.jov", 80, "", "[1/1] A3\\302\\2332JB3.jov"}, {1, 1, "\x1b[2J.jov", 13, "", "[1/1] \\03..."},
      // A suffix goes before the name does.
      {2, 5, "Unit 3 Review.jov", 80, " (1 min left)", "[2/5] Unit 3 Review.jov (1 min left)"},
      {2, 5, "Unit 3 Review.jov", 30, " (1 min left)", "[2/5] Unit 3 ... (1 min left)"},
      {2, 5, "Unit 3 Review.jov", 22, " (1 min left)", "[2/5] Unit 3 Revie..."},
      // clang-format on
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ProgressLine(row.number, row.count, row.name, row.columns, row.suffix), row.expected)
        << testing::PrintToString(row.name) << " in " << row.columns << " columns";
  }
  for (const std::string& name : {cjk42, std::string("e\u0301 a \x1b 第 \xB0 🎒 x")}) {
    for (std::size_t columns = 0; columns < 100; ++columns) {
      const std::string line = ProgressLine(100, 200, name, columns, " (1 min left)");
      EXPECT_LT(DisplayWidth(line), std::max<std::size_t>(columns, 1)) << line;
    }
  }
}
#endif

}  // namespace
}  // namespace jov::test
