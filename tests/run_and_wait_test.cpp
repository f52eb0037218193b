#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "loader/loader.h"
#include "loader/process.h"
#include "tests/support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace jov {
namespace {

using Variables = std::vector<std::pair<std::string, std::string>>;

// Sets the stand-in converter's switches for the children started while it
// lives; they inherit this process's environment.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(const Variables& variables) {
    for (const auto& [name, value] : variables) {
      Set(name, value.c_str());
      names_.push_back(name);
    }
  }
  ~ScopedEnvironment() {
    for (const auto& name : names_) Set(name, nullptr);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  static void Set(const std::string& name, const char* value) {
#ifdef _WIN32
    ::SetEnvironmentVariableW(FromAscii(name).c_str(), value ? FromAscii(value).c_str() : nullptr);
#else
    value ? ::setenv(name.c_str(), value, 1) : ::unsetenv(name.c_str());
#endif
  }
  std::vector<std::string> names_;
};

class RunAndWaitTest : public testing::Test {
 protected:
  void SetUp() override {
    test::InstallConverter(folder_.path());
    test::WriteFile(folder_ / "in_flex.cdi", "hi");
  }

  test::TempFolder folder_;
  test::ScopedWorkingDirectory cwd_{folder_.path()};
  const NativeString commandLine_ = MakeCommandLine(FromAscii("in_flex.cdi"));
};

TEST_F(RunAndWaitTest, ReturnsTheChildsExitStatus) {
  const struct {
    const char* label;
    Variables environment;
    std::int32_t expected;
  } cases[] = {
      {"exit 0", {}, 0},
      {"exit 5", {{"JOV_FAKE_EXIT", "5"}}, 5},
      {"exit -1", {{"JOV_FAKE_EXIT", "-1"}}, -1},
#ifdef _WIN32
      {"exit 40000", {{"JOV_FAKE_EXIT", "40000"}}, 40000},
      {"crash code",
       {{"JOV_FAKE_EXIT", "0xC0000005"}},
       static_cast<std::int32_t>(std::uint32_t{0xC0000005})},
#else
      // Eight bits arrive, read as signed, so exit(-1) stays -1.
      {"exit 200", {{"JOV_FAKE_EXIT", "200"}}, -56},
      {"killed by signal 9", {{"JOV_FAKE_SIGNAL", "9"}}, -(128 + 9)},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const ScopedEnvironment environment(c.environment);
    EXPECT_EQ(RunAndWait(commandLine_), c.expected);
  }
}

TEST_F(RunAndWaitTest, ReturnsMinusOneWhenNothingCanBeStarted) {
  test::WriteFile(folder_ / "text.exe", "not a program");
  for (const char* line : {".\\NoSuchConverter.exe -DbFile in_flex.cdi -CreatorID Wmtk",
                           ".\\text.exe -DbFile in_flex.cdi -CreatorID Wmtk", ""}) {
    EXPECT_EQ(RunAndWait(FromAscii(line)), -1) << '"' << line << '"';
  }
}

}  // namespace
}  // namespace jov
