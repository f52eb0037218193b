// Runs the real jovloader, with the stand-in converter beside it, in a
// temporary folder, and checks what a user and the converter see.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "tests/support/test_support.h"

namespace jov::test {
namespace {

constexpr char kComplete[] = "JOV Loading Complete";
constexpr char kFailed[] = "An error occurred. Failed to load ";

struct ConverterCall {
  std::vector<std::string> arguments;
  std::string received;  // the decoded bytes the converter read
};

std::string Unhex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

// The stand-in converter appends one line per run when JOV_FAKE_RECORD names
// a file: its four arguments and the bytes it read, tab-separated.
std::vector<ConverterCall> ReadCalls(const std::filesystem::path& record) {
  std::vector<ConverterCall> calls;
  if (!std::filesystem::exists(record)) return calls;
  std::istringstream in(ReadFile(record));
  for (std::string line; std::getline(in, line);) {
    ConverterCall call;
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '\t')) call.arguments.push_back(field);
    if (call.arguments.size() == 5) {
      call.received = Unhex(call.arguments.back());
      call.arguments.pop_back();
    }
    calls.push_back(call);
  }
  return calls;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { InstallConverter(folder_.path()); }

  void AddInput(const std::string& utf8Name, const std::string& stored) {
    WriteFile(folder_ / Utf8Path(utf8Name), stored);
    inputs_[utf8Name] = stored;
  }

  ProgramRun Run(std::vector<std::pair<std::string, std::string>> environment = {}) {
    const auto u8 = (folder_ / "calls.txt").u8string();
    environment.emplace_back("JOV_FAKE_RECORD", std::string(u8.begin(), u8.end()));
    ProgramRun run = RunLoaderProgram(folder_.path(), environment);
    calls_ = ReadCalls(folder_ / "calls.txt");
    return run;
  }

  // What every run must leave: inputs untouched, no intermediate file.
  void ExpectFolderClean() {
    for (const auto& [name, stored] : inputs_) {
      EXPECT_EQ(ReadFile(folder_ / Utf8Path(name)), stored) << name << " was changed";
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
      EXPECT_FALSE(entry.path().u8string().ends_with(u8"_flex.cdi"))
          << "left behind: " << entry.path();
    }
  }

  const std::vector<ConverterCall>& calls() const { return calls_; }

  TempFolder folder_;
  std::map<std::string, std::string> inputs_;
  std::vector<ConverterCall> calls_;
};

TEST_F(EndToEnd, EmptyFolderOnlyCompletes) {
  const ProgramRun run = Run();
  EXPECT_EQ(run.messages, std::vector<std::string>{kComplete});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(calls().empty());
}

TEST_F(EndToEnd, ConverterReceivesDecodedFileUnderItsIntermediateName) {
  AddInput("Unit 3 Review.jov", Encode("Question 1\r\nAnswer: 42\r\n"));
  AddInput("Grade 5 Science Unit Two.jov", Encode(std::string("\x00\x01 all bytes \xfd", 15)));
  AddInput("lesson1.JOV", "");
  AddInput("notes.txt", "not an input");

  const ProgramRun run = Run();
  EXPECT_EQ(run.messages, std::vector<std::string>{kComplete});
  EXPECT_EQ(run.exitCode, 0);

  std::map<std::string, std::string> received;
  for (const ConverterCall& call : calls()) {
    ASSERT_EQ(call.arguments.size(), 4u);
    EXPECT_EQ(call.arguments[0], "-DbFile");
    EXPECT_EQ(call.arguments[2], "-CreatorID");
    EXPECT_EQ(call.arguments[3], "Wmtk");
    received[call.arguments[1]] = call.received;
  }
  const std::map<std::string, std::string> expected{
      {"Unit_3_Review_flex.cdi", "Question 1\r\nAnswer: 42\r\n"},
      {"Grade_5_Science_Unit__flex.cdi", std::string("\x00\x01 all bytes \xfd", 15)},
      {"lesson1_flex.cdi", ""},
  };
  EXPECT_EQ(received, expected);
  EXPECT_EQ(calls().size(), 3u);
  ExpectFolderClean();
  // The stand-in's own output is what a user keeps.
  EXPECT_TRUE(std::filesystem::exists(folder_ / "Unit_3_Review.ppc.txt"));
}

