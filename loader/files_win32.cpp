#include <windows.h>

#include <algorithm>
#include <string>

#include "loader/files.h"
#include "loader/win32_support.h"

namespace jov {
namespace {

using win32::FindHandle;

SystemError LastError() { return SystemError{::GetLastError()}; }

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Hidden and system files, like directories, are not the user's inputs.
constexpr DWORD kExcludedAttributes =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The wildcard also matches a file's 8.3 short name, so "notes.jovx" comes
// back for "*.jov"; only names that really end in ".jov" are inputs.
bool EndsWithJov(const std::wstring& name) {
  if (name.size() < 4) return false;
  return ::CompareStringOrdinal(name.c_str() + name.size() - 4, 4, L".jov", 4, TRUE) == CSTR_EQUAL;
}

// ReadFile and WriteFile take 32-bit lengths.
DWORD Chunk(std::size_t size) { return static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)); }

}  // namespace

Result<std::vector<NativeString>> ListInputs() {
  std::vector<NativeString> names;
  WIN32_FIND_DATAW found{};
  const FindHandle find(::FindFirstFileW(L".\\*.jov", &found));
  if (!find) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return names;
    return SystemError{error};
  }
  do {
    if ((found.dwFileAttributes & kExcludedAttributes) == 0 && EndsWithJov(found.cFileName)) {
      names.emplace_back(found.cFileName);
    }
  } while (::FindNextFileW(find.get(), &found));
  return names;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (handle_ != kNoHandle) ::CloseHandle(Handle(handle_));
    handle_ = std::exchange(other.handle_, kNoHandle);
  }
  return *this;
}

File::~File() {
  if (handle_ != kNoHandle) ::CloseHandle(Handle(handle_));
}

Result<std::size_t> File::Read(std::span<std::byte> buffer) {
  std::size_t got = 0;
  while (got < buffer.size()) {
    DWORD n = 0;
    if (!::ReadFile(Handle(handle_), buffer.data() + got, Chunk(buffer.size() - got), &n,
                    nullptr)) {
      return LastError();
    }
    if (n == 0) break;
    got += n;
  }
  return got;
}

Result<void> File::Write(std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    DWORD n = 0;
    if (!::WriteFile(Handle(handle_), bytes.data(), Chunk(bytes.size()), &n, nullptr)) {
      return LastError();
    }
    bytes = bytes.subspan(n);
  }
  return {};
}

Result<void> File::Close() {
  if (!::CloseHandle(Handle(std::exchange(handle_, kNoHandle)))) return LastError();
  return {};
}

Result<File> OpenForReading(const NativeString& name) {
  const HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  return File(reinterpret_cast<std::intptr_t>(file));
}

Result<File> CreateForWriting(const NativeString& name) {
  const HANDLE file =
      ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  return File(reinterpret_cast<std::intptr_t>(file));
}

Result<void> RemoveFile(const NativeString& name) {
  if (::DeleteFileW(name.c_str())) return {};
  const DWORD error = ::GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
  return SystemError{error};
}

}  // namespace jov
