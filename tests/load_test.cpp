// The batch run on the real file system, with the stand-in converter in a
// temporary folder: what the user is told, the exit status, what the
// converter received and what is left on disk. Whatever goes wrong, the
// batch goes on, inputs stay as they were and no intermediate file stays
// behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <numeric>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "loader/converter.h"
#include "loader/decoder.h"
#include "loader/files.h"
#include "loader/loader.h"
#include "loader/process.h"
#include "loader/ui.h"
#include "tests/support/support.h"
#include "version.h"

#ifdef _WIN32
#include <windows.h>
constexpr bool kWindows = true;
#else
#include <poll.h>
#include <pty.h>
#include <sys/fsuid.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <csignal>
#include <cstring>

#include "base/posix_console.h"
constexpr bool kWindows = false;
#endif

namespace jov::test {
namespace {

namespace fs = std::filesystem;

const std::string kFailed = "An error occurred. Failed to load ";
const std::string kComplete = "JOV Loading Complete";

std::string Hex(const std::string& bytes) {
  std::string hex;
  for (const unsigned char c : bytes)
    hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
  return hex;
}

// The stand-in converter's record of one run: its command line, tab
// separated, and the bytes it read, in hex.
std::string Received(const std::string& intermediateName, const std::string& plain) {
  return std::string(kDbFileSwitch) + '\t' + intermediateName + '\t' +
         std::string(kCreatorIdSwitch) + '\t' + std::string(kCreatorId) + '\t' + Hex(plain);
}
const std::string kConverter(kConverterName);

struct Input {
  std::string name;    // UTF-8
  std::string stored;  // the bytes on disk
};
Input Plain(std::string name, const std::string& plain) { return {std::move(name), Encode(plain)}; }

// Where a row applies: a platform, or Windows under one ANSI code page.
enum class Where { kBoth, kPosix, kWindows, kCodePage1252 = 1252, kCodePage1251 = 1251 };

// Undoes what an arrangement changed outside the folder.
using Undo = std::function<void()>;

struct Row {
  const char* name;
  std::vector<Input> inputs = {};
  Environment converter = {};  // the stand-in converter's switches
  // Every message, in order. One ending in '*' only has to start with the
  // rest: the system's own wording follows.
  std::vector<std::string> messages;
  int status;
  // "<intermediate name> <plain content>" for each conversion, in any order.
  std::vector<std::string> received = {};
  // Names left in the folder besides the converter and its reports; the
  // inputs when empty.
  std::vector<std::string> left = {};
  Where where = Where::kBoth;
  std::function<Undo()> arrange = nullptr;
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

std::multiset<std::string> Sorted(const std::vector<std::string>& v) {
  return {v.begin(), v.end()};
}

class Batch : public testing::TestWithParam<Row> {};

TEST_P(Batch, RunsAsTheUserExpects) {
  const Row& row = GetParam();
  if (row.where != Where::kBoth && row.where != (kWindows ? Where::kWindows : Where::kPosix) &&
      static_cast<unsigned>(row.where) != AnsiCodePage()) {
    GTEST_SKIP() << "not something this platform has";
  }
  WorkFolder folder(row.converter);
  for (const Input& input : row.inputs) WriteFile(Utf8Path(input.name), input.stored);

  const Undo undo = row.arrange ? row.arrange() : Undo();
  MessageCapture capture;
  const int status = RunLoader();
  std::vector<std::string> messages = capture.Finish();
  if (undo) undo();

  for (const std::string& message : messages) {
    EXPECT_EQ(message.find("%1"), std::string::npos) << "a placeholder reached the user";
  }
  // Where the row's message ends in '*', the system's own wording follows.
  std::vector<std::string> want = row.messages;
  for (std::size_t i = 0; i < std::min(messages.size(), want.size()); ++i) {
    if (want[i].ends_with('*')) messages[i] = messages[i].substr(0, want[i].size() - 1) + '*';
    if (const auto at = want[i].find("<folder>"); at != std::string::npos) {
      want[i].replace(at, 8, Utf8(folder.path()));
    }
  }
  EXPECT_EQ(messages, want);
  EXPECT_EQ(status, row.status);

  std::vector<std::string> wantReceived;
  for (const std::string& r : row.received) {
    const std::size_t space = r.find(' ');
    wantReceived.push_back(Received(r.substr(0, space), r.substr(space + 1)));
  }
  std::vector<std::string> received;
  std::istringstream record(ReadFile(folder.record()));
  for (std::string line; std::getline(record, line);) received.push_back(line);
  EXPECT_EQ(Sorted(received), Sorted(wantReceived));

  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    const std::string name = Utf8(entry.path().filename());
    if (name != kConverter && !name.ends_with(".ppc.txt")) left.push_back(name);
  }
  std::vector<std::string> wantLeft = row.left;
  if (wantLeft.empty()) {
    for (const Input& input : row.inputs) wantLeft.push_back(input.name);
  }
  EXPECT_EQ(Sorted(left), Sorted(wantLeft));
  for (const Input& input : row.inputs) {
    if (fs::exists(Verbatim(Utf8Path(input.name)))) {
      EXPECT_EQ(ReadFile(Utf8Path(input.name)), input.stored) << input.name << " was changed";
    }
  }
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

#ifdef _WIN32
// Another program (a virus scanner, the search indexer) holds `name` open
// for a moment.
Undo HoldOpen(const wchar_t* name, DWORD share) {
  const HANDLE file = ::CreateFileW(name, GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
  auto holder = std::make_shared<std::thread>([file] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::CloseHandle(file);
  });
  return [holder] { holder->join(); };
}
#endif

std::vector<Row> Rows() {
  std::string everyByte(254, '\0');
  std::iota(everyByte.begin(), everyByte.end(), '\0');
  const std::vector<Input> three = {Plain("a.jov", "1"), Plain("b.jov", "2"), Plain("c.jov", "3")};
  const std::vector<std::string> threeReceived = {"a_flex.cdi 1", "b_flex.cdi 2", "c_flex.cdi 3"};
  const std::string undecodable = "\nByte 0x01 at offset 0 cannot be decoded.";
  const std::string notStarted = kFailed + "a.jov\nThe converter ";
  const auto taken = [](const std::string& stem) {
    return kFailed + stem + ".jov\n" + stem +
           "_flex.cdi is taken by something that is not a leftover file; it was left as it is.";
  };
  // Wine hides every dot-file, whatever its attributes.
  const std::string dot = kWindows ? "" : ".";
  const auto complete = [](const std::string& line) { return kComplete + "\n" + line; };
  const auto onlyB = [](Environment e) {
    e.emplace_back("STAND_IN_ONLY", "b_flex.cdi");
    return e;
  };
  // clang-format off
  std::vector<Row> rows = {
    // Every plain byte value survives the trip, an empty input still reaches
    // the converter, inputs sharing an intermediate name each get theirs, an
    // undecodable input never reaches it. A folder, hidden and system files and a name
    // matching "*.jov" only through its 8.3 short name on Windows are not
    // inputs.
    {.name = "DecodedUnderTheirIntermediateNames", .inputs = {Plain("Unit 3 Review.jov", everyByte), Plain("lesson1.JOV", ""),
      Plain("same name.jov", "space"), Plain("same_name.jov", "underscore"), {"brøken.jov", Encode(std::string(kDecodeBlockSize, 'x')) + "ok\x01"},
      Plain("notes.jovx", ""), Plain(dot + "hidden.jov", ""), Plain(dot + "system.jov", "")},
     .messages = {kFailed + "brøken.jov\nByte 0x01 at offset 1048578 cannot be decoded.", complete("1 of 5 files could not be loaded.")}, .status = 1,
     .received = {"Unit_3_Review_flex.cdi " + everyByte, "lesson1_flex.cdi ", "same_name_flex.cdi space",
      "same_name_flex.cdi underscore"},
     .left = {"Unit 3 Review.jov", "lesson1.JOV", "same name.jov", "same_name.jov", "brøken.jov", "notes.jovx", dot + "hidden.jov",
      dot + "system.jov", "folder.jov"}, .arrange = [dot] {
       fs::create_directory("folder.jov"); Hide(dot + "hidden.jov"); Hide(dot + "system.jov", true); return Undo(); }},
    {.name = "EmptyFolder", .messages = {complete("The folder <folder> holds no .jov files.")}, .status = 0},
    {.name = "TakenInNaturalOrder", .inputs = {{"Lesson 10.jov", "\x01"}, {"lesson 2.jov", "\x01"}, {"Lesson 1.jov", "\x01"}},
     .messages = {kFailed + "Lesson 1.jov" + undecodable, kFailed + "lesson 2.jov" + undecodable, kFailed + "Lesson 10.jov" + undecodable,
      complete("3 of 3 files could not be loaded.")}, .status = 1},
    {.name = "NegativeStatus", .inputs = three, .converter = onlyB({{"STAND_IN_EXIT", "-1"}}), .messages = {kFailed + "b.jov", complete("1 of 3 files could not be loaded.")}, .status = 1, .received = threeReceived},
    // A real access violation would summon wine's debugger; the status a
    // crash ends with is what the loader sees either way. The sanitizers
    // would turn a raised SIGSEGV into an exit.
    {.name = "Crash", .inputs = three, .converter = onlyB({{"STAND_IN_EXIT", "0xC0000005"}}),
     .messages = {kFailed + "b.jov\nThe converter ended with status 0xC0000005.", complete("1 of 3 files could not be loaded.")}, .status = 1, .received = threeReceived, .where = Where::kWindows},
    {.name = "Killed", .inputs = three, .converter = onlyB({{"STAND_IN_SIGNAL", "11"}, {"ASAN_OPTIONS", "handle_segv=0"}}),
     .messages = {kFailed + "b.jov\nThe converter was ended by signal 11 (Segmentation fault).", complete("1 of 3 files could not be loaded.")}, .status = 1, .received = threeReceived,
     .where = Where::kPosix},
    // The converter may remove its input itself, and may write more than any
    // pipe holds (a loader reading its output only after waiting would stall).
    {.name = "ConverterDeletesAndChatters", .inputs = three, .converter = {{"STAND_IN_DELETE", "1"}, {"STAND_IN_STDOUT_BYTES", "33554432"}},
     .messages = {kComplete}, .status = 0, .received = threeReceived},
    {.name = "ConverterMissing", .inputs = {Plain("a.jov", "1"), Plain("b.jov", "2")},
     .messages = {notStarted + (kWindows ? ".\\" : "./") + kConverter + " could not be started: *",
      kFailed + "b.jov\nThe converter *", complete("2 of 2 files could not be loaded.")}, .status = 1, .arrange = [] { fs::remove(kConverter); return Undo(); }},
    // What the converter leaves cannot be deleted as a file (on Windows only
  // after some tries).
    {.name = "IntermediateCannotBeDeleted", .inputs = three, .converter = onlyB({{"STAND_IN_KEEP", "1"}}),
     .messages = {kFailed + "b.jov\nCould not delete b_flex.cdi: *", complete("1 of 3 files could not be loaded.")}, .status = 1, .received = threeReceived,
     .left = {"a.jov", "b.jov", "c.jov", "b_flex.cdi"}},
    // A read-only leftover is someone's file, not ours.
    {.name = "ReadOnlyLeftover", .inputs = {Plain("a.jov", "1")}, .messages = {taken("a"), complete("1 of 1 file could not be loaded.")}, .status = 1, .left = {"a.jov", "a_flex.cdi"},
     .where = Where::kWindows, .arrange = [] { WriteFile("a_flex.cdi", ""); fs::permissions("a_flex.cdi", fs::perms(0444));
       return Undo([] { fs::permissions("a_flex.cdi", fs::perms(0666)); }); }},
    // A script proves that no shell ever reads the arguments.
    {.name = "ConverterIsAScript", .inputs = {Plain("a.jov", "1")}, .messages = {notStarted + "*", complete("1 of 1 file could not be loaded.")}, .status = 1,
     .arrange = [] { WriteFile(kConverter, "touch shell-ran\r\n"); fs::permissions(kConverter, fs::perms(0755));
          return Undo(); }},
    {.name = "InputGoneAfterListing", .inputs = three, .converter = {{"STAND_IN_REMOVE", "b.jov"}}, .messages = {kFailed + "b.jov\nCould not read b.jov: *",
     complete("1 of 3 files could not be loaded.")},
     .status = 1, .received = {"a_flex.cdi 1", "c_flex.cdi 3"}, .left = {"a.jov", "c.jov"}},
    // Shell metacharacters, a stem past the cut, names Windows would
    // otherwise take for devices: each reaches the converter under exactly
    // its intermediate name.
    {.name = "OddNames", .inputs = {Plain("semi;colon.jov", "1"), Plain("amp & touch pwned.jov", "2"), Plain("$(touch pwned).jov", "3"),
      Plain("it's %PATH% ^x.jov", "4"), Plain("abcdefghijklmnopqrstuv.jov", "5"), Plain("NUL.jov", "8"),
      Plain("CON.jov", "9"), Plain("AUX.jov", "A"), Plain("COM1.jov", "B"), Plain("PRN.jov", "C"),
      Plain("LPT1.jov", "D")}, .messages = {kComplete}, .status = 0,
     .received = {"semi;colon_flex.cdi 1", "amp_&_touch_pwned_flex.cdi 2", "$(touch_pwned)_flex.cdi 3", "it's_%PATH%_^x_flex.cdi 4",
      "abcdefghijklmnopqrstu_flex.cdi 5", "NUL_flex.cdi 8", "CON_flex.cdi 9", "AUX_flex.cdi A", "COM1_flex.cdi B",
      "PRN_flex.cdi C", "LPT1_flex.cdi D"}},
    // The intermediate file is created afresh: a leftover of an interrupted
    // run is replaced; whatever else holds the name is left alone.
    {.name = "NameTaken", .inputs = {Plain("a.jov", "1"), Plain("b.jov", "2"), Plain("c.jov", "3"), Plain("d.jov", "4")},
     .messages = {taken("a"), taken("b"), complete("2 of 4 files could not be loaded.")}, .status = 1, .received = {"c_flex.cdi 3", "d_flex.cdi 4"},
     .left = {"a.jov", "b.jov", "c.jov", "d.jov", "a_flex.cdi", "b_flex.cdi"}, .arrange = [] {
       fs::create_directory("a_flex.cdi");
       fs::create_hard_link("c.jov", "b_flex.cdi");
       WriteFile("d_flex.cdi", "stale");
       return Undo(); }},
    // Characters Windows does not allow in names. Split on any white space,
    // the tab would smuggle in an argument of its own. Bytes that are not
    // UTF-8 count one character each.
    {.name = "OddNamesPosix", .inputs = {Plain("say \"hi\" | x.jov", "1"), Plain("back\\slash.jov", "2"), Plain("x\t-CreatorID\tEvil.jov", "3"),
      Plain("A" + std::string(249, '\xB0') + ".jov", "4"), Plain(std::string(22, '\xC3') + ".jov", "5")}, .messages = {kComplete}, .status = 0, .received = {"say_\"hi\"_|_x_flex.cdi 1", "back\\slash_flex.cdi 2", "x\t-CreatorID\tEvil_flex.cdi 3",
      "A" + std::string(20, '\xB0') + "_flex.cdi 4", std::string(21, '\xC3') + "_flex.cdi 5"},
     .where = Where::kPosix},
  };
#ifdef _WIN32
  rows.insert(rows.end(), {
    // Removing a leftover waits for whoever holds it open. Under wine a file
    // deleted while held open keeps its name and can still be looked at:
    // to the loader, the name was taken again.
    {.name = "LeftoverHeldOpen", .inputs = {Plain("a.jov", "1")}, .messages = {kComplete}, .status = 0, .received = {"a_flex.cdi 1"}, .where = Where::kWindows,
     .arrange = [] { WriteFile("a_flex.cdi", "stale"); return HoldOpen(L"a_flex.cdi", FILE_SHARE_READ); }},
    {.name = "LeftoverTakenAgain", .inputs = {Plain("a.jov", "1")}, .messages = {kFailed + "a.jov\nA leftover a_flex.cdi was deleted, but the name "
     "was taken again at once; what took it was left as it is.", complete("1 of 1 file could not be loaded.")}, .status = 1, .where = Where::kWindows,
     .arrange = [] { WriteFile("a_flex.cdi", "stale"); return HoldOpen(L"a_flex.cdi", FILE_SHARE_READ | FILE_SHARE_DELETE); }},
  });
#endif
#ifndef _WIN32
  // Wine enforces no access rights, and a full disk on Windows needs a small
  // volume, which needs administrator rights.
  rows.insert(rows.end(), {
    {.name = "DiskFull", .inputs = {Plain("a.jov", std::string(100 << 10, 'x')), Plain("b.jov", "2")},
     .messages = {kFailed + "a.jov\nCould not write a_flex.cdi: File too large", complete("1 of 2 files could not be loaded.")}, .status = 1, .received = {"b_flex.cdi 2"}, .where = Where::kPosix,
     .arrange = FileSizeLimit},
    {.name = "ReadOnlyFolderWithLeftover", .inputs = {Plain("a.jov", "1")},
     .messages = {kFailed + "a.jov\nCould not write a_flex.cdi: Permission denied", complete("1 of 1 file could not be loaded.")}, .status = 1, .left = {"a.jov", "a_flex.cdi"},
     .where = Where::kPosix, .arrange = [] { WriteFile("a_flex.cdi", ""); return AsNobody(".", fs::perms(0555)); }},
    // A read-only input is only read.
    {.name = "UnreadableInput", .inputs = {Plain("a\x7F.jov", "1"), Plain("b.jov", "2")},
     .messages = {kFailed + "a\\177.jov\nCould not read a\\177.jov: Permission denied", complete("1 of 2 files could not be loaded.")}, .status = 1, .received = {"b_flex.cdi 2"},
     .where = Where::kPosix, .arrange = [] { fs::permissions(".", fs::perms::all); fs::permissions("b.jov", fs::perms(0444));
       return AsNobody("a\x7F.jov", fs::perms::none); }},
    {.name = "ReadError", .inputs = {Plain("b.jov", "2")}, .messages = {kFailed + "a.jov\nCould not read a.jov: Input/output error", complete("1 of 2 files could not be loaded.")}, .status = 1,
     .received = {"b_flex.cdi 2"}, .left = {"a.jov", "b.jov"}, .where = Where::kPosix, .arrange = [] { fs::create_symlink("/proc/self/mem", "a.jov"); return Undo(); }},
    {.name = "UnlistableFolder", .inputs = {Plain("a.jov", "1")},
     .messages = {"An error occurred. Could not list the input files.\nPermission denied", kComplete}, .status = 1, .where = Where::kPosix,
     .arrange = [] { return AsNobody(".", fs::perms(0311)); }},
    // Links lead elsewhere (here: to an input); a FIFO would hang the run.
    // A link to an input is an input; a FIFO is not. Escapes in a name would
    // rewrite the console's line, C1's CSI (U+009B) as ESC [ would.
    {.name = "LinksFifosAndControlCharacters", .inputs = {Plain("a.jov", "1"), Plain("b.jov", "2"), {"\033[2K\rAll\tloaded\n.jov", "\x01"},
      Plain("del\x7F\u009B.jov", "5")}, .messages = {kFailed + "\\033[2K\\rAll\\tloaded\\n.jov\nByte 0x01 at offset 0 cannot be decoded.",
      taken("a"), taken("b"), taken("del\\177\\302\\233"), complete("4 of 5 files could not be loaded.")}, .status = 1, .received = {"link_flex.cdi 2"},
     .left = {"a.jov", "b.jov", "a_flex.cdi", "b_flex.cdi", "\033[2K\rAll\tloaded\n.jov", "del\x7F\u009B.jov", "del\x7F\u009B_flex.cdi",
      "link.jov", "fifo.jov"}, .where = Where::kPosix,
     .arrange = [] { fs::create_symlink("a.jov", "a_flex.cdi"); ::mkfifo("b_flex.cdi", 0600); fs::create_directory("del\x7F\u009B_flex.cdi");
          fs::create_symlink("b.jov", "link.jov"); ::mkfifo("fifo.jov", 0600); return Undo(); }},
    // The folder's path is shown as a name is.
    {.name = "EmptyFolderWithAControlInItsPath", .messages = {complete("The folder <folder>/A\\302\\2332J holds no .jov files.")}, .status = 0,
     .left = {"A\u009B2J"}, .where = Where::kPosix, .arrange = [] { fs::create_directory("A\u009B2J"); fs::current_path("A\u009B2J");
       return Undo([] { fs::current_path(".."); }); }},
  });
#endif
  // Names beyond ASCII, as the converter receives them: as their bytes on
  // POSIX; on Windows in the ANSI code page, where each character it cannot
  // spell exactly is an underscore. Best fit would have handed the
  // converter "Lódz" or "Lodz" for "Łódź". The last two share one name under
  // 1252 and are loaded one after the other. The failure names the input
  // as the folder lists it.
  const char* names[][4] = {  // input; as bytes, under 1252, under 1251
    {"Unit 3 Review.jov", "Unit_3_Review_flex.cdi", "Unit_3_Review_flex.cdi", "Unit_3_Review_flex.cdi"},
    {"Café crème.jov", "Café_crème_flex.cdi", "Café_crème_flex.cdi", "Caf__cr_me_flex.cdi"},
    {"Łódź.jov", "Łódź_flex.cdi", "_ód__flex.cdi", "__d__flex.cdi"},
    {"Обзор урока.jov", "Обзор_урока_flex.cdi", "____________flex.cdi", "Обзор_урока_flex.cdi"},
    {"第三課 復習.jov", "第三課_復習_flex.cdi", "_______flex.cdi", "_______flex.cdi"},
    {"🎒 quiz.jov", "🎒_quiz_flex.cdi", "__quiz_flex.cdi", "__quiz_flex.cdi"},
    {"Урок 1.jov", "Урок_1_flex.cdi", "_____1_flex.cdi", "Урок_1_flex.cdi"},
    {"Тест 1.jov", "Тест_1_flex.cdi", "_____1_flex.cdi", "Тест_1_flex.cdi"},
  };
  for (const auto& [rowName, where, column] : {std::tuple{"NamesAsBytes", Where::kPosix, 1},
       {"NamesInCodePage1252", Where::kCodePage1252, 2}, {"NamesInCodePage1251", Where::kCodePage1251, 3}}) {
    Row row{.name = rowName, .converter = {{"STAND_IN_EXIT", "-1"}, {"STAND_IN_ONLY", names[3][column]}},
            .messages = {kFailed + "Обзор урока.jov", complete("1 of 8 files could not be loaded.")}, .status = 1,
            .where = where};
    for (std::size_t i = 0; i < std::size(names); ++i) {
      row.inputs.push_back(Plain(names[i][0], std::to_string(i)));
      row.received.push_back(names[i][column] + (" " + std::to_string(i)));
    }
    rows.push_back(std::move(row));
  }
  // clang-format on
  return rows;
}

// The rows for one code page run only under it: a wine prefix started in
// the wrong locale must fail here instead of skipping them all.
TEST(CodePage, IsTheOneAskedFor) {
  const char* asked = std::getenv("JOV_TEST_CODE_PAGE");
  if (asked == nullptr) GTEST_SKIP() << "JOV_TEST_CODE_PAGE is not set";
  EXPECT_EQ(AnsiCodePage(), std::stoul(asked));
}

INSTANTIATE_TEST_SUITE_P(LoadAllFiles, Batch, testing::ValuesIn(Rows()),
                         [](const auto& row) { return std::string(row.param.name); });

Result<std::int32_t> RunProgram() {
  return RunAndWait((ProgramDir() / (kWindows ? "jovloader.exe" : "jovloader")).native(), {});
}

// The real program, as a user starts it in a folder, twice.
TEST(Program, LoadsTheFolderItStartsIn) {
  WorkFolder folder;
  WriteFile("Unit 3 Review.jov", Encode("review"));
  WriteFile("broken.jov", "\x01");
  MessageCapture capture;
  EXPECT_EQ(RunProgram().value(), 1);
  const std::string record = ReadFile(folder.record());
  EXPECT_EQ(record, Received("Unit_3_Review_flex.cdi", "review") + "\n");
  // Started where another run is loading, it changes nothing.
  {
    const auto lock = LockWorkingFolder();
    ASSERT_TRUE(lock.ok());
#ifdef _WIN32
    // Seen from every session and machine: a file in the folder, hidden.
    const DWORD attributes = ::GetFileAttributesW(L".jovloader.lock");
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN));
#endif
    EXPECT_EQ(RunProgram().value(), 1);
  }
  EXPECT_EQ(capture.Finish(),
            (std::vector<std::string>{
                kFailed + "broken.jov\nByte 0x01 at offset 0 cannot be decoded.",
                kComplete + "\n1 of 2 files could not be loaded.",
                "An error occurred.\nJOV Loader is already loading the files in this folder."}));
  // Failures carry the error icon; the completion none.
  if (kWindows) {
    EXPECT_EQ(capture.Icons(), (std::vector<bool>{true, false, true}));
  }
  EXPECT_EQ(ReadFile(folder.record()), record) << "a conversion ran";
  // No intermediate file and no lock is left behind.
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(".")) left.insert(Utf8(entry.path().filename()));
  EXPECT_EQ(left, (std::set<std::string>{kConverter, "Unit 3 Review.jov", "Unit_3_Review.ppc.txt",
                                         "broken.jov"}));
}

