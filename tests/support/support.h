// What every test shares: real folders with the stand-in converter beside
// the inputs, one deadline for every wait, and transcripts: all that a user
// and the disk can observe of a run, as text compared whole with the
// expected transcript kept in tests/expected/.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace jov::test {

namespace fs = std::filesystem;

#ifdef _WIN32
inline constexpr bool kIsWindows = true;
#else
inline constexpr bool kIsWindows = false;
#endif

// Where a row runs.
enum class On { kBoth, kPosix, kWindows };
inline bool RunsHere(On on) { return on == On::kBoth || (on == On::kWindows) == kIsWindows; }

// Every wait in the tests ends by one of these.
class Deadline {
 public:
  explicit Deadline(std::chrono::milliseconds limit = std::chrono::seconds(30))
      : end_(std::chrono::steady_clock::now() + limit) {}
  bool Passed() const { return std::chrono::steady_clock::now() > end_; }
  // Polls `done` until it holds; false when the deadline passed first.
  bool Await(const std::function<bool()>& done) const;

 private:
  std::chrono::steady_clock::time_point end_;
};

fs::path Utf8Path(std::string_view utf8);
std::string Utf8(const fs::path& path);
// `path` spelled so the system takes it literally: on Windows "NUL.jov" is
// otherwise the NUL device.
fs::path Verbatim(const fs::path& path);
std::string ReadFile(const fs::path& file);
void WriteFile(const fs::path& file, std::string_view bytes);
// `plain` with 2 added to every byte, as inputs are stored.
std::string Encode(std::string plain);
// UTF-8 text with every control byte and every byte that is not UTF-8 as
// \xNN, so that a transcript shows what a name holds.
std::string Visible(std::string_view utf8);

// `text` as a transcript shows it: each line indented and made Visible, one
// longer than 100 columns shortened to its start and its length (a
// converter's chatter); " nothing" when there is nothing.
std::string Lines(std::string_view text);

// The folder holding the built programs and the tests.
fs::path ProgramDir();
// The code page in which the converter receives its arguments: GetACP() on
// Windows, 0 on POSIX, where names pass as bytes.
unsigned AnsiCodePage();
// The screen's density in dots per inch (96 on POSIX).
unsigned ScreenDpi();
// What a run may show differently in, the most particular first: "posix";
// "windows" (64-bit, code page 1252 at 96 dpi), or "windows32", or with the
// code page and density, "windows-1251-144dpi".
std::vector<std::string> Configurations();
// Sets a variable for this process and the programs it starts; an empty
// value removes it.
void SetVariable(const std::string& name, const std::string& value);

struct Input {
  std::string name;  // UTF-8
  std::string plain = {};
  std::optional<std::string> stored = {};  // the bytes on disk, when not `plain` encoded
  std::string Stored() const { return stored ? *stored : Encode(plain); }
};

// The stand-in converter's switches (STAND_IN_EXIT and the like).
using Switches = std::vector<std::pair<std::string, std::string>>;

// A fresh folder (or `at`, an empty one such as a drive's root) holding
// `inputs` and a copy of the stand-in converter, made the working directory
// while this lives, with the converter's switches set; all is removed
// afterwards. A test still using it after a
// minute ends the test program with a failure: a fault that makes a run
// hang fails in a minute, not at ctest's limit.
class WorkFolder {
 public:
  explicit WorkFolder(std::vector<Input> inputs = {}, Switches standIn = {}, fs::path at = {});
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  fs::path path() const { return work_; }
  fs::path record() const { return root_ / "record.txt"; }

  // A run's whole transcript: what the user saw (`shown`), how it ended
  // ("exit status 1"), the converter's runs in order with what each read,
  // and every entry left in the folder but the converter and its output,
  // with its kind, size, links and attributes, and whether an input still
  // holds what was written. The folder's own path reads "<work folder>".
  std::string Transcript(const std::string& shown, const std::string& ended) const;
  // The part of it that tells what is in the folder now.
  std::string Contents() const;

 private:
  std::vector<Input> inputs_;
  Switches standIn_;
  fs::path previous_;
  fs::path root_;
  fs::path work_;
  std::promise<void> done_;
};

// What a row arranges around its run besides the inputs. Each returns what
// undoes it once the run is over. Those a platform lacks are never asked
// for there: a row says where it runs.
using Undo = std::function<void()>;
// POSIX: this thread acts as an ordinary user (root may write anywhere)
// until undone, `path` having been given `perms`. Its programs do not.
Undo AsAnotherUser(const fs::path& path, fs::perms perms);
// POSIX: writes past `bytes` fail with EFBIG, as on a full disk.
Undo LimitFileSize(std::size_t bytes);
// POSIX: a program ended by a core-dumping signal dumps core.
Undo AllowCoreDumps();
void MakeFifo(const fs::path& path);
// Windows: another program holds `file` open for `time`, or until undone if
// that comes first, opened for reading (or writing) and sharing it as
// `share` says (the FILE_SHARE_* bits).
enum Share : unsigned { kShareRead = 1, kShareWrite = 2, kShareDelete = 4 };
Undo HoldOpen(const fs::path& file, unsigned share, bool writing, std::chrono::milliseconds time);
// Windows under wine: the working directory takes no new file (made
// immutable on the Linux side), as a read-only share.
Undo MakeUnwritable();
// Makes `file` hidden, or a system file: by its attribute on Windows; on
// POSIX a dot-file is hidden by its name.
void Hide(const fs::path& file, bool system = false);

// A person at the screen while a run goes on in this process, or in a
// program it starts, who answers every message as it comes.
//
// On POSIX they read standard output; standard input is empty, so no
// message waits. On Windows they read each message box (caption, icon,
// whether it is in front, its text) and press OK once it has been open
// `holdBoxes`. Where they `watchProgress`, they also note when the
// progress window appears, each box's owner and the window behind it, and
// do each of `steps` to the window once it shows the step's text, a box
// being open or not. Elsewhere the window shows or not as fast as the
// machine is, and only a box whose owner does not match it is noted.
enum class Act { kLook, kClickStop, kPressEscape, kCloseWindow, kPressTabThenSpace };
struct Step {
  std::string when;  // a text the progress window shows: "Loading b.jov", "2 of 3"
  Act act;
};
struct UserPlan {
  bool watchProgress = false;
  std::chrono::milliseconds holdBoxes{0};
  std::vector<Step> steps = {};
};
class User {
 public:
  explicit User(UserPlan plan = {});
  ~User();
  // Ends the watch: what was shown and done, in order, as transcript lines.
  std::string Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A transcript cannot hold a time left that depends on the machine's speed:
// the first one in `transcript`, in the window's words or the console's, is
// replaced by whether it was within reason of the `truth`, the time the
// batch then took: from a third of it to three times it.
std::string JudgeTimeLeft(std::string transcript, std::chrono::milliseconds truth);

// Compares a transcript with tests/expected/<name>.<configuration>.txt, the
// first of Configurations() that has one. With JOV_UPDATE_EXPECTED=1 in the
// environment it writes the file instead, for a person to review.
void ExpectTranscript(const std::string& name, const std::string& actual);

}  // namespace jov::test
