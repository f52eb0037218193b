#include "loader/decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace jov {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using test::ReadFile;
using test::WriteFile;

constexpr std::size_t kChunk = 4096;  // DecodeBytes checks this many bytes at once
constexpr std::size_t kBlock = kDecodeBlockSize;

// Stored bytes cycling through every decodable value, with undecodable ones
// planted at `bad`.
Bytes Stored(std::size_t size, const std::vector<std::size_t>& bad = {}, std::uint8_t badByte = 0) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(2 + i % 254);
  for (std::size_t at : bad) bytes[at] = badByte;
  return bytes;
}

std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string Plain(const Bytes& stored) {
  std::string plain;
  for (std::uint8_t b : stored) plain += static_cast<char>(b - 2);
  return plain;
}

// Valid stretches cycle through every decodable byte, 0x02 to 0xFF.
TEST(DecodeBytes, SubtractsTwoUpToTheFirstUndecodableByteAndLeavesTheRestUntouched) {
  constexpr std::uint8_t kUntouched = 0xEE;
  const struct {
    std::size_t size;
    std::vector<std::size_t> bad;
    std::uint8_t badByte;
  } cases[] = {
      {0, {}, 0x00},
      {1, {0}, 0x00},
      {3, {2}, 0x01},
      {kChunk, {kChunk - 1}, 0x00},
      {kChunk + 1, {kChunk}, 0x01},
      {3 * kChunk, {2 * kChunk + 5, kChunk + 7}, 0x01},
      {3 * kChunk, {3 * kChunk - 1, 10}, 0x00},
      {3 * kChunk + 17, {}, 0x00},
  };
  for (const auto& c : cases) {
    const Bytes in = Stored(c.size, c.bad, c.badByte);
    const std::size_t stop = c.bad.empty() ? c.size : *std::min_element(c.bad.begin(), c.bad.end());
    SCOPED_TRACE(testing::Message() << "size " << c.size << ", first undecodable " << stop);
    Bytes expected(c.size, kUntouched);
    for (std::size_t i = 0; i < stop; ++i) expected[i] = static_cast<std::uint8_t>(in[i] - 2);

    Bytes out(c.size, kUntouched);
    EXPECT_EQ(DecodeBytes(in, out), stop);
    EXPECT_EQ(out, expected);

    // In place, "untouched" means still the stored bytes.
    Bytes inPlace = in;
    std::copy(in.begin() + static_cast<std::ptrdiff_t>(stop), in.end(),
              expected.begin() + static_cast<std::ptrdiff_t>(stop));
    EXPECT_EQ(DecodeBytes(inPlace, inPlace), stop);
    EXPECT_EQ(inPlace, expected);
  }
}

class DecodeFileTest : public testing::Test {
 protected:
  test::TempFolder folder_;
  test::ScopedWorkingDirectory cwd_{folder_.path()};
  std::unique_ptr<FileSystem> files_ = MakeSystemFileSystem();
  const NativeString input_ = FromAscii("in.jov");
  const NativeString output_ = FromAscii("in_flex.cdi");
};

TEST_F(DecodeFileTest, DecodesWholeFilesIntoAFreshIntermediateFile) {
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, kBlock - 1, kBlock, kBlock + 1}) {
    SCOPED_TRACE(size);
    const Bytes stored = Stored(size);
    WriteFile(folder_ / input_, AsString(stored));
    WriteFile(folder_ / output_, std::string(3 * kChunk, 'z'));  // replaced, not appended to
    EXPECT_FALSE(DecodeFile(*files_, input_, output_).has_value());
    ASSERT_TRUE(fs::exists(folder_ / output_));
    EXPECT_TRUE(ReadFile(folder_ / output_) == Plain(stored));
    EXPECT_TRUE(ReadFile(folder_ / input_) == AsString(stored));
  }
}

TEST_F(DecodeFileTest, ReportsFailuresAndWhetherTheIntermediateFileExists) {
  using Kind = DecodeFailure::Kind;
  const Bytes goodInput = Stored(100);
  const Bytes badInSecondBlock = Stored(kBlock + 100, {kBlock + 7}, 0x01);
  const struct {
    const char* label;
    std::function<void()> arrange;
    std::vector<Kind> kinds;  // what the platform may report
  } cases[] = {
      {"input is a folder",
       [&] { fs::create_directory(folder_ / input_); },
       {Kind::kOpenInput, Kind::kReadInput}},
      {"intermediate is a folder",
       [&] {
         WriteFile(folder_ / input_, AsString(goodInput));
         fs::create_directory(folder_ / output_);
       },
       {Kind::kCreateOutput}},
      {"undecodable byte in the second block",
       [&] { WriteFile(folder_ / input_, AsString(badInSecondBlock)); },
       {Kind::kUndecodableByte}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    c.arrange();
    const std::string inputBefore =
        fs::is_regular_file(folder_ / input_) ? ReadFile(folder_ / input_) : "";

    const auto failure = DecodeFile(*files_, input_, output_);
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(std::find(c.kinds.begin(), c.kinds.end(), failure->kind), c.kinds.end());
    // The caller removes the intermediate file only when told it was created.
    EXPECT_EQ(failure->outputCreated, fs::is_regular_file(folder_ / output_));
    if (failure->kind == Kind::kUndecodableByte) {
      EXPECT_EQ(failure->offset, kBlock + 7);
      EXPECT_EQ(failure->byte, 0x01);
    } else {
      EXPECT_FALSE(failure->error.text.empty());
    }
    if (fs::is_regular_file(folder_ / input_)) {
      EXPECT_TRUE(ReadFile(folder_ / input_) == inputBefore);
    }
    fs::remove_all(folder_ / input_);
    fs::remove_all(folder_ / output_);
  }
}

}  // namespace
}  // namespace jov
