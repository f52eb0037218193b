// Helpers for tests that touch real files, set the stand-in converter's
// switches and read what the loader tells the user.
#pragma once

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace jov::test {

std::filesystem::path Utf8Path(const std::string& utf8);
std::string Utf8(const std::filesystem::path& path);
// `path` spelled so the system takes it literally: on Windows "NUL.jov" is
// otherwise the NUL device.
std::filesystem::path Verbatim(const std::filesystem::path& path);
std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& bytes);
// `plain` with 2 added to every byte, as inputs are stored.
std::string Encode(std::string plain);
// Makes `file` hidden, or a system file: by its name on POSIX (a dot-file),
// by its attribute on Windows.
void Hide(const std::filesystem::path& file, bool system = false);

// The folder holding the built programs (jovloader, CASLcdi2ppc.exe) and the
// tests themselves.
std::filesystem::path ProgramDir();

// The code page in which the converter receives its arguments: GetACP() on
// Windows; 0 on POSIX, where names pass as bytes.
unsigned AnsiCodePage();

using Environment = std::vector<std::pair<std::string, std::string>>;

// Sets a variable for this process and the programs it starts; an empty
// value removes it.
void SetVariable(const std::string& name, const std::string& value);

// A fresh folder holding a copy of the stand-in converter, made the working
// directory while this lives, and beside it the converter's record. The
// converter's switches are set meanwhile. All is removed afterwards.
// Should the test still use it after a minute, the test program ends with a
// failure: a fault that makes a run hang fails in seconds, not at ctest's
// limit.
class WorkFolder {
 public:
  explicit WorkFolder(Environment converter = {});
  ~WorkFolder();
  std::filesystem::path path() const { return root_ / "work"; }
  std::filesystem::path record() const { return root_ / "record.txt"; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path root_;
  Environment converter_;
  std::promise<void> done_;
};

// Collects every message shown while it lives, by this process or a program
// it starts, answering each as a user would: on POSIX from standard output
// (standard input is empty meanwhile), on Windows from the message boxes,
// each answered with OK.
class MessageCapture {
 public:
  MessageCapture();
  ~MessageCapture();
  // Ends the capture; the messages in the order they were shown, UTF-8.
  std::vector<std::string> Finish();
  // Windows: for each message, whether its box showed an icon.
  std::vector<bool> Icons() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace jov::test
