// The loader's view of the file system. Names are bare file names relative
// to the working directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "base/result.h"
#include "base/text.h"
#include "base/unique_handle.h"

namespace jov {

// The working directory's inputs: ordinary files (no folders, hidden or
// system files) whose names end in ".jov" in any case, spelled as the
// directory holds them, in NaturalLess order. Fails only when the directory
// itself cannot be read; an empty directory gives an empty list.
Result<std::vector<NativeString>> ListInputs();

// Why CreateIntermediate made no file.
struct NotCreated {
  enum class Reason {
    kSystemError,   // the system refused; `error` says why
    kNotALeftover,  // the name is held by something that is not a leftover file
    kTakenAgain,    // a leftover was removed, and the name was taken again at once
  };
  Reason reason = Reason::kSystemError;
  SystemError error = {};
};

// What File and FolderLock hold: a file descriptor on POSIX, a HANDLE on
// Windows, where -1 is INVALID_HANDLE_VALUE. Closed by the platform's call.
struct SystemHandleTraits {
  using Handle = std::intptr_t;
  static constexpr Handle Invalid() { return -1; }
  static void Close(Handle handle);
};
using SystemHandle = UniqueHandle<SystemHandleTraits>;

// An open file, closed when dropped.
class File {
 public:
  // Fills as much of `buffer` as the file holds, so callers work on full
  // blocks even from pipes and network file systems; 0 at end of file.
  Result<std::size_t> Read(std::span<std::byte> buffer);
  // Writes all of `bytes` or fails.
  Result<void> Write(std::span<const std::byte> bytes);
  // Reports what the system only tells at the end (a deferred write error).
  Result<void> Close();

 private:
  friend Result<File> OpenForReading(const NativeString& name);
  friend Result<File, NotCreated> CreateIntermediate(const NativeString& name, const File& input);
  explicit File(SystemHandle handle) : handle_(std::move(handle)) {}

  SystemHandle handle_;
};

// Others may read the input meanwhile; on Windows nobody may change it.
Result<File> OpenForReading(const NativeString& name);

// Creates `name` afresh, never writing through anything already there. An
// ordinary file with a single link in its place is a leftover of an
// interrupted run and is removed as RemoveFile does, once. Anything else (a
// link of either kind, a junction, a folder, a FIFO, a device) is left
// untouched, and the failure says why the name is taken. On POSIX the new
// file grants no more access than `input`.
Result<File, NotCreated> CreateIntermediate(const NativeString& name, const File& input);

// A file that is already gone counts as removed. On Windows a file that
// someone (a virus scanner, the search indexer) holds open for a moment is
// tried again a few times first.
Result<void> RemoveFile(const NativeString& name);

// Why LockWorkingFolder gave no lock: another run holds the working
// directory, or the folder cannot be locked at all (a file system without
// locks; on Windows a read-only folder), which `error` explains.
struct LockRefused {
  bool heldByAnotherRun = false;
  SystemError error = {};
};

// Held by a run for as long as it works in the working directory, so that a
// second run started there meanwhile, from any session or (on a network
// share) any machine, cannot interfere with it. On Windows it is the hidden
// file ".jovloader.lock", gone when the lock is dropped or the run ends in
// any way; on POSIX a lock on the folder itself.
class FolderLock {
 private:
  friend Result<FolderLock, LockRefused> LockWorkingFolder();
  explicit FolderLock(SystemHandle handle) : handle_(std::move(handle)) {}
  SystemHandle handle_;
};

Result<FolderLock, LockRefused> LockWorkingFolder();

}  // namespace jov
