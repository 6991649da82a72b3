// The few operating-system services the server needs beyond Asio: durable
// file appends, atomic replacement, the data-folder lock, local time and the
// console. One implementation per platform (platform_posix.cpp,
// platform_win32.cpp); everything else in the server is portable.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace quorlane::server {

/// A file opened for appending whose data can be forced to stable storage.
/// Owns its descriptor or handle; not shared between threads.
class AppendFile {
 public:
  AppendFile();
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  /// Opens (creating when absent) for appending.
  [[nodiscard]] bool Open(const std::string& path, std::string& error);
  [[nodiscard]] bool Append(std::string_view data, std::string& error);
  /// Returns once everything appended so far is on stable storage.
  [[nodiscard]] bool Sync(std::string& error);
  void Close() noexcept;
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
/// Replaces `target` by `source` in one step and makes the rename durable.
[[nodiscard]] bool ReplaceFileDurably(const std::string& source, const std::string& target, std::string& error);
[[nodiscard]] bool MakeFolder(const std::string& path, std::string& error);

[[nodiscard]] std::tm LocalTime(std::time_t when);

/// Raises the open-file limit to the hard limit where the platform has one.
void RaiseOpenFileLimit();

/// Calls `onClose` when the console window is closed or the user logs off
/// (Windows); Ctrl+C and SIGTERM arrive through Asio's signal_set instead.
void OnConsoleClose(std::function<void()> onClose);

/// The name of this computer, for the admin commands' requests.
[[nodiscard]] std::string ComputerName();

}  // namespace quorlane::server
