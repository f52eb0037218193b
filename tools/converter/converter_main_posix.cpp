#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "converter.h"

int main(int argc, char** argv) {
  // JOV_FAKE_WAIT: note this process's id in the file named and wait, as a
  // slow conversion would, for a signal to end it.
  if (const char* wait = std::getenv("JOV_FAKE_WAIT"); wait && *wait) {
    std::ofstream(wait) << ::getpid() << '\n';
    ::sleep(60);
  }
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto options =
      jov::converter::ReadOptions([](const char* name) -> std::optional<std::filesystem::path> {
        if (const char* value = std::getenv(name)) return value;
        return std::nullopt;
      });
  return jov::converter::RunConverter(args, options, [](const std::string& s) { return s; });
}
