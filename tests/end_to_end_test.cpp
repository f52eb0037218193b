// The real program, with the stand-in converter beside it, in a temporary
// folder: what the converter receives and what the user is told, for good
// runs, faults and hostile input. Whatever goes wrong, the inputs are
// byte-identical afterwards, no intermediate file stays behind, the user is
// told about exactly the inputs that failed, and the batch goes on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "tests/support/test_support.h"

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#endif

namespace jov::test {
namespace {

constexpr char kComplete[] = "JOV Loading Complete";
constexpr char kFailed[] = "An error occurred. Failed to load ";

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

std::string Utf8(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return {s.begin(), s.end()};
}

// The stand-in converter's record: one line per run, "-DbFile NAME
// -CreatorID ID HEX" tab-separated. Kept as whole lines, since a hostile
// name may itself hold a tab.
std::vector<std::string> ReadRecord(const std::filesystem::path& record) {
  std::vector<std::string> lines;
  if (!std::filesystem::exists(record)) return lines;
  std::istringstream in(ReadFile(record));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

std::string RecordLine(const std::string& intermediate, const std::string& plain) {
  return "-DbFile\t" + intermediate + "\t-CreatorID\tWmtk\t" + Hex(plain);
}

class EndToEnd : public ::testing::Test {
 protected:
  EndToEnd() : folder_(root_.path() / Utf8Path("work")) {}

  void SetUp() override {
    std::filesystem::create_directory(folder_);
    InstallConverter(folder_);
  }

  // Stored bytes are the encoding of `plain`.
  void AddInput(const std::string& utf8Name, const std::string& plain) {
    WriteFile(folder_ / Utf8Path(utf8Name), Encode(plain));
    inputs_[utf8Name] = Encode(plain);
  }

  ProgramRun Run() {
    auto environment = environment_;
    environment.emplace_back("JOV_FAKE_RECORD", Utf8(record_));
    ProgramRun run = RunLoaderProgram(folder_, environment);
    record = ReadRecord(record_);
    return run;
  }

  // What every run must leave behind: the inputs as they were, no
  // intermediate file.
  void ExpectFolderClean() {
    for (const auto& [name, stored] : inputs_) {
      if (!std::filesystem::exists(folder_ / Utf8Path(name))) continue;  // removed on purpose
      EXPECT_EQ(ReadFile(folder_ / Utf8Path(name)), stored) << name << " was changed";
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      EXPECT_FALSE(Utf8(entry.path().filename()).ends_with("_flex.cdi"))
          << "left behind: " << Utf8(entry.path());
    }
  }

  TempFolder root_;  // the record lives beside the work folder, not in it
  std::filesystem::path folder_;
  std::filesystem::path record_ = root_.path() / "record.txt";
  std::map<std::string, std::string> inputs_;
  std::vector<std::pair<std::string, std::string>> environment_;
  std::vector<std::string> record;
};

// Every plain byte value survives the trip, an empty input still reaches the
// converter, inputs sharing an intermediate name each get theirs, and an
// undecodable input never reaches it.
TEST_F(EndToEnd, ConverterReceivesTheDecodedFileUnderItsIntermediateName) {
  std::string everyByte;
  for (int b = 0; b <= 253; ++b) everyByte += static_cast<char>(b);
  AddInput("Unit 3 Review.jov", everyByte);
  AddInput("lesson1.JOV", "");
  AddInput("same name.jov", "with a space");
  AddInput("same_name.jov", "with an underscore");
  const std::string broken("ok\x01rest", 7);
  WriteFile(folder_ / "broken.jov", broken);
  inputs_["broken.jov"] = broken;
  // Not inputs: a name that matches "*.jov" only through its 8.3 short name
  // on Windows, and a folder.
  WriteFile(folder_ / "notes.jovx", Encode("notes"));
  std::filesystem::create_directory(folder_ / "folder.jov");
  const ProgramRun run = Run();
  EXPECT_EQ(run.messages,
            (std::vector<std::string>{
                std::string(kFailed) + "broken.jov\nByte 0x01 at offset 2 cannot be decoded.",
                kComplete}));
  EXPECT_EQ(run.exitCode, 1);
  std::vector<std::string> lines = record;
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines,
            (std::vector<std::string>{RecordLine("Unit_3_Review_flex.cdi", everyByte),
                                      RecordLine("lesson1_flex.cdi", ""),
                                      RecordLine("same_name_flex.cdi", "with a space"),
                                      RecordLine("same_name_flex.cdi", "with an underscore")}));
  ExpectFolderClean();
}

// The failure message for `name` whose cause line starts with `cause`; the
// rest of the line is the system's own wording.
::testing::AssertionResult FailedBecause(const std::string& message, const std::string& name,
                                         const std::string& cause) {
  if (message.starts_with(std::string(kFailed) + name + "\n" + cause)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "message: " << message;
}

// What the user is told about one input: nothing (it loaded), or the
// failure message with the given cause line ("" for none).
using Outcome = std::optional<std::string>;
constexpr std::nullopt_t kLoads = std::nullopt;
using Settings = std::vector<std::pair<std::string, std::string>>;

struct ConverterCase {
  const char* what;
  Settings settings;  // for the stand-in converter
  bool posixOnly;
  // A POSIX process hands back only the low 8 bits of its exit code: 40000
  // arrives as 64, 65535 and 32767 as 255, which reads as -1.
  Outcome onWindows;
  Outcome onPosix;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ConverterCase& c, std::ostream* os) { *os << c.what; }

class ConverterBehaviour : public EndToEnd, public ::testing::WithParamInterface<ConverterCase> {};

TEST_P(ConverterBehaviour, ReportsOnlyThatInputAndGoesOn) {
  const ConverterCase& c = GetParam();
  if (c.posixOnly && kWindows) GTEST_SKIP() << "Windows has no signals";
  AddInput("a.jov", "first");
  AddInput("b.jov", "second");
  AddInput("c.jov", "third");
  environment_ = c.settings;
  environment_.emplace_back("JOV_FAKE_ONLY", "b_flex.cdi");
  const ProgramRun run = Run();

  const Outcome& outcome = kWindows ? c.onWindows : c.onPosix;
  std::vector<std::string> expected;
  if (outcome) expected.push_back(std::string(kFailed) + "b.jov" + *outcome);
  expected.emplace_back(kComplete);
  EXPECT_EQ(run.messages, expected);
  EXPECT_EQ(run.exitCode, outcome ? 1 : 0);
  EXPECT_EQ(record.size(), 3u);
  ExpectFolderClean();
}

const std::string kInvalid = "\nThe converter ended with status ";

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, ConverterBehaviour,
    ::testing::Values(
        ConverterCase{"Exit40000",
                      {{"JOV_FAKE_EXIT", "40000"}},
                      false,
                      kInvalid + "40000, which is not a valid result.",
                      kLoads},
        ConverterCase{"Exit65535",
                      {{"JOV_FAKE_EXIT", "65535"}},
                      false,
                      kInvalid + "65535, which is not a valid result.",
                      ""},
        ConverterCase{"ExitMinus1", {{"JOV_FAKE_EXIT", "-1"}}, false, "", ""},
        ConverterCase{"Exit32767", {{"JOV_FAKE_EXIT", "32767"}}, false, kLoads, ""},
        ConverterCase{"Killed", {{"JOV_FAKE_SIGNAL", "9"}}, true, kLoads, ""},
        // A real access violation would summon wine's debugger; the status a
        // crash ends with is what the loader sees either way. The sanitizers
        // would turn a raised SIGSEGV into an orderly exit.
        ConverterCase{"Crashes",
                      kWindows
                          ? Settings{{"JOV_FAKE_EXIT", "0xC0000005"}}
                          : Settings{{"JOV_FAKE_SIGNAL", "11"}, {"ASAN_OPTIONS", "handle_segv=0"}},
                      false, kInvalid + "0xC0000005.", ""},
        ConverterCase{
            "DeletesTheIntermediateFile", {{"JOV_FAKE_DELETE", "1"}}, false, kLoads, kLoads},
        // More than any pipe holds: a loader that waited before draining
        // would stall.
        ConverterCase{"WritesHugeOutput",
                      {{"JOV_FAKE_STDOUT_BYTES", std::to_string(32 << 20)}},
                      false,
                      kLoads,
                      kLoads}),
    [](const auto& param) { return std::string(param.param.what); });

struct BrokenConverter {
  const char* what;
  std::string content;  // "" for a copy of the real stand-in
  bool executable;
  bool present = true;
};
void PrintTo(const BrokenConverter& c, std::ostream* os) { *os << c.what; }

class ConverterCannotStart : public EndToEnd,
                             public ::testing::WithParamInterface<BrokenConverter> {};

// A converter that is really a script proves that no shell ever reads the
// command line.
TEST_P(ConverterCannotStart, EveryInputFailsAndNoShellRuns) {
  const BrokenConverter& c = GetParam();
  if (kWindows && c.present && c.content.empty()) {
    GTEST_SKIP() << "Windows has no execute permission bit";
  }
  const auto converter = folder_ / "CASLcdi2ppc.exe";
  if (!c.present) std::filesystem::remove(converter);
  if (!c.content.empty()) WriteFile(converter, c.content);
#ifndef _WIN32
  if (c.present)
    std::filesystem::permissions(converter, std::filesystem::perms(c.executable ? 0755 : 0644));
#endif
  AddInput("a.jov", "first");
  AddInput("b.jov", "second");
  const ProgramRun run = Run();
  const std::vector<std::string> expected{std::string(kFailed) + "a.jov",
                                          std::string(kFailed) + "b.jov", kComplete};
  EXPECT_EQ(run.messages, expected);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "shell-ran"));
  ExpectFolderClean();
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, ConverterCannotStart,
                         ::testing::Values(BrokenConverter{"Missing", "", false, false},
                                           BrokenConverter{"NotExecutable", "", false},
                                           BrokenConverter{"Script", "touch shell-ran\r\n", true}),
                         [](const auto& param) { return std::string(param.param.what); });

