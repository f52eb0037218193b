// Helpers for tests that touch real files and run the real programs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace jov::test {

// A fresh, empty folder that is removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Makes `folder` the working directory for the lifetime of this object.
class ScopedWorkingDirectory {
 public:
  explicit ScopedWorkingDirectory(const std::filesystem::path& folder);
  ~ScopedWorkingDirectory();
  ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
  ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& bytes);
// `plain` with 2 added to every byte, as inputs are stored.
std::string Encode(const std::string& plain);
// A path from UTF-8 text, so tests can spell non-ASCII names portably.
std::filesystem::path Utf8Path(const std::string& utf8);

// The folder holding the built programs (jovloader, CASLcdi2ppc.exe) and the
// tests themselves.
std::filesystem::path ProgramDir();
// Copies the stand-in converter into `folder` under its real name.
void InstallConverter(const std::filesystem::path& folder);

struct ProgramRun {
  std::vector<std::string> messages;  // UTF-8, in the order they were shown
  int exitCode = -1;
};

// Runs the real jovloader with `folder` as its working directory and with
// `environment` added to its environment (the stand-in converter's test
// switches), answers every message with OK, and waits for it to end.
ProgramRun RunLoaderProgram(
    const std::filesystem::path& folder,
    const std::vector<std::pair<std::string, std::string>>& environment = {});

}  // namespace jov::test
