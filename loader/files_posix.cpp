#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "loader/files.h"
#include "loader/posix_error.h"

namespace jov {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

bool EndsWithJov(const std::string& name) {
  if (name.size() < 4) return false;
  const char* tail = name.c_str() + name.size() - 4;
  return strcasecmp(tail, ".jov") == 0;
}

class PosixListing final : public InputListing {
 public:
  explicit PosixListing(std::vector<std::string> names) : names_(std::move(names)) {}
  std::optional<NativeString> Next() override {
    if (next_ == names_.size()) return std::nullopt;
    return names_[next_++];
  }

 private:
  std::vector<std::string> names_;
  std::size_t next_ = 0;
};

class PosixInputFile final : public InputFile {
 public:
  explicit PosixInputFile(int fd) : fd_(fd) {}
  Result<std::size_t> Read(std::span<std::byte> buffer) override {
    // Fill the whole buffer where the file allows it, so the decoder works on
    // full blocks even from pipes and network file systems.
    std::size_t got = 0;
    while (got < buffer.size()) {
      const ssize_t n = ::read(fd_.get(), buffer.data() + got, buffer.size() - got);
      if (n == 0) break;
      if (n < 0) {
        if (errno == EINTR) continue;
        return SystemErrorFromErrno(errno);
      }
      got += static_cast<std::size_t>(n);
    }
    return got;
  }

 private:
  FileDescriptor fd_;
};

class PosixOutputFile final : public OutputFile {
 public:
  explicit PosixOutputFile(int fd) : fd_(fd) {}
  Status Write(std::span<const std::byte> bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return SystemErrorFromErrno(errno);
      }
      bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return std::nullopt;
  }
  Status Close() override {
    if (::close(fd_.release()) != 0 && errno != EINTR) return SystemErrorFromErrno(errno);
    return std::nullopt;
  }

 private:
  FileDescriptor fd_;
};

class PosixFileSystem final : public FileSystem {
 public:
  Result<std::unique_ptr<InputListing>> ListInputs() override {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir("."), &::closedir);
    if (!dir) return SystemErrorFromErrno(errno);
    std::vector<std::string> names;
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(dir.get());
      if (entry == nullptr) {
        if (errno != 0) return SystemErrorFromErrno(errno);
        break;
      }
      std::string name = entry->d_name;
      // Dot-files are this platform's hidden files.
      if (name.front() == '.' || !EndsWithJov(name)) continue;
      // stat, not lstat: a link to an input is an input.
      struct stat info {};
      if (::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) names.push_back(name);
    }
    // Directory order is whatever the file system hashes to; byte order makes
    // runs reproducible.
    std::sort(names.begin(), names.end());
    return std::unique_ptr<InputListing>(std::make_unique<PosixListing>(std::move(names)));
  }

  Result<std::unique_ptr<InputFile>> OpenForReading(const NativeString& name) override {
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return SystemErrorFromErrno(errno);
    return std::unique_ptr<InputFile>(std::make_unique<PosixInputFile>(fd));
  }

  Result<std::unique_ptr<OutputFile>> CreateForWriting(const NativeString& name) override {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return SystemErrorFromErrno(errno);
    return std::unique_ptr<OutputFile>(std::make_unique<PosixOutputFile>(fd));
  }

  RemoveResult RemoveFile(const NativeString& name) override {
    if (::unlink(name.c_str()) == 0) return {RemoveOutcome::kRemoved, {}};
    if (errno == ENOENT) return {RemoveOutcome::kAlreadyGone, {}};
    return {RemoveOutcome::kFailed, SystemErrorFromErrno(errno)};
  }
};

}  // namespace

std::unique_ptr<FileSystem> MakeSystemFileSystem() { return std::make_unique<PosixFileSystem>(); }

}  // namespace jov
