#include <windows.h>

#include <string>

#include "converter.h"

// wmain, so names the ANSI code page cannot spell still arrive intact.
int wmain(int argc, wchar_t** argv) {
  const std::vector<std::filesystem::path> args(argv + 1, argv + argc);
  const auto options =
      jov::converter::ReadOptions([](const char* name) -> std::optional<std::filesystem::path> {
        const std::wstring wideName(name, name + std::char_traits<char>::length(name));
        wchar_t value[32768];
        const DWORD n = ::GetEnvironmentVariableW(wideName.c_str(), value, 32768);
        if (n == 0 || n >= 32768) return std::nullopt;
        return std::wstring(value, n);
      });
  const int status = jov::converter::RunConverter(args, options);
  // Through ExitProcess so that every 32-bit status, 0xC0000005 included,
  // reaches the parent unchanged.
  ::ExitProcess(static_cast<UINT>(status));
}