TEST_F(EndToEnd, InputThatDisappearsAfterListingIsReported) {
  AddInput("a.jov", "first");
  AddInput("b.jov", "second");
  AddInput("c.jov", "third");
  environment_ = {{"JOV_FAKE_REMOVE", "b.jov"}};
  const ProgramRun run = Run();
  ASSERT_FALSE(run.messages.empty());
  EXPECT_EQ(run.messages.back(), kComplete);
  // The Windows listing is read as the batch goes, so it may never yield the
  // removed name at all; that is as good.
  if (!kWindows || run.messages.size() > 1) {
    ASSERT_EQ(run.messages.size(), 2u);
    EXPECT_TRUE(FailedBecause(run.messages[0], "b.jov", "Could not read b.jov: "));
  }
  EXPECT_EQ(run.exitCode, run.messages.size() > 1 ? 1 : 0);
  ExpectFolderClean();
}

// Shell metacharacters, stems around the 21-character cut, and names beyond
// ASCII, all in one folder. Each must reach the converter under exactly its
// intermediate name, and nothing may ever be run through a shell.
TEST_F(EndToEnd, OddNamesReachTheConverterIntact) {
  const struct {
    std::string input, intermediate;  // UTF-8
    bool posixOnly = false;           // characters Windows does not allow in names
  } cases[] = {
      {"semi;colon.jov", "semi;colon_flex.cdi"},
      {"amp & touch pwned.jov", "amp_&_touch_pwned_flex.cdi"},
      {"$(touch pwned).jov", "$(touch_pwned)_flex.cdi"},
      {"`touch pwned`.jov", "`touch_pwned`_flex.cdi"},
      {"it's.jov", "it's_flex.cdi"},
      {"%PATH% ^x.jov", "%PATH%_^x_flex.cdi"},
      {"say \"hi\" | touch pwned.jov", "say_\"hi\"_|_touch_pwne_flex.cdi", true},
      {"back\\slash.jov", "back\\slash_flex.cdi", true},
      // Split on every kind of white space, this name would smuggle in an
      // argument of its own.
      {"x\t-CreatorID\tEvil.jov", "x\t-CreatorID\tEvil_flex.cdi", true},
      {"abcdefghijklmnopqrstu.jov", "abcdefghijklmnopqrstu_flex.cdi"},
      {"abcdefghijklmnopqrstuv.jov", "abcdefghijklmnopqrstu_flex.cdi"},
      {"Leçon d'été à Zürich 2.jov", "Leçon_d'été_à_Zürich__flex.cdi"},
      {"第三課の復習テスト問題集と解答例題二十一二三.jov",
       "第三課の復習テスト問題集と解答例題二十一二_flex.cdi"},
      {"🎒 quiz 🎓.jov", "🎒_quiz_🎓_flex.cdi"},
  };
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    if (c.posixOnly && kWindows) continue;
    AddInput(c.input, "content of " + c.input);
    expected.push_back(RecordLine(c.intermediate, "content of " + c.input));
  }
  const ProgramRun run = Run();
  EXPECT_EQ(run.messages, std::vector<std::string>{kComplete});
  EXPECT_EQ(run.exitCode, 0);
  std::vector<std::string> lines = record;
  std::sort(lines.begin(), lines.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(lines, expected);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "pwned"));
  ExpectFolderClean();
}

