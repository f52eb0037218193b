// The batch run on the real file system, with the stand-in converter in a
// temporary folder: what the user is told, the exit status, what the
// converter received and what is left on disk. Whatever goes wrong, the
// batch goes on, inputs stay as they were and no intermediate file stays
// behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "loader/loader.h"
#include "loader/process.h"
#include "tests/support/support.h"

#ifdef _WIN32
constexpr bool kWindows = true;
#else
#include <sys/fsuid.h>
#include <sys/resource.h>

#include <csignal>
constexpr bool kWindows = false;
#endif

namespace jov::test {
namespace {

namespace fs = std::filesystem;

const std::string kFailed = "An error occurred. Failed to load ";
const std::string kComplete = "JOV Loading Complete";
const std::string kNotStarted = kFailed + "a.jov\nThe converter ";

std::string Hex(const std::string& bytes) {
  std::string hex;
  for (const char c : bytes) {
    hex += "0123456789abcdef"[static_cast<unsigned char>(c) >> 4];
    hex += "0123456789abcdef"[c & 15];
  }
  return hex;
}

struct Input {
  std::string name;    // UTF-8
  std::string stored;  // the bytes on disk
};
Input Plain(std::string name, const std::string& plain) { return {std::move(name), Encode(plain)}; }

// One conversion as the stand-in converter records it.
struct Received {
  std::string intermediate;
  std::string plain;
};

enum class Where { kBoth, kPosix, kWindows };

// Undoes what an arrangement changed outside the folder.
using Undo = std::function<void()>;

struct Row {
  const char* name;
  std::vector<Input> inputs;
  Environment converter;  // the stand-in converter's switches
  // Every message, in order. One ending in '*' only has to start with the
  // rest: the system's own wording follows.
  std::vector<std::string> messages;
  int status;
  std::vector<Received> received;  // in any order
  // Names left in the folder besides the converter and its reports; the
  // inputs when empty.
  std::vector<std::string> left = {};
  Where where = Where::kBoth;
  std::function<Undo()> arrange = nullptr;
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

class Batch : public testing::TestWithParam<Row> {};

TEST_P(Batch, RunsAsTheUserExpects) {
  const Row& row = GetParam();
  if (row.where == (kWindows ? Where::kPosix : Where::kWindows)) {
    GTEST_SKIP() << "not something this platform has";
  }
  WorkFolder folder;
  for (const Input& input : row.inputs) WriteFile(Utf8Path(input.name), input.stored);
  Environment environment = row.converter;
  environment.emplace_back("JOV_FAKE_RECORD", Utf8(folder.record()));
  const ScopedEnvironment scoped(environment);

  std::vector<std::string> messages;
  int status = -1;
  {
    const Undo undo = row.arrange ? row.arrange() : Undo();
    MessageCapture capture;
    status = RunLoader();
    messages = capture.Finish();
    if (undo) undo();
  }

  ASSERT_EQ(messages.size(), row.messages.size()) << testing::PrintToString(messages);
  for (std::size_t i = 0; i < messages.size(); ++i) {
    const std::string& want = row.messages[i];
    if (want.ends_with('*')) {
      EXPECT_TRUE(messages[i].starts_with(want.substr(0, want.size() - 1))) << messages[i];
    } else {
      EXPECT_EQ(messages[i], want);
    }
  }
  EXPECT_EQ(status, row.status);

  std::vector<std::string> wantReceived;
  for (const Received& r : row.received) {
    wantReceived.push_back("-DbFile\t" + r.intermediate + "\t-CreatorID\tWmtk\t" + Hex(r.plain));
  }
  std::vector<std::string> received;
  std::istringstream record(ReadFile(folder.record()));
  for (std::string line; std::getline(record, line);) received.push_back(line);
  EXPECT_EQ(Sorted(received), Sorted(wantReceived));

  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    const std::string name = Utf8(entry.path().filename());
    if (name != "CASLcdi2ppc.exe" && !name.ends_with(".ppc.txt")) left.push_back(name);
  }
  std::vector<std::string> wantLeft = row.left;
  if (wantLeft.empty()) {
    for (const Input& input : row.inputs) wantLeft.push_back(input.name);
  }
  EXPECT_EQ(Sorted(left), Sorted(wantLeft));
  for (const Input& input : row.inputs) {
    if (fs::exists(Utf8Path(input.name))) {
      EXPECT_EQ(ReadFile(Utf8Path(input.name)), input.stored) << input.name << " was changed";
    }
  }
}

std::string EveryByte() {
  std::string bytes;
  for (int b = 0; b <= 253; ++b) bytes += static_cast<char>(b);
  return bytes;
}

const std::vector<Input> kThree = {Plain("a.jov", "first"), Plain("b.jov", "second"),
                                   Plain("c.jov", "third")};
const std::vector<Received> kThreeReceived = {
    {"a_flex.cdi", "first"}, {"b_flex.cdi", "second"}, {"c_flex.cdi", "third"}};
// The stand-in converter's switches aimed at b.jov alone.
Environment ForB(Environment switches) {
  switches.emplace_back("JOV_FAKE_ONLY", "b_flex.cdi");
  return switches;
}

Undo RemoveConverter() {
  fs::remove("CASLcdi2ppc.exe");
  return nullptr;
}

#ifndef _WIN32
// Root may write anywhere; checks of access rights need an ordinary user.
// The file-system user is this thread's alone and ends at the converter's
// exec, so the converter is unaffected.
Undo AsNobody(const fs::path& path, fs::perms perms) {
  fs::permissions(path, perms);
  ::setfsuid(65534);
  return [] { ::setfsuid(::geteuid()); };
}

// A full disk, as far as the intermediate file can tell: writes past 64 KiB
// fail with EFBIG instead of raising SIGXFSZ.
Undo FileSizeLimit() {
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  const rlimit limited{64 << 10, saved.rlim_max};
  ::setrlimit(RLIMIT_FSIZE, &limited);
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  return [saved, previous] {
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);
  };
}
#endif

std::vector<Row> Rows() {
  std::vector<Row> rows = {
      // Every plain byte value survives the trip, an empty input still
      // reaches the converter, inputs sharing an intermediate name each get
      // theirs, and an undecodable input never reaches it. A folder and a
      // name that matches "*.jov" only through its 8.3 short name on
      // Windows are not inputs.
      Row{"DecodedUnderTheirIntermediateNames",
          {Plain("Unit 3 Review.jov", EveryByte()),
           Plain("lesson1.JOV", ""),
           Plain("same name.jov", "space"),
           Plain("same_name.jov", "underscore"),
           {"broken.jov", std::string("ok\x01rest", 7)},
           Plain("notes.jovx", "notes")},
          {},
          {kFailed + "broken.jov\nByte 0x01 at offset 2 cannot be decoded.", kComplete},
          1,
          {{"Unit_3_Review_flex.cdi", EveryByte()},
           {"lesson1_flex.cdi", ""},
           {"same_name_flex.cdi", "space"},
           {"same_name_flex.cdi", "underscore"}},
          {"Unit 3 Review.jov", "lesson1.JOV", "same name.jov", "same_name.jov", "broken.jov",
           "notes.jovx", "folder.jov"},
          Where::kBoth,
          [] {
            fs::create_directory("folder.jov");
            return nullptr;
          }},
      Row{"EmptyFolder", {}, {}, {kComplete}, 0, {}},
      Row{"NegativeStatus",
          kThree,
          ForB({{"JOV_FAKE_EXIT", "-1"}}),
          {kFailed + "b.jov", kComplete},
          1,
          kThreeReceived},
      Row{"StatusBeyondSixteenBits",
          kThree,
          ForB({{"JOV_FAKE_EXIT", "40000"}}),
          {kFailed + "b.jov\nThe converter ended with status 40000, which is not a valid result.",
           kComplete},
          1,
          kThreeReceived,
          {},
          Where::kWindows},
      // A real access violation would summon wine's debugger; the status a
      // crash ends with is what the loader sees either way.
      Row{"CrashWindows",
          kThree,
          ForB({{"JOV_FAKE_EXIT", "0xC0000005"}}),
          {kFailed + "b.jov\nThe converter ended with status 0xC0000005.", kComplete},
          1,
          kThreeReceived,
          {},
          Where::kWindows},
      // POSIX hands back only 8 bits: 32767 arrives as 255, which reads as
      // -1. The sanitizers would turn a raised SIGSEGV into an exit.
      Row{"KilledPosix",
          kThree,
          ForB({{"JOV_FAKE_SIGNAL", "11"}, {"ASAN_OPTIONS", "handle_segv=0"}}),
          {kFailed + "b.jov", kComplete},
          1,
          kThreeReceived,
          {},
          Where::kPosix},
      Row{"EightBitStatusPosix",
          kThree,
          ForB({{"JOV_FAKE_EXIT", "32767"}}),
          {kFailed + "b.jov", kComplete},
          1,
          kThreeReceived,
          {},
          Where::kPosix},
      Row{"ConverterDeletesTheIntermediateFile",
          kThree,
          {{"JOV_FAKE_DELETE", "1"}},
          {kComplete},
          0,
          kThreeReceived},
      // More than any pipe holds: a loader that read the converter's output
      // only after waiting would stall.
      Row{"ConverterWritesALot",
          {Plain("a.jov", "first")},
          {{"JOV_FAKE_STDOUT_BYTES", std::to_string(32 << 20)}},
          {kComplete},
          0,
          {{"a_flex.cdi", "first"}}},
      Row{"ConverterMissing",
          {Plain("a.jov", "first"), Plain("b.jov", "second")},
          {},
          {kNotStarted + (kWindows ? ".\\" : "./") + "CASLcdi2ppc.exe could not be started: *",
           kFailed + "b.jov\nThe converter *", kComplete},
          1,
          {},
          {},
          Where::kBoth,
          RemoveConverter},
      // A script proves that no shell ever reads the arguments.
      Row{"ConverterIsAScript",
          {Plain("a.jov", "first")},
          {},
          {kNotStarted + "*", kComplete},
          1,
          {},
          {},
          Where::kBoth,
          [] {
            WriteFile("CASLcdi2ppc.exe", "touch shell-ran\r\n");
            fs::permissions("CASLcdi2ppc.exe", fs::perms(0755));
            return nullptr;
          }},
      Row{"InputGoneAfterListing",
          kThree,
          {{"JOV_FAKE_REMOVE", "b.jov"}},
          {kFailed + "b.jov\nCould not read b.jov: *", kComplete},
          1,
          {{"a_flex.cdi", "first"}, {"c_flex.cdi", "third"}},
          {"a.jov", "c.jov"}},
      // Shell metacharacters, stems around the cut, names beyond ASCII:
      // each reaches the converter under exactly its intermediate name.
      Row{"OddNames",
          {Plain("semi;colon.jov", "1"), Plain("amp & touch pwned.jov", "2"),
           Plain("$(touch pwned).jov", "3"), Plain("it's %PATH% ^x.jov", "4"),
           Plain("abcdefghijklmnopqrstuv.jov", "5"), Plain("Leçon d'été à Zürich 2.jov", "6"),
           Plain("🎒 quiz 🎓.jov", "7")},
          {},
          {kComplete},
          0,
          {{"semi;colon_flex.cdi", "1"},
           {"amp_&_touch_pwned_flex.cdi", "2"},
           {"$(touch_pwned)_flex.cdi", "3"},
           {"it's_%PATH%_^x_flex.cdi", "4"},
           {"abcdefghijklmnopqrstu_flex.cdi", "5"},
           {"Leçon_d'été_à_Zürich__flex.cdi", "6"},
           {"🎒_quiz_🎓_flex.cdi", "7"}}},
      // Characters Windows does not allow in names. Split on every kind of
      // white space, the tab would smuggle in an argument of its own.
      Row{"OddNamesPosix",
          {Plain("say \"hi\" | x.jov", "1"), Plain("back\\slash.jov", "2"),
           Plain("x\t-CreatorID\tEvil.jov", "3")},
          {},
          {kComplete},
          0,
          {{"say_\"hi\"_|_x_flex.cdi", "1"},
           {"back\\slash_flex.cdi", "2"},
           {"x\t-CreatorID\tEvil_flex.cdi", "3"}},
          {},
          Where::kPosix},
  };
#ifndef _WIN32
  // Wine enforces no access rights, and a full disk on Windows needs a small
  // volume, which needs administrator rights.
  rows.insert(
      rows.end(),
      {
          Row{"DiskFull",
              {Plain("a.jov", std::string(100 << 10, 'x')), Plain("b.jov", "second")},
              {},
              {kFailed + "a.jov\nCould not write a_flex.cdi: File too large", kComplete},
              1,
              {{"b_flex.cdi", "second"}},
              {},
              Where::kPosix,
              FileSizeLimit},
          Row{"ReadOnlyFolder",
              {Plain("a.jov", "first")},
              {},
              {kFailed + "a.jov\nCould not write a_flex.cdi: Permission denied", kComplete},
              1,
              {},
              {},
              Where::kPosix,
              [] { return AsNobody(".", fs::perms(0555)); }},
          Row{"UnreadableInput",
              {Plain("a.jov", "first"), Plain("b.jov", "second")},
              {},
              {kFailed + "a.jov\nCould not read a.jov: Permission denied", kComplete},
              1,
              {{"b_flex.cdi", "second"}},
              {},
              Where::kPosix,
              [] {
                fs::permissions(".", fs::perms::all);
                return AsNobody("a.jov", fs::perms::none);
              }},
          Row{"UnlistableFolder",
              {Plain("a.jov", "first")},
              {},
              {"An error occurred. Could not list the input files.\nPermission denied", kComplete},
              1,
              {},
              {},
              Where::kPosix,
              [] { return AsNobody(".", fs::perms(0311)); }},
          Row{"ConverterNotExecutable",
              {Plain("a.jov", "first")},
              {},
              {kNotStarted + "./CASLcdi2ppc.exe could not be started: Permission denied",
               kComplete},
              1,
              {},
              {},
              Where::kPosix,
              [] {
                fs::permissions("CASLcdi2ppc.exe", fs::perms(0644));
                return nullptr;
              }},
      });
#endif
  return rows;
}

INSTANTIATE_TEST_SUITE_P(LoadAllFiles, Batch, testing::ValuesIn(Rows()),
                         [](const auto& row) { return std::string(row.param.name); });

// The real program, once, as a user starts it in a folder.
TEST(Program, LoadsTheFolderItStartsIn) {
  WorkFolder folder;
  WriteFile("Unit 3 Review.jov", Encode("review"));
  WriteFile("broken.jov", "\x01");
  const ScopedEnvironment scoped({{"JOV_FAKE_RECORD", Utf8(folder.record())}});
  MessageCapture capture;
  const auto status =
      RunAndWait((ProgramDir() / (kWindows ? "jovloader.exe" : "jovloader")).native(), {});
  const auto messages = capture.Finish();
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(status.value(), 1);
  EXPECT_EQ(messages,
            (std::vector<std::string>{
                kFailed + "broken.jov\nByte 0x01 at offset 0 cannot be decoded.", kComplete}));
  EXPECT_EQ(ReadFile(folder.record()),
            "-DbFile\tUnit_3_Review_flex.cdi\t-CreatorID\tWmtk\t" + Hex("review") + "\n");
  EXPECT_FALSE(fs::exists("Unit_3_Review_flex.cdi"));
}

}  // namespace
}  // namespace jov::test
