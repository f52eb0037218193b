#include <windows.h>

#include <chrono>
#include <cstdio>

#include "benchmarks/bench.h"

namespace jov::bench {

bool StartAndWait(int count) {
  for (int i = 0; i < count; ++i) {
    wchar_t commandLine[] = L".\\CASLcdi2ppc.exe -DbFile lesson_0000_flex.cdi -CreatorID Wmtk";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                          nullptr, nullptr, &startup, &info)) {
      std::fprintf(stderr, "start %d: CreateProcessW error %lu\n", i + 1, ::GetLastError());
      return false;
    }
    DWORD status = 1;
    ::WaitForSingleObject(info.hProcess, INFINITE);
    ::GetExitCodeProcess(info.hProcess, &status);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    if (status != 0) {
      std::fprintf(stderr, "start %d: status %lu\n", i + 1, status);
      return false;
    }
  }
  return true;
}

// VirtualAlloc hands out whole pages.
bool BlockCopy(const NativeString& input, const NativeString& output) {
  constexpr DWORD kBlock = 1 << 20;
  const HANDLE in = ::CreateFileW(input.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  const HANDLE out =
      ::CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  void* buffer = ::VirtualAlloc(nullptr, kBlock, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  bool ok = in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && buffer != nullptr;
  for (DWORD got = 0; ok && ::ReadFile(in, buffer, kBlock, &got, nullptr) && got != 0;) {
    DWORD put = 0;
    ok = ::WriteFile(out, buffer, got, &put, nullptr) && put == got;
  }
  if (buffer != nullptr) ::VirtualFree(buffer, 0, MEM_RELEASE);
  if (in != INVALID_HANDLE_VALUE) ::CloseHandle(in);
  if (out != INVALID_HANDLE_VALUE) ok = ::CloseHandle(out) && ok;
  return ok;
}

// The input then counts as not loaded, and the dropped round says why.
std::jthread AnswerMessages() {
  return std::jthread([](const std::stop_token& stop) {
    while (!stop.stop_requested()) {
      if (const HWND box = ::FindWindowW(L"#32770", L"JOV Loader")) {
        wchar_t text[1024] = L"";
        ::GetDlgItemTextW(box, 0xFFFF, text, 1024);  // the box's message
        std::fprintf(stderr, "message box: %ls\n", text);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
}

}  // namespace jov::bench