// Windows has no counterpart a test can arrange for these: wine cannot start
// a program in a folder deeper than MAX_PATH, making a small volume needs
// administrator rights, wine enforces no folder access lists, and ten
// thousand process starts under wine outlast the suite.
#ifndef _WIN32

// The loader only ever uses names relative to the working folder.
TEST_F(EndToEnd, DeepWorkingFolderWorks) {
  std::filesystem::path deep = folder_;
  for (const char part : {'a', 'b', 'c'}) deep /= std::string(100, part);
  std::filesystem::create_directories(deep);
  InstallConverter(deep);
  WriteFile(deep / "deep lesson.jov", Encode("deep"));
  const ProgramRun run = RunLoaderProgram(deep, {{"JOV_FAKE_RECORD", Utf8(record_)}});
  EXPECT_EQ(run.messages, std::vector<std::string>{kComplete});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(ReadRecord(record_),
            std::vector<std::string>{RecordLine("deep_lesson_flex.cdi", "deep")});
  EXPECT_EQ(ReadFile(deep / "deep lesson.jov"), Encode("deep"));
  EXPECT_FALSE(std::filesystem::exists(deep / "deep_lesson_flex.cdi"));
}

// A tmpfs of the given size over `dir`, for as long as this object lives.
class SmallVolume {
 public:
  SmallVolume(const std::filesystem::path& dir, std::uintmax_t bytes) : dir_(dir) {
    const std::string options = "size=" + std::to_string(bytes);
    mounted_ = ::mount("tmpfs", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
  }
  ~SmallVolume() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
  }
  SmallVolume(const SmallVolume&) = delete;
  SmallVolume& operator=(const SmallVolume&) = delete;
  bool mounted() const { return mounted_; }

