#include <windows.h>

#include <cwctype>
#include <string>

#include "loader/files.h"
#include "loader/win32_support.h"

namespace jov {
namespace {

using win32::FileHandle;
using win32::FindHandle;
using win32::SystemErrorFromCode;

constexpr wchar_t kInputPattern[] = L".\\*.jov";

// Hidden and system files, like directories, are not the user's inputs.
constexpr DWORD kExcludedAttributes =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The wildcard also matches a file's 8.3 short name, so "notes.jovx" comes
// back for "*.jov"; only names that really end in ".jov" are inputs.
bool EndsWithJov(const std::wstring& name) {
  if (name.size() < 4) return false;
  return ::CompareStringOrdinal(name.c_str() + name.size() - 4, 4, L".jov", 4, TRUE) == CSTR_EQUAL;
}

class Win32Listing final : public InputListing {
 public:
  Win32Listing(FindHandle find, WIN32_FIND_DATAW first)
      : find_(std::move(find)), current_(first), haveCurrent_(static_cast<bool>(find_)) {}

  std::optional<NativeString> Next() override {
    while (haveCurrent_) {
      std::wstring name = current_.cFileName;
      const bool wanted =
          (current_.dwFileAttributes & kExcludedAttributes) == 0 && EndsWithJov(name);
      haveCurrent_ = ::FindNextFileW(find_.get(), &current_) != 0;
      if (wanted) return name;
    }
    return std::nullopt;
  }

 private:
  FindHandle find_;
  WIN32_FIND_DATAW current_;
  bool haveCurrent_;
};

class Win32InputFile final : public InputFile {
 public:
  explicit Win32InputFile(FileHandle file) : file_(std::move(file)) {}
  Result<std::size_t> Read(std::span<std::byte> buffer) override {
    std::size_t got = 0;
    while (got < buffer.size()) {
      DWORD n = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(buffer.size() - got, 1u << 30));
      if (!::ReadFile(file_.get(), buffer.data() + got, want, &n, nullptr)) {
        return SystemErrorFromCode(::GetLastError());
      }
      if (n == 0) break;
      got += n;
    }
    return got;
  }

 private:
  FileHandle file_;
};

class Win32OutputFile final : public OutputFile {
 public:
  explicit Win32OutputFile(FileHandle file) : file_(std::move(file)) {}
  Status Write(std::span<const std::byte> bytes) override {
    while (!bytes.empty()) {
      DWORD n = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      if (!::WriteFile(file_.get(), bytes.data(), want, &n, nullptr)) {
        return SystemErrorFromCode(::GetLastError());
      }
      bytes = bytes.subspan(n);
    }
    return std::nullopt;
  }
  Status Close() override {
    if (!::CloseHandle(file_.release())) return SystemErrorFromCode(::GetLastError());
    return std::nullopt;
  }

 private:
  FileHandle file_;
};

class Win32FileSystem final : public FileSystem {
 public:
  Result<std::unique_ptr<InputListing>> ListInputs() override {
    WIN32_FIND_DATAW first{};
    FindHandle find(::FindFirstFileW(kInputPattern, &first));
    if (!find) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) {
        return SystemErrorFromCode(error);
      }
    }
    return std::unique_ptr<InputListing>(std::make_unique<Win32Listing>(std::move(find), first));
  }

  Result<std::unique_ptr<InputFile>> OpenForReading(const NativeString& name) override {
    // Others may read the input meanwhile; nobody may change it under us.
    FileHandle file(::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return SystemErrorFromCode(::GetLastError());
    return std::unique_ptr<InputFile>(std::make_unique<Win32InputFile>(std::move(file)));
  }

  Result<std::unique_ptr<OutputFile>> CreateForWriting(const NativeString& name) override {
    FileHandle file(::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                  nullptr));
    if (!file) return SystemErrorFromCode(::GetLastError());
    return std::unique_ptr<OutputFile>(std::make_unique<Win32OutputFile>(std::move(file)));
  }

  RemoveResult RemoveFile(const NativeString& name) override {
    if (::DeleteFileW(name.c_str())) return {RemoveOutcome::kRemoved, {}};
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return {RemoveOutcome::kAlreadyGone, {}};
    return {RemoveOutcome::kFailed, SystemErrorFromCode(error)};
  }
};

}  // namespace

std::unique_ptr<FileSystem> MakeSystemFileSystem() { return std::make_unique<Win32FileSystem>(); }

}  // namespace jov
