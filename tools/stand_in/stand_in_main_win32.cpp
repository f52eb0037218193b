#include <windows.h>

#include <string>

#include "stand_in.h"

namespace {

std::string AnsiToUtf8(const std::string& ansi) {
  const int size = static_cast<int>(ansi.size());
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  wide.resize(static_cast<std::size_t>(
      ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), size)));
  const std::u8string utf8 = std::filesystem::path(wide).u8string();
  return {utf8.begin(), utf8.end()};
}

}  // namespace

// main, not wmain: the arguments arrive as the real converter gets them, in
// the ANSI code page, whatever the wide command line held.
int main(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  const auto options =
      jov::stand_in::ReadOptions([](const char* name) -> std::optional<std::filesystem::path> {
        const std::wstring wideName(name, name + std::char_traits<char>::length(name));
        wchar_t value[32768];
        const DWORD n = ::GetEnvironmentVariableW(wideName.c_str(), value, 32768);
        if (n == 0 || n >= 32768) return std::nullopt;
        return std::wstring(value, n);
      });
  const int status = jov::stand_in::RunStandIn(args, options, AnsiToUtf8);
  // Through ExitProcess so that every 32-bit status, 0xC0000005 included,
  // reaches the parent unchanged.
  ::ExitProcess(static_cast<UINT>(status));
}
