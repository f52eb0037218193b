#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

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

std::filesystem::path ProgramDir() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

std::filesystem::path Verbatim(const std::filesystem::path& path) { return path; }

void Hide(const std::filesystem::path&, bool) {}

unsigned AnsiCodePage() { return 0; }

void SetVariable(const std::string& name, const std::string& value) {
  value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1);
}

// Standard output goes to a file, which the children started meanwhile
// share; standard input is empty, so nothing waits for Enter.
struct MessageCapture::State {
  int savedIn = ::dup(STDIN_FILENO);
  int savedOut = ::dup(STDOUT_FILENO);
  std::FILE* file = std::tmpfile();
};

MessageCapture::MessageCapture() : state_(std::make_unique<State>()) {
  std::cout.flush();
  const int null = ::open("/dev/null", O_RDONLY);
  ::dup2(null, STDIN_FILENO);
  ::close(null);
  ::dup2(::fileno(state_->file), STDOUT_FILENO);
}

MessageCapture::~MessageCapture() { Finish(); }

std::vector<std::string> MessageCapture::Finish() {
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

  // A message starts with one of the program's heads and runs until the
  // next; a splash's framed block comes before a run's first.
  std::vector<std::string> messages;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("An error occurred.") || line == "JOV Loading Complete") {
      messages.push_back(line);
    } else if (!messages.empty() && !line.empty() && line[0] != '+' && line[0] != '|') {
      messages.back() += "\n" + line;
    }
  }
  return messages;
}

std::vector<bool> MessageCapture::Icons() const { return {}; }

}  // namespace jov::test
