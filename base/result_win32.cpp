#include <windows.h>

#include <cstdio>
#include <string>

#include "base/result.h"

namespace jov {

// Not std::system_category(): under mingw-w64, GCC 12's libstdc++ words
// Win32 codes its own way ("Access denied" for 5, "File not found" for 2),
// not as the system does ("Access is denied.").
NativeString Describe(SystemError error, NativeStringView subject) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error.code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message;
  if (length != 0 && text != nullptr) message.assign(text, length);
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() &&
         (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ')) {
    message.pop_back();
  }
  const std::wstring_view insert = L"%1";
  for (auto at = message.find(insert); at != std::wstring::npos; at = message.find(insert, at)) {
    message.replace(at, insert.size(), subject);
    at += subject.size();
  }
  if (message.empty()) {
    wchar_t fallback[32];
    std::swprintf(fallback, 32, L"Error %lu.", static_cast<unsigned long>(error.code));
    message = fallback;
  }
  return message;
}

}  // namespace jov
