#include <cstdlib>

#include "converter.h"

int main(int argc, char** argv) {
  const std::vector<std::filesystem::path> args(argv + 1, argv + argc);
  const auto options =
      jov::converter::ReadOptions([](const char* name) -> std::optional<std::filesystem::path> {
        if (const char* value = std::getenv(name)) return value;
        return std::nullopt;
      });
  return jov::converter::RunConverter(args, options);
}
