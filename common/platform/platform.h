// The few operating-system services the server programs need beyond Asio:
// durable file appends, atomic replacement, the data-folder lock, local time,
// the console and child programs. One implementation per platform
// (platform_posix.cpp, platform_win32.cpp); everything that uses them is
// portable.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorlane::platform {

/// The lock journal's file. Owns its descriptor or handle; used by one thread
/// at a time.
///
/// POSIX: records are written in place into space that was filled with
/// zeros and synced beforehand, each write durable when it returns
/// (RWF_DSYNC): a sync then flushes the new bytes only, never a new file
/// size, which saves the file system a journal commit per sync. The zeros
/// behind the last record read as the journal's clean end (ScanJournal).
/// Windows: records are appended and FlushFileBuffers makes them durable.
class JournalFile {
 public:
  JournalFile();
  ~JournalFile();
  JournalFile(const JournalFile&) = delete;
  JournalFile& operator=(const JournalFile&) = delete;

  /// Opens (creating when absent) for writing behind its first `validBytes`,
  /// which must be whole records; what lies behind them must be zeros
  /// (POSIX keeps them as reserved space; Windows cuts them off).
  [[nodiscard]] bool Open(const std::string& path, std::uint64_t validBytes, std::string& error);
  /// Writes `data` behind the last record; returns once it is on stable storage.
  [[nodiscard]] bool WriteDurably(std::string_view data, std::string& error);
  /// Closes; after a clean stop the file is first cut behind its last record.
  void Close(bool trimReserve = false) noexcept;
  [[nodiscard]] bool IsOpen() const noexcept;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// Holds an exclusive lock on a file for as long as it lives, so that two
/// servers never share one data folder.
class FolderLock {
 public:
  FolderLock();
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  [[nodiscard]] bool Acquire(const std::string& lockFilePath, std::string& error);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// Reads a whole file. A missing file gives true and an empty text when
/// `missingIsEmpty` is set.
[[nodiscard]] bool ReadWholeFile(const std::string& path, std::string& out, std::string& error,
                                 bool missingIsEmpty = true);
/// Writes `data` to `path` and forces it to stable storage (a new file).
[[nodiscard]] bool WriteFileDurably(const std::string& path, std::string_view data, std::string& error);

/// Who may open a replaced file: the usual rights; only this process's
/// account (POSIX mode 0600; on Windows a protected ACL naming the account);
/// or this account and the machine's administrators (POSIX mode 0600, which
/// root reads anyway; on Windows a protected ACL naming the account, SYSTEM
/// and Administrators).
enum class FileAccess { Shared, Private, Administrators };

/// How a replacement ended.
enum class Replacement {
  Failed,      ///< the target is as it was
  NotDurable,  ///< renamed, but the folder could not be synced: a crash may bring back the old file
  Done,
};

/// The new contents of a file, written beside it and then renamed onto it in
/// one step, so a crash leaves the old file or the new one, never a mix.
/// The temporary file's name is `target` + ".tmp-" + the process id and a
/// random part, created exclusively (another name is tried on a clash), and
/// it stays locked from creation to rename (POSIX: flock; Windows: opened
/// without sharing and renamed through its handle), so that
/// RemoveAbandonedTemporaries never takes a file that is being written.
/// Removed again unless the rename happened.
class TemporaryFile {
 public:
  TemporaryFile();
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  [[nodiscard]] bool Create(const std::string& target, FileAccess access, std::string& error);
  /// Writes everything and forces it to stable storage.
  [[nodiscard]] bool WriteDurably(std::string_view data, std::string& error);
  /// Renames the file onto the target and makes the rename durable.
  [[nodiscard]] Replacement ReplaceTarget(std::string& error);
  [[nodiscard]] const std::string& Path() const noexcept { return path_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string target_, path_;
  bool renamed_ = false;
};

/// Create, WriteDurably and ReplaceTarget in one.
[[nodiscard]] inline Replacement ReplaceFileContents(const std::string& target, std::string_view data,
                                                     FileAccess access, std::string& error) {
  TemporaryFile file;
  if (!file.Create(target, access, error) || !file.WriteDurably(data, error)) return Replacement::Failed;
  return file.ReplaceTarget(error);
}

/// Removes the temporary files of `target` that a crash left behind, sparing
/// those a running process is still writing; returns how many went.
int RemoveAbandonedTemporaries(const std::string& target);

[[nodiscard]] bool MakeFolder(const std::string& path, std::string& error);

[[nodiscard]] std::tm LocalTime(std::time_t when);

/// Raises the open-file limit to the hard limit where the platform has one.
void RaiseOpenFileLimit();

/// Calls `onClose` when the console window is closed or the user logs off
/// (Windows); Ctrl+C and SIGTERM arrive through Asio's signal_set instead.
void OnConsoleClose(std::function<void()> onClose);

/// The name of this computer, for the admin commands' requests.
[[nodiscard]] std::string ComputerName();

/// False with `problem` when other accounts may read `path` (POSIX: group or
/// other permission bits, or another owner). Windows relies on the ACL that
/// ReplaceFileContents (FileAccess::Private) gave the file and answers true.
[[nodiscard]] bool IsPrivateFile(const std::string& path, std::string& problem);

/// Fills `buffer` from the platform's secure random source (getrandom;
/// RtlGenRandom on Windows). False when the source fails.
[[nodiscard]] bool SecureRandom(unsigned char* buffer, std::size_t size) noexcept;

/// POSIX: a write past a file-size limit fails (EFBIG) instead of ending the
/// process with SIGXFSZ. Nothing on Windows.
void IgnoreFileSizeSignal();

/// Runs a program directly, never through a shell: argv[0] is its absolute
/// path, the rest its arguments. It gets no input, its output goes nowhere,
/// and it inherits no handle or descriptor of the server's.
/// Returns its exit status; -1 (with `error`) when it cannot be started, -2
/// when it was still running at `limit` and has been ended.
[[nodiscard]] int RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit, std::string& error);

/// Standard input for an admin command: everything it holds, or, when it is
/// a terminal, one line typed after `prompt` (without echo when `secret`).
[[nodiscard]] std::string ReadStandardInput(const std::string& prompt, bool secret);

}  // namespace quorlane::platform
