// The Windows build's timings, one measurement per run, printed in seconds;
// benchmarks/report.py runs them in turns and takes the ratios.
//
//   jov_win_bench decode NAME   DecodeFile from NAME, then the intermediate deleted
//   jov_win_bench copy NAME     a ReadFile/WriteFile block copy of NAME, then deleted
//   jov_win_bench load COUNT    LoadAllFiles over the working folder's COUNT inputs
//   jov_win_bench spawn COUNT   the folder's converter started and waited for COUNT times
//
// The program itself waits on its splash and ends on a message box, so it is
// the library's calls that are timed, in process, against the plainest Win32
// code doing the same work. Names are relative to the working folder.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "loader/decoder.h"
#include "loader/loader.h"

namespace {

// Every call into the loader's API is here.
bool LoaderDecode(const std::wstring& input, const std::wstring& intermediate) {
  return jov::DecodeFile(input, intermediate).ok();
}

// A failed input is reported in a message box, which would hold the run
// until someone answered it: its text goes to standard error, so a dropped
// round says why, and it is answered here, the input counted as not loaded.
class BoxAnswerer {
 public:
  BoxAnswerer()
      : thread_([](std::stop_token stop) {
          while (!stop.stop_requested()) {
            if (const HWND box = ::FindWindowW(L"#32770", L"JOV Loader")) {
              wchar_t text[1024] = L"";
              ::GetDlgItemTextW(box, 0xFFFF, text, 1024);  // the box's message
              std::fprintf(stderr, "message box: %ls\n", text);
              ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
          }
        }) {}

 private:
  std::jthread thread_;
};

int LoaderLoadAll() {
  const BoxAnswerer answerer;
  return jov::LoadAllFiles().loaded;
}

constexpr const wchar_t* kCopy = L"bench_flex.cdi";
constexpr DWORD kBlock = 1 << 20;

// What a careful Win32 program does: a page-aligned buffer (VirtualAlloc
// hands out whole pages) moved through the same sequential-scan handles.
bool BlockCopy(const std::wstring& input) {
  const HANDLE in = ::CreateFileW(input.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  const HANDLE out = ::CreateFileW(kCopy, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
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

// The loader's own command line, for an intermediate file that need not
// exist: the converter here exits at once.
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

double Now() {
  LARGE_INTEGER ticks, frequency;
  ::QueryPerformanceCounter(&ticks);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(ticks.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: jov_win_bench decode|copy NAME | load|spawn COUNT\n");
    return 2;
  }
  const std::string mode = argv[1];
  const std::string argument = argv[2];
  const std::wstring name(argument.begin(), argument.end());
  const int count = std::atoi(argv[2]);

  const double start = Now();
  bool ok = false;
  if (mode == "decode") {
    ok = LoaderDecode(name, kCopy) && ::DeleteFileW(kCopy);
  } else if (mode == "copy") {
    ok = BlockCopy(name) && ::DeleteFileW(kCopy);
  } else if (mode == "load") {
    ok = LoaderLoadAll() == count;
  } else if (mode == "spawn") {
    ok = StartAndWait(count);
  }
  const double elapsed = Now() - start;
  if (!ok) {
    std::fprintf(stderr, "jov_win_bench %s %s failed\n", argv[1], argv[2]);
    return 1;
  }
  std::printf("%.6f\n", elapsed);
  return 0;
}