 private:
  std::filesystem::path dir_;
  bool mounted_ = false;
};

// Limits the size of any file this process and its children write, and has
// writes beyond it fail instead of killing the writer.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

TEST_F(EndToEnd, DiskFullWhileDecodingLosesNothing) {
  constexpr std::uintmax_t kBig = 2 << 20;
  const std::uintmax_t converterSize = std::filesystem::file_size(folder_ / "CASLcdi2ppc.exe");
  // Room for the converter, the inputs and the small intermediates, but not
  // for the big intermediate.
  const SmallVolume volume(folder_, (converterSize + 4095) / 4096 * 4096 + kBig + (128 << 10));
  std::optional<FileSizeLimit> limit;
  if (volume.mounted()) InstallConverter(folder_);
  AddInput("a.jov", "first");
  AddInput("b big.jov", std::string(kBig, 'x'));
  AddInput("c.jov", "third");
  if (!volume.mounted()) limit.emplace(64 << 10);  // no rights to mount: the next best thing

  const ProgramRun run = Run();
  limit.reset();
  ASSERT_EQ(run.messages.size(), 2u);
  EXPECT_TRUE(FailedBecause(run.messages[0], "b big.jov", "Could not write b_big_flex.cdi: "));
  EXPECT_EQ(run.messages[1], kComplete);
  EXPECT_EQ(run.exitCode, 1);
  const std::vector<std::string> expected{RecordLine("a_flex.cdi", "first"),
                                          RecordLine("c_flex.cdi", "third")};
  EXPECT_EQ(record, expected);
  ExpectFolderClean();
}

TEST_F(EndToEnd, ReadOnlyFolderReportsEveryInput) {
  AddInput("a.jov", "first");
  AddInput("b.jov", "second");
  // Root ignores permission bits, so a read-only bind mount stands in for
  // them when the test runs as root.
  bool mounted = false;
  if (::geteuid() == 0) {
    mounted = ::mount(folder_.c_str(), folder_.c_str(), nullptr, MS_BIND, nullptr) == 0;
    if (mounted && ::mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                           nullptr) != 0) {
      ::umount2(folder_.c_str(), MNT_DETACH);
      mounted = false;
    }
    if (!mounted) GTEST_SKIP() << "running as root without the right to mount";
  } else {
    std::filesystem::permissions(folder_, std::filesystem::perms(0555));
  }

  const ProgramRun run = Run();
  if (mounted) ::umount2(folder_.c_str(), MNT_DETACH);
  ASSERT_EQ(run.messages.size(), 3u);
  EXPECT_TRUE(FailedBecause(run.messages[0], "a.jov", "Could not write a_flex.cdi: "));
  EXPECT_TRUE(FailedBecause(run.messages[1], "b.jov", "Could not write b_flex.cdi: "));
  EXPECT_EQ(run.messages[2], kComplete);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(record.empty());
  ExpectFolderClean();
}

// Ten thousand tiny inputs with a converter that exits at once.
TEST_F(EndToEnd, TenThousandInputsInOneFolder) {
  std::filesystem::copy_file("/bin/true", folder_ / "CASLcdi2ppc.exe",
                             std::filesystem::copy_options::overwrite_existing);
  for (int i = 0; i < 10000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "lesson %05d.jov", i);
    AddInput(name, name);
  }
  const ProgramRun run = Run();
  EXPECT_EQ(run.messages, std::vector<std::string>{kComplete});
  EXPECT_EQ(run.exitCode, 0);
  ExpectFolderClean();
}

#endif

}  // namespace
}  // namespace jov::test
