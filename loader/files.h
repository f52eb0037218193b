// The loader's view of the file system: the working directory's inputs,
// sequential reading and writing, and deletion. Names are bare file names
// relative to the working directory.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>

#include "loader/result.h"
#include "loader/text.h"

namespace jov {

class InputFile {
 public:
  virtual ~InputFile() = default;
  // Fills the front of `buffer`; returns how many bytes arrived, 0 at end of
  // file.
  virtual Result<std::size_t> Read(std::span<std::byte> buffer) = 0;
};

class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Writes all of `bytes` or fails.
  virtual Status Write(std::span<const std::byte> bytes) = 0;
  // Releases the file and reports what the system only tells at the end
  // (a deferred write error). Dropping an unclosed file closes it silently.
  virtual Status Close() = 0;
};

// Yields the working directory's input files one at a time: ordinary files
// (no directories, hidden or system files) whose names end in ".jov" in any
// case, spelled as the directory holds them.
class InputListing {
 public:
  virtual ~InputListing() = default;
  virtual std::optional<NativeString> Next() = 0;
};

enum class RemoveOutcome { kRemoved, kAlreadyGone, kFailed };

struct RemoveResult {
  RemoveOutcome outcome;
  SystemError error;  // set for kFailed only
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Fails only when the directory itself cannot be read; an empty directory
  // is an empty listing.
  virtual Result<std::unique_ptr<InputListing>> ListInputs() = 0;
  virtual Result<std::unique_ptr<InputFile>> OpenForReading(const NativeString& name) = 0;
  // Creates the file, or truncates an existing one.
  virtual Result<std::unique_ptr<OutputFile>> CreateForWriting(const NativeString& name) = 0;
  // A file that does not exist is reported as kAlreadyGone, not as a failure.
  virtual RemoveResult RemoveFile(const NativeString& name) = 0;
};

// The operating system's file system, rooted at the working directory.
std::unique_ptr<FileSystem> MakeSystemFileSystem();

}  // namespace jov
