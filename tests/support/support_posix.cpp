#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "tests/support/support.h"

namespace jov::test {
namespace {

// The loader shows names as the locale prints them. The tests run it, in
// this process and as a program of its own, in UTF-8, as nearly every
// system does, whatever the machine running them has set.
class Utf8Locale : public testing::Environment {
 public:
  void SetUp() override {
    ::setenv("LC_ALL", "C.UTF-8", 1);
    std::setlocale(LC_CTYPE, "");
  }
};
[[maybe_unused]] testing::Environment* const kUtf8Locale =
    testing::AddGlobalTestEnvironment(new Utf8Locale);

}  // namespace

fs::path ProgramDir() { return fs::read_symlink("/proc/self/exe").parent_path(); }

fs::path Verbatim(const fs::path& path) { return path; }

unsigned AnsiCodePage() { return 0; }
unsigned ScreenDpi() { return 96; }
std::vector<std::string> Configurations() { return {"posix"}; }

void SetVariable(const std::string& name, const std::string& value) {
  value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1);
}

// Access rights other than a file's usual rw-r--r-- (a folder's rwxr-xr-x);
// the tests run with umask 022.
std::string AttributesOf(const fs::path& file) {
  struct stat info {};
  if (::lstat(file.c_str(), &info) != 0 || S_ISLNK(info.st_mode)) return {};
  const unsigned mode = info.st_mode & 07777;
  if (mode == (S_ISDIR(info.st_mode) ? 0755u : 0644u)) return {};
  char shown[32];
  std::snprintf(shown, sizeof shown, ", mode %03o", mode);
  return shown;
}

void SetUsualAccessRights() { ::umask(022); }

// The file-system user is this thread's alone and ends at a program's exec,
// so the converter keeps root's rights.
Undo AsAnotherUser(const fs::path& path, fs::perms perms) {
  fs::permissions(path, perms);
  ::setfsuid(65534);
  return [] { ::setfsuid(::geteuid()); };
}

// The loader takes the SIGXFSZ its own write raises for the failed write it
// is; the test's own writes stay below the limit.
Undo LimitFileSize(std::size_t bytes) {
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  const rlimit limited{bytes, saved.rlim_max};
  ::setrlimit(RLIMIT_FSIZE, &limited);
  return [saved] { ::setrlimit(RLIMIT_FSIZE, &saved); };
}

Undo AllowCoreDumps() {
  rlimit saved{};
  ::getrlimit(RLIMIT_CORE, &saved);
  const rlimit allowed{saved.rlim_max, saved.rlim_max};
  ::setrlimit(RLIMIT_CORE, &allowed);
  return [saved] { ::setrlimit(RLIMIT_CORE, &saved); };
}

void MakeFifo(const fs::path& path) { ::mkfifo(path.c_str(), 0600); }

Undo HoldOpen(const fs::path&, unsigned, bool, std::chrono::milliseconds) {
  ADD_FAILURE() << "nothing holds a file on POSIX";
  return nullptr;
}

Undo MakeUnwritable() {
  ADD_FAILURE() << "POSIX rows take access away instead";
  return nullptr;
}

void Hide(const fs::path&, bool) {}

// Standard output goes to a file, which the programs started meanwhile
// share; standard input is empty.
struct User::State {
  int savedIn = ::dup(STDIN_FILENO);
  int savedOut = ::dup(STDOUT_FILENO);
  std::FILE* file = std::tmpfile();
};

User::User(UserPlan) : state_(std::make_unique<State>()) {
  std::cout.flush();
  const int null = ::open("/dev/null", O_RDONLY);
  ::dup2(null, STDIN_FILENO);
  ::close(null);
  ::dup2(::fileno(state_->file), STDOUT_FILENO);
}

User::~User() { Finish(); }

std::string User::Finish() {
  if (state_->savedOut < 0) return {};
  std::cout.flush();
  ::dup2(state_->savedIn, STDIN_FILENO);
  ::dup2(state_->savedOut, STDOUT_FILENO);
  ::close(state_->savedIn);
  ::close(state_->savedOut);
  state_->savedOut = -1;
  std::rewind(state_->file);
  std::string output;
  for (int c; (c = std::fgetc(state_->file)) != EOF;) output += static_cast<char>(c);
  std::fclose(state_->file);

  return "standard output:" + Lines(output);
}

}  // namespace jov::test
