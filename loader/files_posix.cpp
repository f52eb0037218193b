#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>

#include "loader/files.h"

namespace jov {
namespace {

SystemError LastError() { return SystemError{static_cast<std::uint32_t>(errno)}; }

bool EndsWithJov(const std::string& name) {
  return name.size() >= 4 && strcasecmp(name.c_str() + name.size() - 4, ".jov") == 0;
}

int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

Result<std::vector<NativeString>> ListInputs() {
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir("."), &::closedir);
  if (!dir) return LastError();
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) return LastError();
      break;
    }
    std::string name = entry->d_name;
    // Dot-files are this platform's hidden files.
    if (name.front() == '.' || !EndsWithJov(name)) continue;
    // stat, not lstat: a link to an input is an input.
    struct stat info {};
    if (::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) names.push_back(name);
  }
  // Directory order is whatever the file system hashes to.
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}

void SystemHandleTraits::Close(Handle handle) { ::close(Descriptor(handle)); }

// Not const, though it could be: reading and writing move the file's position.
// NOLINTNEXTLINE(readability-make-member-function-const)
Result<std::size_t> File::Read(std::span<std::byte> buffer) {
  std::size_t got = 0;
  while (got < buffer.size()) {
    const ssize_t n = ::read(Descriptor(handle_.get()), buffer.data() + got, buffer.size() - got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    got += static_cast<std::size_t>(n);
  }
  return got;
}

// NOLINTNEXTLINE(readability-make-member-function-const)
Result<void> File::Write(std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(Descriptor(handle_.get()), bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return {};
}

Result<void> File::Close() {
  // After EINTR the descriptor is gone all the same (Linux), and nothing was
  // lost that a retry could save.
  if (::close(Descriptor(handle_.release())) != 0 && errno != EINTR) {
    return LastError();
  }
  return {};
}

Result<File> OpenForReading(const NativeString& name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return LastError();
  return File(SystemHandle(fd));
}

Result<File, NotCreated> CreateIntermediate(const NativeString& name, const File& input) {
  const auto refused = [] { return NotCreated{.error = LastError()}; };
  struct stat inputInfo {};
  if (::fstat(Descriptor(input.handle_.get()), &inputInfo) != 0) return refused();
  const mode_t mode = inputInfo.st_mode & 0666;
  // O_EXCL: never through a link, onto a FIFO (where open would wait for a
  // reader) or a device. A leftover is removed once: one that reappears at
  // once is not a leftover.
  bool removed = false;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) return File(SystemHandle(fd));
    if (errno != EEXIST) return refused();
    struct stat info {};
    if (::lstat(name.c_str(), &info) != 0) {
      if (errno == ENOENT) continue;
      return refused();
    }
    if (!S_ISREG(info.st_mode) || info.st_nlink != 1 || removed) break;
    if (auto gone = RemoveFile(name); !gone.ok()) return NotCreated{.error = gone.error()};
    removed = true;
  }
  return NotCreated{.reason = removed ? NotCreated::Reason::kTakenAgain
                                      : NotCreated::Reason::kNotALeftover};
}

Result<void> RemoveFile(const NativeString& name) {
  if (::unlink(name.c_str()) != 0 && errno != ENOENT && errno != ENOTDIR) return LastError();
  return {};
}

Result<FolderLock, LockRefused> LockWorkingFolder() {
  SystemHandle folder(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder) return LockRefused{.error = LastError()};
  if (::flock(Descriptor(folder.get()), LOCK_EX | LOCK_NB) == 0)
    return FolderLock(std::move(folder));
  return LockRefused{.heldByAnotherRun = errno == EWOULDBLOCK, .error = LastError()};
}

}  // namespace jov
