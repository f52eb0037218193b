#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <sstream>

#include "tests/support/test_support.h"

extern char** environ;

namespace jov::test {
namespace {

bool StartsMessage(const std::string& line) {
  return line.starts_with("An error occurred.") || line == "JOV Loading Complete";
}

// The console shows each message as its lines on standard output; a message
// starts with one of the program's message heads and runs until the next.
std::vector<std::string> SplitMessages(const std::string& output) {
  std::vector<std::string> messages;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (StartsMessage(line)) {
      messages.push_back(line);
    } else if (!messages.empty()) {
      messages.back() += "\n" + line;
    }
  }
  return messages;
}

}  // namespace

std::filesystem::path ProgramDir() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

ProgramRun RunLoaderProgram(const std::filesystem::path& folder,
                            const std::vector<std::pair<std::string, std::string>>& environment) {
  // The additions replace inherited entries of the same name: getenv finds
  // the first, so an appended duplicate would be ignored.
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view entry(*e);
    const bool replaced = std::any_of(environment.begin(), environment.end(), [&](const auto& add) {
      return entry.starts_with(add.first + "=");
    });
    if (!replaced) env.emplace_back(entry);
  }
  for (const auto& [name, value] : environment) env.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  int out[2];
  if (::pipe(out) != 0) ADD_FAILURE() << "pipe failed";

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // No terminal on standard input: the program must not wait for Enter.
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());

  const std::string program = (ProgramDir() / "jovloader").string();
  std::array<char*, 2> argv{const_cast<char*>(program.c_str()), nullptr};
  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ProgramRun run;
  if (spawned != 0) {
    ::close(out[0]);
    ADD_FAILURE() << "cannot start " << program;
    return run;
  }

  std::string output;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n > 0) {
      output.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(out[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.messages = SplitMessages(output);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace jov::test
