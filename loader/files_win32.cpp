#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

#include "base/win32_handles.h"
#include "loader/files.h"
#include "loader/win32_paths.h"

namespace jov {
namespace {

using win32::FindHandle;

SystemError LastError() { return SystemError{::GetLastError()}; }

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Hidden and system files, like directories, are not the user's inputs.
constexpr DWORD kExcludedAttributes =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The wildcard also matches a file's 8.3 short name, so "notes.jovx" comes
// back for "*.jov"; only names that really end in ".jov" are inputs.
bool EndsWithJov(const std::wstring& name) {
  if (name.size() < 4) return false;
  return ::CompareStringOrdinal(name.c_str() + name.size() - 4, 4, L".jov", 4, TRUE) == CSTR_EQUAL;
}

// The file `name` in the working directory.
std::wstring FullPath(const std::wstring& name) {
  std::wstring folder(::GetCurrentDirectoryW(0, nullptr), L'\0');
  folder.resize(::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
  return VerbatimPath(std::move(folder), name);
}

// A file that someone (a virus scanner, the search indexer) holds open for a
// moment is tried again, as SQLite's winDelete does: about ten tries over
// about a second. One that is gone counts as removed.
Result<void> Remove(const std::wstring& path) {
  constexpr int kTries = 10;
  for (int attempt = 1;; ++attempt) {
    if (::DeleteFileW(path.c_str())) return {};
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
    const bool transient = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                           error == ERROR_LOCK_VIOLATION;
    if (!transient || attempt == kTries) return SystemError{error};
    ::Sleep(25 * static_cast<DWORD>(attempt));
  }
}

// ReadFile and WriteFile take 32-bit lengths.
DWORD Chunk(std::size_t size) { return static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)); }

}  // namespace

std::wstring VerbatimPath(std::wstring folder, const std::wstring& name) {
  if (folder.empty()) return name;
  if (folder.back() != L'\\') folder += L'\\';
  if (folder.starts_with(L"\\\\?\\")) return folder + name;
  // "\\server\share\..." becomes "\\?\UNC\server\share\...".
  if (folder.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + folder.substr(2) + name;
  return L"\\\\?\\" + folder + name;
}

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
  // NTFS lists in its own upper-case order, FAT in order of creation, a
  // network share as its server does.
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}

void SystemHandleTraits::Close(Handle handle) { ::CloseHandle(AsHandle(handle)); }

// Not const, though it could be: reading and writing move the file's position.
// NOLINTNEXTLINE(readability-make-member-function-const)
Result<std::size_t> File::Read(std::span<std::byte> buffer) {
  std::size_t got = 0;
  while (got < buffer.size()) {
    DWORD n = 0;
    if (!::ReadFile(AsHandle(handle_.get()), buffer.data() + got, Chunk(buffer.size() - got), &n,
                    nullptr)) {
      return LastError();
    }
    if (n == 0) break;
    got += n;
  }
  return got;
}

// NOLINTNEXTLINE(readability-make-member-function-const)
Result<void> File::Write(std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    DWORD n = 0;
    if (!::WriteFile(AsHandle(handle_.get()), bytes.data(), Chunk(bytes.size()), &n, nullptr)) {
      return LastError();
    }
    bytes = bytes.subspan(n);
  }
  return {};
}

Result<void> File::Close() {
  if (!::CloseHandle(AsHandle(handle_.release()))) return LastError();
  return {};
}

Result<File> OpenForReading(const NativeString& name) {
  const HANDLE file = ::CreateFileW(FullPath(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  return File(SystemHandle(reinterpret_cast<std::intptr_t>(file)));
}

Result<File, NotCreated> CreateIntermediate(const NativeString& name, const File&) {
  const std::wstring path = FullPath(name);
  // CREATE_NEW: never through a link, a junction or another name of a file.
  // A leftover is removed once: one that reappears at once is not a leftover.
  bool removed = false;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file != INVALID_HANDLE_VALUE)
      return File(SystemHandle(reinterpret_cast<std::intptr_t>(file)));
    const DWORD error = ::GetLastError();
    // A file deleted while another program holds it open keeps its name, and
    // lets nobody open it, until that program lets go (delete pending).
    if (error == ERROR_ACCESS_DENIED &&
        ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
        ::GetLastError() == ERROR_ACCESS_DENIED) {
      if (auto gone = Remove(path); !gone.ok()) return NotCreated{.error = gone.error()};
      continue;
    }
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return NotCreated{.error = SystemError{error}};
    }
    // Looked at without following it, should it be a link or a junction.
    const win32::FileHandle existing(::CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
        nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!existing || !::GetFileInformationByHandle(existing.get(), &info)) {
      return NotCreated{.error = LastError()};
    }
    constexpr DWORD kNotALeftover = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                    FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY;
    if ((info.dwFileAttributes & kNotALeftover) != 0 || info.nNumberOfLinks != 1 || removed) break;
    if (::GetFileType(existing.get()) != FILE_TYPE_DISK) break;
    if (auto gone = Remove(path); !gone.ok()) return NotCreated{.error = gone.error()};
    removed = true;
  }
  return NotCreated{.reason = removed ? NotCreated::Reason::kTakenAgain
                                      : NotCreated::Reason::kNotALeftover};
}

Result<void> RemoveFile(const NativeString& name) { return Remove(FullPath(name)); }

Result<FolderLock, LockRefused> LockWorkingFolder() {
  // A file in the folder itself is seen by every session and, on a network
  // share, every machine. Opened by one handle at a time, and removed by the
  // system when that handle closes, a crash included.
  const std::wstring path = FullPath(L".jovloader.lock");
  const HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    return FolderLock(SystemHandle(reinterpret_cast<std::intptr_t>(file)));
  }
  const DWORD error = ::GetLastError();
  // Access is denied to a lock file whose run is just ending (its deletion is
  // pending); where no file is, the folder cannot hold one (read-only).
  const bool held = error == ERROR_SHARING_VIOLATION ||
                    (error == ERROR_ACCESS_DENIED &&
                     (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES ||
                      ::GetLastError() == ERROR_ACCESS_DENIED));
  return LockRefused{.heldByAnotherRun = held, .error = SystemError{error}};
}

}  // namespace jov
