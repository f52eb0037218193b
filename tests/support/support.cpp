#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <random>
#include <sstream>

#include <thread>
#include "loader/converter.h"

namespace jov::test {

std::filesystem::path Utf8Path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return {s.begin(), s.end()};
}

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(Verbatim(file), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(Verbatim(file), std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  EXPECT_TRUE(out) << "cannot write " << file;
}

std::string Encode(std::string plain) {
  for (char& c : plain) c = static_cast<char>(static_cast<unsigned char>(c) + 2);
  return plain;
}

WorkFolder::WorkFolder(Environment converter)
    : previous_(std::filesystem::current_path()), converter_(std::move(converter)) {
  std::random_device random;
  do {
    root_ = std::filesystem::temp_directory_path() / ("jov-test-" + std::to_string(random()));
  } while (!std::filesystem::create_directory(root_));
  std::filesystem::create_directory(path());
  const std::string program(kConverterName);
  std::filesystem::copy_file(ProgramDir() / program, path() / program);
  std::filesystem::current_path(path());
  converter_.emplace_back("STAND_IN_RECORD", Utf8(record()));
  for (const auto& [name, value] : converter_) SetVariable(name, value);
  const auto* test = testing::UnitTest::GetInstance()->current_test_info();
  std::thread([done = done_.get_future(), name = std::string(test ? test->name() : "")] {
    if (done.wait_for(std::chrono::seconds(60)) == std::future_status::ready) return;
    std::fprintf(stderr, "\nwatchdog: %s still runs after a minute\n", name.c_str());
    std::_Exit(3);
  }).detach();
}

WorkFolder::~WorkFolder() {
  done_.set_value();
  for (const auto& [name, value] : converter_) SetVariable(name, "");
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  // Tests take write access away on purpose; give it back first.
  std::filesystem::permissions(path(), std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(Verbatim(root_), ignored);
}

}  // namespace jov::test
