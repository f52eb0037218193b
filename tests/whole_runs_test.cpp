// Whole batch runs in real folders with the stand-in converter. Each row
// arranges a folder and compares the run's whole transcript (every message,
// the exit status, what the converter received, what is left on disk) with
// tests/expected/<row>.<platform>.txt.
#include <gtest/gtest.h>

#include <numeric>

#include "loader/decoder.h"
#include "loader/files.h"
#include "loader/loader.h"
#include "tests/support/support.h"

namespace jov::test {
namespace {

using namespace std::chrono_literals;

struct Row {
  const char* name;
  std::vector<Input> inputs = {};
  On on = On::kBoth;
  Switches standIn = {};
  std::function<Undo()> arrange = nullptr;  // what else the folder holds
  const char* folder = nullptr;             // where it runs, if not a fresh folder
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

const Switches kBFails = {{"STAND_IN_ONLY", "b_flex.cdi"}, {"STAND_IN_EXIT", "-1"}};
const std::vector<Input> kOne = {{"a.jov", "1"}};
const std::vector<Input> kThree = {{"a.jov", "1"}, {"b.jov", "2"}, {"c.jov", "3"}};

std::string EveryPlainByte() {
  std::string bytes(254, '\0');
  std::iota(bytes.begin(), bytes.end(), '\0');
  return bytes;
}

std::vector<Input> TwelveFailuresAndOneLoaded() {
  std::vector<Input> inputs;
  for (int i = 1; i <= 13; ++i) {
    inputs.push_back({.name = "Lesson " + std::to_string(i) + (i == 2 ? "\x7F" : "") + ".jov",
                      .stored = i == 4 ? Encode("4") : "\x01"});
  }
  return inputs;
}

// clang-format off
const Row kRows[] = {
    // What counts as an input, and how each one's intermediate name is made:
    // the cut, the spaces, two inputs sharing a name, an empty or read-only
    // input, an undecodable byte past the first block. Wine hides every
    // dot-file, so the hidden ones go without a dot there.
    {.name = "InputsAndTheirNames",
     .inputs = {{"Unit 3 Review.jov", EveryPlainByte()}, {"lesson1.JOV", ""},
                {"Grade 5 Science Unit Two.jov", "g"}, {"same name.jov", "space"},
                {"same_name.jov", "underscore"}, {"notes.jovx", "not an input"},
                {.name = "brøken.jov",
                 .stored = Encode(std::string(kDecodeBlockSize, 'x')) + "\x01"},
                {kIsWindows ? "hidden.jov" : ".hidden.jov", "hidden"}, {"system.jov", "system"}},
     .arrange = [] {
       fs::create_directory("folder.jov");
       fs::permissions("lesson1.JOV", fs::perms(0444));
       Hide(kIsWindows ? "hidden.jov" : ".hidden.jov");
       Hide("system.jov", true);
       return Undo(); }},
    // The folder is named, its path shown as a name is.
    {.name = "EmptyFolder", .arrange = [] {
       fs::create_directory(Utf8Path("A\u009B2J"));
       fs::current_path(Utf8Path("A\u009B2J"));
       return [] { fs::current_path(".."); }; }},
    {.name = "NegativeStatus", .inputs = kThree, .standIn = kBFails},
    // The completion lists the first ten failures in the order they were
    // loaded (the natural one), each as its own message shows it, then
    // counts the rest.
    {.name = "TwelveFailures", .inputs = TwelveFailuresAndOneLoaded()},
    // The status a crash ends with; a real one would summon wine's debugger.
    {.name = "CrashStatus", .inputs = kThree, .on = On::kWindows,
     .standIn = {{"STAND_IN_ONLY", "b_flex.cdi"}, {"STAND_IN_EXIT", "0xC0000005"}}},
    {.name = "StatusesOutOfRange", .inputs = kThree, .on = On::kWindows,
     .standIn = {{"STAND_IN_ONLY", "b_flex.cdi"}, {"STAND_IN_EXIT", "40000"}}},
    // A core-dumping signal; the sanitizers would otherwise catch it.
    {.name = "ConverterDumpsCore", .inputs = kThree, .on = On::kPosix,
     .standIn = {{"STAND_IN_ONLY", "b_flex.cdi"}, {"STAND_IN_SIGNAL", "11"},
                 {"ASAN_OPTIONS", "handle_segv=0:disable_coredump=0"}},
     .arrange = AllowCoreDumps},
    // The converter may remove its input itself, and may write more than any
    // pipe holds.
    {.name = "ConverterDeletesAndChatters", .inputs = kThree,
     .standIn = {{"STAND_IN_DELETE", "1"}, {"STAND_IN_STDOUT_BYTES", "200000"}}},
    {.name = "ConverterMissing", .inputs = {{"a.jov", "1"}, {"b.jov", "2"}},
     .arrange = [] { return fs::remove("CASLcdi2ppc.exe"), Undo(); }},
    // A script proves that no shell ever reads the arguments.
    {.name = "ConverterIsAScript", .inputs = kOne, .arrange = [] {
       WriteFile("CASLcdi2ppc.exe", "touch shell-ran\r\n");
       fs::permissions("CASLcdi2ppc.exe", fs::perms(0755));
       return Undo(); }},
    // What the converter leaves cannot be deleted as a file.
    {.name = "IntermediateCannotBeDeleted", .inputs = kThree,
     .standIn = {{"STAND_IN_ONLY", "b_flex.cdi"}, {"STAND_IN_KEEP", "1"}}},
    {.name = "InputGoneAfterListing", .inputs = kThree, .standIn = {{"STAND_IN_REMOVE", "b.jov"}}},
    // Shell metacharacters and names Windows would otherwise take for
    // devices, in the loader's hands (NUL.jov) or in the converter's
    // (NUL.x_flex.cdi), each reach the converter, which reads them decoded.
    {.name = "OddNames",
     .inputs = {{"semi;colon.jov", "1"}, {"amp & touch pwned.jov", "2"},
                {"$(touch pwned).jov", "3"}, {"it's %PATH% ^x.jov", "4"}, {"NUL.jov", "5"},
                {"CON.jov", "6"}, {"AUX.jov", "7"},
                {"COM1.jov", "8"}, {"PRN.jov", "9"}, {"LPT1.jov", "A"}, {"NUL.x.jov", "B"},
                {"aux.b.jov", "C"}, {"COM1.c.jov", "D"}, {"Lpt9.d.e.jov", "E"}}},
    // Characters Windows does not allow in names; a tab would smuggle in an
    // argument of its own; bytes that are not UTF-8 (overlong ones too) count
    // one character each.
    {.name = "OddNamesPosix",
     .inputs = {{"say \"hi\" | x.jov", "1"}, {"back\\slash.jov", "2"},
                {"x\t-CreatorID\tEvil.jov", "3"}, {"A" + std::string(30, '\xB0') + ".jov", "4"},
                {"\xC0\x80\xC1\x80" + std::string(18, '\xC3') + ".jov", "5"}},
     .on = On::kPosix},
    // A leftover of an interrupted run is replaced; whatever else holds the
    // name (on Windows a read-only file too) is left alone.
    {.name = "NameTaken",
     .inputs = {{"a.jov", "1"}, {"b.jov", "2"}, {"c.jov", "3"}, {"d.jov", "4"}, {"e.jov", "5"}},
     .arrange = [] {
       fs::create_directory("a_flex.cdi");
       fs::create_hard_link("c.jov", "b_flex.cdi");
       WriteFile("d_flex.cdi", "stale");
       WriteFile("e_flex.cdi", "stale");
       fs::permissions("e_flex.cdi", fs::perms(0444));
       return Undo(); }},
    // Links lead elsewhere; a FIFO would hang the run; escapes in a name
    // would rewrite the terminal's screen.
    {.name = "LinksFifosAndControlCharacters",
     .inputs = {{"a.jov", "1"}, {"b.jov", "2"}, {"del\x7F\u009B.jov", "5"},
                {.name = "\033[2K\rAll\tloaded\n.jov", .stored = "\x01"}},
     .on = On::kPosix,
     .arrange = [] {
       fs::create_symlink("a.jov", "a_flex.cdi");
       MakeFifo("b_flex.cdi");
       fs::create_directory("del\x7F\u009B_flex.cdi");
       fs::create_symlink("b.jov", "link.jov");
       MakeFifo("fifo.jov");
       return Undo(); }},
    {.name = "DiskFull", .inputs = {{"a.jov", std::string(100 << 10, 'x')}, {"b.jov", "2"}},
     .on = On::kPosix, .arrange = [] { return LimitFileSize(64 << 10); }},
    {.name = "ReadOnlyFolderWithLeftover", .inputs = kOne, .on = On::kPosix, .arrange = [] {
       WriteFile("a_flex.cdi", "");
       return AsAnotherUser(".", fs::perms(0555)); }},
    // A read-only input is only read.
    {.name = "UnreadableInput", .inputs = {{"a\x7F.jov", "1"}, {"b.jov", "2"}}, .on = On::kPosix,
     .arrange = [] {
       fs::permissions(".", fs::perms::all);
       fs::permissions("b.jov", fs::perms(0444));
       return AsAnotherUser("a\x7F.jov", fs::perms::none); }},
    {.name = "ReadError", .inputs = {{"b.jov", "2"}}, .on = On::kPosix,
     .arrange = [] { return fs::create_symlink("/proc/self/mem", "a.jov"), Undo(); }},
    // Another run holds the folder: nothing is touched.
    {.name = "AnotherRunHoldsTheFolder", .inputs = kOne, .arrange = [] {
       auto lock = std::make_shared<decltype(LockWorkingFolder())>(LockWorkingFolder());
       return [lock] {}; }},
    // Neither the lock nor the listing can be had.
    {.name = "UnlistableFolder", .inputs = kOne, .on = On::kPosix,
     .arrange = [] { return AsAnotherUser(".", fs::perms(0311)); }},
    // Removing a leftover waits for whoever holds it open for a moment. Under
    // wine a file deleted while held open keeps its name and can still be
    // looked at: to the loader, the name was taken again.
    {.name = "LeftoverHeldOpen", .inputs = kOne, .on = On::kWindows, .arrange = [] {
       WriteFile("a_flex.cdi", "stale");
       return HoldOpen("a_flex.cdi", kShareRead, false, 300ms); }},
    {.name = "LeftoverTakenAgain", .inputs = kOne, .on = On::kWindows, .arrange = [] {
       WriteFile("a_flex.cdi", "stale");
       return HoldOpen("a_flex.cdi", kShareRead | kShareDelete, false, 300ms); }},
    // Nobody may change an input while it is read: one that another program
    // holds open for writing, all through the run, is not read.
    {.name = "InputHeldOpenForWriting", .inputs = {{"a.jov", "1"}, {"b.jov", "2"}},
     .on = On::kWindows, .arrange = [] { return HoldOpen("a.jov", kShareRead, true, 1h); }},
    // In a drive's root the folder's path ends in a separator already.
    {.name = "DriveRoot", .inputs = {{"a.jov", "1"}, {.name = "b.jov", .stored = "\x01"}},
     .on = On::kWindows, .folder = "J:\\"},
    // A folder that takes no new file, as a read-only share: neither the
    // lock nor any intermediate file.
    {.name = "UnwritableFolder", .inputs = kOne, .on = On::kWindows, .arrange = MakeUnwritable},
    // Names beyond ASCII, as the converter receives them: as their bytes on
    // POSIX; on Windows in the ANSI code page, where each character it cannot
    // spell exactly is an underscore (best fit would hand the converter
    // "Lodz" for "Łódź"), and the OEM code page is not the one. The failure
    // names the input as the folder lists it.
    {.name = "NamesBeyondAscii",
     .inputs = {{"Café crème.jov", "1"}, {"Łódź.jov", "2"}, {"Обзор урока.jov", "3"},
                {"第三課 復習.jov", "4"}, {"🎒 quiz.jov", "5"}, {"Урок 1.jov", "6"},
                {"Тест 1.jov", "7"}, {"€ and Ђ.jov", "8"}},
     .standIn = {{"STAND_IN_ONLY", "_______flex.cdi/第三課_復習_flex.cdi"},
                 {"STAND_IN_EXIT", "-1"}}},
};
// clang-format on

class WholeRun : public testing::TestWithParam<Row> {};

TEST_P(WholeRun, ShowsWhatItsTranscriptSays) {
  const Row& row = GetParam();
  if (!RunsHere(row.on)) GTEST_SKIP() << "not on this platform";
  if (row.folder && !fs::exists(row.folder)) GTEST_SKIP() << row.folder << " does not exist";
  const WorkFolder folder(row.inputs, row.standIn, row.folder ? row.folder : "");
  const Undo undo = row.arrange ? row.arrange() : nullptr;
  User user;
  const int status = RunLoader();
  const std::string shown = user.Finish();
  if (undo) undo();
  ExpectTranscript(row.name, folder.Transcript(shown, "exit status " + std::to_string(status)));
}

INSTANTIATE_TEST_SUITE_P(LoadAllFiles, WholeRun, testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace jov::test