// A file that someone (a virus scanner) holds open for a moment is deleted
// once they let go.
TEST(RemoveFile, WaitsForAMomentaryHolder) {
  WorkFolder folder;
  WriteFile("held", "");
  std::optional<Result<File>> holder(OpenForReading(FromAscii("held")));
  const std::jthread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    holder.reset();
  });
  EXPECT_TRUE(RemoveFile(FromAscii("held")).ok() && !fs::exists("held"));
}

#ifndef _WIN32
// A child's status as waitpid reports it; -1 if it hangs, and it is ended.
int WaitBriefly(pid_t child) {
  int status = -1;
  for (int i = 0; i < 2000 && ::waitpid(child, &status, WNOHANG) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(child, SIGKILL);
  return status;
}

// The run in a child process, as a shell or a desktop starts it, ended by a
// real signal while it converts a.jov or while a message waits for Enter, or
// met with an odd parent. A signal that ends a program ends the run the same
// way whether it comes to the program alone, to its process group or from
// its terminal: the converter ends (once) and its intermediate goes.
TEST(Signals, TheRunCleansUpAndEndsAsAsked) {
  enum Setting {
    kNone,
    kChildSignalIgnored,
    kHangupIgnored,  // as nohup starts it; SIGHUP is sent before the row's signal
    kClosedOutput,
    kFileSizeLimit,
    kTerminalInput,
    kTerminal,             // input and output
    kControllingTerminal,  // and the program's own, so that Ctrl+C can be typed
    kHeldAtTheWait,        // a signal held just before a message's wait begins
  };
  enum Sender { kAlone, kGroup, kTyped };
  struct SignalRow {
    std::string name;
    int signal = 0;
    Sender sender = kAlone;
    // The "[Press Enter]" it comes at (1: b.jov's failure, 2: the
    // completion); 0: while a.jov is converted.
    int prompt = 0;
    Setting setting = kNone;
    bool program = false;  // the whole program, its splash included
    int status;            // as waitpid reports it
    std::size_t converted;
    std::string shown = "";  // standard output, where it goes to a file
  };
  const std::string bFailed = kFailed + "b.jov\nByte 0x01 at offset 0 cannot be decoded.\n";
  std::vector<SignalRow> rows = {
      // clang-format off
      {.name = "SIGINT to the whole group", .signal = SIGINT, .sender = kGroup, .status = SIGINT, .converted = 0},
      {.name = "Ctrl+C", .signal = SIGINT, .sender = kTyped, .setting = kControllingTerminal, .status = SIGINT, .converted = 0},
      {.name = "Ctrl+\\", .signal = SIGQUIT, .sender = kTyped, .setting = kControllingTerminal, .status = SIGQUIT, .converted = 0},
      {.name = "SIGHUP under nohup", .signal = SIGTERM, .setting = kHangupIgnored, .status = SIGTERM, .converted = 0},
      {.name = "SIGCHLD ignored by the parent", .setting = kChildSignalIgnored, .status = 0, .converted = 3, .shown = kComplete + "\n"},
      {.name = "a closed output pipe", .setting = kClosedOutput, .status = 1 << 8, .converted = 2},
      {.name = "the whole program into a closed output pipe", .setting = kClosedOutput, .program = true, .status = 1 << 8, .converted = 2},
      {.name = "a file-size limit", .setting = kFileSizeLimit, .status = 1 << 8, .converted = 1,
       .shown = kFailed + "a.jov\nCould not write a_flex.cdi: File too large\n" + bFailed + kComplete + "\n2 of 3 files could not be loaded.\n"},
      {.name = "no waiting for Enter when output goes to a file", .setting = kTerminalInput, .status = 1 << 8, .converted = 2,
       .shown = bFailed + kComplete + "\n1 of 3 files could not be loaded.\n"},
      {.name = "at a terminal each message waits for Enter", .setting = kTerminal, .status = 1 << 8, .converted = 2},
      {.name = "SIGTERM at the first wait for Enter", .signal = SIGTERM, .prompt = 1, .setting = kTerminal, .status = SIGTERM, .converted = 1},
      {.name = "SIGTERM at the last wait for Enter", .signal = SIGTERM, .prompt = 2, .setting = kTerminal, .status = SIGTERM, .converted = 2},
      {.name = "Ctrl+C at the last wait for Enter", .signal = SIGINT, .sender = kTyped, .prompt = 2, .setting = kControllingTerminal,
       .status = SIGINT, .converted = 2},
      {.name = "SIGTERM held as the wait for Enter begins", .signal = SIGTERM, .setting = kHeldAtTheWait, .status = SIGTERM, .converted = 0},
      // clang-format on
  };
  for (const int s : kEndingSignals) {
    rows.push_back({.name = std::string("SIG") + ::sigabbrev_np(s) + " to the program alone",
                    .signal = s,
                    .status = s,
                    .converted = 0});
  }
  for (const SignalRow& row : rows) {
    SCOPED_TRACE(row.name);
    const bool converting = row.signal != 0 && row.prompt == 0 && row.setting != kHeldAtTheWait;
    const bool terminalOutput = row.setting >= kTerminal;
    WorkFolder folder(Environment{{"STAND_IN_WAIT", converting ? "converter.pid" : ""}});
    WriteFile("a.jov", Encode(std::string(row.setting == kFileSizeLimit ? 8192 : 1, '1')));
    fs::permissions("a.jov", fs::perms(0600));
    // A failure, so that there is a message to write.
    WriteFile("b.jov", row.setting == kChildSignalIgnored ? Encode("2") : "\x01");
    WriteFile("c.jov", Encode("3"));
    int terminal = -1, user = -1;
    if (row.setting >= kTerminalInput) ::openpty(&user, &terminal, nullptr, nullptr, nullptr);
    const int shown = ::open("../shown.txt", O_RDWR | O_CREAT | O_TRUNC, 0600);
    const pid_t child = ::fork();
    if (child == 0) {
      // As a shell starts a program: default handling, no core files.
      for (const int s : kEndingSignals) ::signal(s, SIG_DFL);
      const rlimit noCore{0, 0};
      ::setrlimit(RLIMIT_CORE, &noCore);
      if (row.setting == kControllingTerminal) {
        ::setsid();
        ::ioctl(terminal, TIOCSCTTY, 0);
      } else {
        ::setpgid(0, 0);
      }
      if (row.setting == kChildSignalIgnored) ::signal(SIGCHLD, SIG_IGN);
      if (row.setting == kHangupIgnored) ::signal(SIGHUP, SIG_IGN);
      if (row.setting == kFileSizeLimit) {
        const rlimit limit{4096, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      int out[2];
      (void)::pipe(out);
      ::close(out[0]);
      ::dup2(row.setting == kClosedOutput ? out[1] : shown, 1);
      if (terminalOutput) ::dup2(terminal, 1);
      ::dup2(terminal >= 0 ? terminal : ::open("/dev/null", O_RDONLY), 0);
      if (row.setting == kHeldAtTheWait) {
        HoldInterruptions();
        ::raise(row.signal);
        ShowMessage(MessageKind::kError, FromAscii("A message"));
        EndIfInterrupted();
        ::_exit(0);
      }
      if (row.program) ::execl((ProgramDir() / "jovloader").c_str(), "jovloader", nullptr);
      ::_exit(RunLoader());
    }
    const auto send = [&] {
      if (row.setting == kHangupIgnored) {
        ::kill(child, SIGHUP);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      if (row.sender == kTyped) {
        EXPECT_EQ(::write(user, row.signal == SIGINT ? "\x03" : "\x1c", 1), 1);
      } else {
        ::kill(row.sender == kGroup ? -child : child, row.signal);
      }
    };
    // The user reads each message and presses Enter; b.jov's comes before
    // c.jov is loaded.
    std::string onTerminal;
    const bool answering = terminalOutput && (row.signal == 0 || row.prompt > 0);
    for (int answered = 0; answering && answered < 2;) {
      char buffer[256];
      const ssize_t n = ::read(user, buffer, sizeof buffer);
      if (n <= 0) break;
      onTerminal.append(buffer, std::size_t(n));
      if (onTerminal.find("[Press Enter]") == std::string::npos) continue;
      // Time for a run that did not wait to go on; one that waits cannot (and
      // is reading, so that a signal interrupts the read).
      std::this_thread::sleep_for(std::chrono::milliseconds(answered == 0 ? 300 : 0));
      if (row.signal != 0 && answered + 1 == row.prompt) {
        send();
        break;
      }
      EXPECT_TRUE(answered++ > 0 || ReadFile(folder.record()).find("c_flex") == std::string::npos)
          << "c.jov was loaded before the message about b.jov was answered";
      onTerminal.clear();
      EXPECT_EQ(::write(user, "\r", 1), 1);
    }
    pid_t converter = 0;
    if (converting) {
      for (int i = 0; i < 1000 && converter == 0; ++i) {
        std::istringstream(ReadFile("converter.pid")) >> converter;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      struct stat info {};
      EXPECT_EQ(::stat("a_flex.cdi", &info) == 0 ? info.st_mode & 0777 : 0, 0600u)
          << "the intermediate grants more than its input";
      send();
    }
    EXPECT_EQ(WaitBriefly(child), row.status);
    // The converter was waited for, its own cleanup included; it was asked
    // to end once, unless the row sent a signal to the group as well.
    if (converting) {
      const std::string ended = ReadFile("converter.pid.ended");
      EXPECT_TRUE(ended == "1\n" || (row.sender == kGroup && ended == "2\n"))
          << "the run ended first, or the converter was asked to end " << ended;
    }
    std::istringstream record(ReadFile(folder.record()));
    EXPECT_EQ(std::count(std::istreambuf_iterator<char>(record), {}, '\n'), row.converted);
    EXPECT_FALSE(fs::exists("a_flex.cdi"));
    EXPECT_EQ(ReadFile("../shown.txt"), row.shown);
    ::close(shown);
    if (user >= 0) {
      ::close(user);
      ::close(terminal);
    }
  }
}

// The run in a child whose standard output and error share a terminal of
// `columns` (0: a pipe): the progress line, never under a message.
TEST(ConsoleProgress, ShowsTheInputOnATerminalOnly) {
  const std::vector<Input> three = {Plain("a.jov", "1"), {"b.jov", "\x01"}, Plain("c.jov", "3")};
  const std::string undecodable = "\nByte 0x01 at offset 0 cannot be decoded.\n";
  const std::string failed = "An error occurred. Failed to load b.jov" + undecodable;
  const std::string complete = "JOV Loading Complete\n1 of 3 files could not be loaded.\n";
  const std::string clear = "\r\033[K";
  const std::string wide =
      "第三課の復習テ第三課の復習テ第三課の復習テ第三課の復習テ第三課の復習テ第三課の復習テ";
  const struct {
    const char* name;
    unsigned short columns;
    const char* term;
    std::vector<Input> inputs;
    std::string shown;
    unsigned short resizedTo = 0;  // once the first line is shown
  } rows[] = {
      {"a terminal", 80, "xterm", three,
       clear + "[1/3] a.jov" + clear + "[2/3] b.jov" + clear + failed + clear + "[3/3] c.jov" +
           clear + complete},
      // Clearing would take only the last row of a line that wrapped; a line
      // is measured in columns, two for each of these characters.
      // clang-format off
      {"a narrow terminal", 20, "xterm", {Plain("A rather long lesson name.jov", "1")},
       clear + "[1/1] A rather l..." + clear + "JOV Loading Complete\n"},
      {"a name of double-width characters", 80, "xterm", {Plain(wide + ".jov", "1")},
       clear + "[1/1] " + wide.substr(0, 35 * 3) + "..." + clear + "JOV Loading Complete\n"},
      {"a terminal too narrow for the name", 10, "xterm", {Plain("abcd.jov", "1")}, clear + "[1/1]" + clear + "JOV Loading Complete\n"},
      {"a terminal too narrow for the line", 5, "xterm", {Plain("abcd.jov", "1")}, "JOV Loading Complete\n"},
      {"a terminal made narrower", 80, "xterm", {Plain("a.jov", "1"), Plain("abcdefgh.jov", "2")},
       clear + "[1/2] a.jov" + clear + "[2/2] ab..." + clear + "JOV Loading Complete\n", 12},
      {"a control character of C1 in the name", 80, "xterm", {{"A3\u009B2JB3.jov", "\x01"}},
       clear + "[1/1] A3\\302\\2332JB3.jov" + clear + "An error occurred. Failed to load A3\\302\\2332JB3.jov" + undecodable +
       "JOV Loading Complete\n1 of 1 file could not be loaded.\n"},
      // clang-format on
      {"a pipe", 0, "xterm", three, failed + complete},
      {"a terminal that cannot erase", 80, "dumb", three, failed + complete},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WorkFolder folder(Environment{{"STAND_IN_DELAY_MS", row.resizedTo ? "300" : ""}});
    for (const Input& input : row.inputs) WriteFile(Utf8Path(input.name), input.stored);
    int ends[2];
    winsize size{.ws_row = 24, .ws_col = row.columns, .ws_xpixel = 0, .ws_ypixel = 0};
    ASSERT_EQ(row.columns ? ::openpty(&ends[0], &ends[1], nullptr, nullptr, &size) : ::pipe(ends),
              0);
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(::open("/dev/null", O_RDONLY), 0);
      ::dup2(ends[1], 1);
      ::dup2(ends[1], 2);
      ::setenv("TERM", row.term, 1);
      ::_exit(RunLoader());
    }
    ::close(ends[1]);
    // Until the child's side is closed (EIO from a terminal), or a deadline.
    std::string shown;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    pollfd ready{.fd = ends[0], .events = POLLIN, .revents = 0};
    for (char buffer[4096];
         std::chrono::steady_clock::now() < deadline && ::poll(&ready, 1, 100) >= 0;) {
      const ssize_t n = ready.revents ? ::read(ends[0], buffer, sizeof buffer) : 1;
      if (n <= 0) break;
      if (ready.revents) shown.append(buffer, std::size_t(n));
      if (row.resizedTo && shown.find("[1/") != std::string::npos && size.ws_col == row.columns) {
        size.ws_col = row.resizedTo;
        ::ioctl(ends[0], TIOCSWINSZ, &size);
      }
    }
    ::close(ends[0]);
    // The terminal sends each line's end as CR LF.
    for (std::size_t at; (at = shown.find("\r\n")) != std::string::npos;) shown.erase(at, 1);
    EXPECT_EQ(shown, row.shown);
    EXPECT_TRUE(WIFEXITED(WaitBriefly(child)));
  }
}

// The real program in a real terminal of 80 columns (tmux), as a user sees
// it once the run is over: below the splash, the messages and nothing else.
// Of the progress line nothing is left, though one name is wider than the
// terminal and another holds a CSI of its own (U+009B), which would clear
// the screen.
TEST(ConsoleProgress, LeavesTheScreenAsItWas) {
  ASSERT_EQ(std::system("command -v tmux >/dev/null"), 0)
      << "tmux is missing: tools/setup native installs it";
  WorkFolder folder;
  WriteFile(Utf8Path("A3\u009B2JB3.jov"), "\x01");
  WriteFile(Utf8Path("第三課の復習テ第三課の復習テ第三課の復習テ第三課の復習テ第三課の復習テ第三課"
                     "の復習テ.jov"),
            Encode("1"));
  const std::string tmux =
      "tmux -f /dev/null -S '" + (folder.record().parent_path() / "tmux").native() + "' ";
  ASSERT_EQ(
      std::system((tmux + "new-session -d -x 80 -y 40 \"'" + (ProgramDir() / "jovloader").native() +
                   "' </dev/null; echo '<end>'; sleep 60\"")
                      .c_str()),
      0);
  std::vector<std::string> screen;
  for (int i = 0; i < 200 && std::find(screen.begin(), screen.end(), "<end>") == screen.end();
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    screen.clear();
    const std::unique_ptr<FILE, int (*)(FILE*)> pane(
        ::popen((tmux + "capture-pane -p").c_str(), "r"), &::pclose);
    for (char line[1024]; pane && std::fgets(line, sizeof line, pane.get());) {
      screen.emplace_back(line, std::strcspn(line, "\n"));
    }
  }
  std::system((tmux + "kill-server").c_str());
  // What follows the splash's frame.
  const auto frame = std::find_if(screen.rbegin(), screen.rend(),
                                  [](const std::string& line) { return line.starts_with("+-"); });
  std::vector<std::string> below(frame.base(), screen.end());
  while (!below.empty() && below.back().empty()) below.pop_back();
  EXPECT_EQ(below, (std::vector<std::string>{
                       "An error occurred. Failed to load A3\\302\\2332JB3.jov",
                       "Byte 0x01 at offset 0 cannot be decoded.", "JOV Loading Complete",
                       "1 of 2 files could not be loaded.", "<end>"}));
}

// The console program's arguments ask about the program itself; none of
// them shows the splash or touches the folder.
TEST(Program, AnswersItsArgumentsWithoutTouchingTheFolder) {
  const std::string usage = "Usage: jovloader [--help | --version]\n";
  const struct {
    const char* arguments;  // as a shell reads them
    int status;
    std::string out;  // ending in '*': only has to start with the rest
    std::string error;
  } rows[] = {
      {"--help", 0, usage + "*", ""},
      {"--version", 0, std::string("JOV Loader ") + JOV_VERSION_STRING + "\n*", ""},
      {"-h", 2, "", "jovloader: unexpected argument \"-h\"\n" + usage},
      {"'new\nline'", 2, "", "jovloader: unexpected argument \"new\\nline\"\n" + usage},
      {"\"$(printf 'A3\\302\\2332J')\"", 2, "",
       "jovloader: unexpected argument \"A3\\302\\2332J\"\n" + usage},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments);
    WorkFolder folder;
    WriteFile("a.jov", Encode("1"));
    const fs::path out = folder.record().parent_path() / "out", error = out.parent_path() / "error";
    const int status =
        std::system(("timeout 20 '" + (ProgramDir() / "jovloader").native() + "' " + row.arguments +
                     " >" + out.native() + " 2>" + error.native() + " </dev/null")
                        .c_str());
    EXPECT_EQ(WEXITSTATUS(status), row.status);
    std::string shown = ReadFile(out);
    if (row.out.ends_with('*')) shown = shown.substr(0, row.out.size() - 1) + '*';
    EXPECT_EQ(shown, row.out);
    EXPECT_EQ(ReadFile(error), row.error);
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator("."))
      left.insert(Utf8(entry.path().filename()));
    EXPECT_EQ(left, (std::set<std::string>{kConverter, "a.jov"}));
    EXPECT_FALSE(fs::exists(folder.record())) << "a conversion ran";
  }
}
#endif

}  // namespace
}  // namespace jov::test