struct FailureCase {
  const char* what;
  std::vector<std::pair<std::string, std::string>> environment;
  bool removeConverter;
  std::string expectedCause;  // the line under the failure message, if any
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.what; }

class EndToEndFailure : public EndToEnd, public ::testing::WithParamInterface<FailureCase> {};

// One input fails in the named way; the batch goes on with the next one and
// the user hears about exactly that input.
TEST_P(EndToEndFailure, ReportsTheInputAndGoesOn) {
  const FailureCase& c = GetParam();
  AddInput("a first.jov", Encode("first"));
  AddInput("b second.jov", Encode("second"));
  AddInput("c third.jov", Encode("third"));
  if (c.removeConverter) std::filesystem::remove(folder_ / "CASLcdi2ppc.exe");
  auto environment = c.environment;
  environment.emplace_back("JOV_FAKE_ONLY", "b_second_flex.cdi");

  const ProgramRun run = Run(environment);
  std::vector<std::string> expected;
  if (c.removeConverter) {
    for (const char* name : {"a first.jov", "b second.jov", "c third.jov"}) {
      expected.push_back(std::string(kFailed) + name);
    }
  } else {
    expected.push_back(std::string(kFailed) + "b second.jov" + c.expectedCause);
  }
  expected.push_back(kComplete);
  // Listing order is the platform's; only the completion message is fixed last.
  std::vector<std::string> messages = run.messages;
  std::sort(messages.begin(), messages.end() - (messages.empty() ? 0 : 1));
  EXPECT_EQ(messages, expected) << c.what;
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(calls().size(), c.removeConverter ? 0u : 3u);
  ExpectFolderClean();
}

std::vector<FailureCase> FailureCases() {
  std::vector<FailureCase> cases{
      {"ExitMinus1", {{"JOV_FAKE_EXIT", "-1"}}, false, ""},
      {"MissingConverter", {}, true, ""},
  };
#ifdef _WIN32
  // Only Windows passes whole 32-bit statuses; a crash is one of them.
  cases.push_back({"StatusBeyond16Bits",
                   {{"JOV_FAKE_EXIT", "40000"}},
                   false,
                   "\nThe converter ended with status 40000, which is not a valid result."});
  cases.push_back({"AccessViolation",
                   {{"JOV_FAKE_EXIT", "0xC0000005"}},
                   false,
                   "\nThe converter ended with status 0xC0000005."});
#else
  cases.push_back({"KilledBySignal", {{"JOV_FAKE_SIGNAL", "9"}}, false, ""});
#endif
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Converter, EndToEndFailure, ::testing::ValuesIn(FailureCases()),
                         [](const ::testing::TestParamInfo<FailureCase>& param) {
                           return std::string(param.param.what);
                         });

TEST_F(EndToEnd, UndecodableInputIsReportedAndNeverConverted) {
  AddInput("good.jov", Encode("fine"));
  AddInput("broken.jov", std::string("ok\x01rest", 7));
  const ProgramRun run = Run();
  const std::vector<std::string> expected{
      std::string(kFailed) + "broken.jov\nByte 0x01 at offset 2 cannot be decoded.", kComplete};
  EXPECT_EQ(run.messages, expected);
  EXPECT_EQ(run.exitCode, 1);
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(calls()[0].arguments[1], "good_flex.cdi");
  ExpectFolderClean();
}

TEST_F(EndToEnd, ConverterThatDeletesTheIntermediateFileIsFine) {
  AddInput("x.jov", Encode("x"));
  const ProgramRun run = Run({{"JOV_FAKE_DELETE", "1"}});
  EXPECT_EQ(run.messages, std::vector<std::string>{kComplete});
  EXPECT_EQ(run.exitCode, 0);
  ExpectFolderClean();
}

TEST_F(EndToEnd, InputsSharingAnIntermediateNameEachReachTheConverter) {
  AddInput("same name.jov", Encode("with a space"));
  AddInput("same_name.jov", Encode("with an underscore"));
  const ProgramRun run = Run();
  EXPECT_EQ(run.exitCode, 0);
  std::vector<std::string> received;
  for (const ConverterCall& call : calls()) {
    EXPECT_EQ(call.arguments[1], "same_name_flex.cdi");
    received.push_back(call.received);
  }
  std::sort(received.begin(), received.end());
  EXPECT_EQ(received, (std::vector<std::string>{"with a space", "with an underscore"}));
  ExpectFolderClean();
}

}  // namespace
}  // namespace jov::test
