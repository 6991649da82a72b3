// Shared by the site server's reliability tests: short (scripts/test) or long
// (scripts/reliability server) figures, the figures' output, the server's
// memory, and a data folder on a tmpfs of its own.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace quorlane::server::reliability {

/// QUORLANE_RELIABILITY_LONG=1 selects the long run's figures.
[[nodiscard]] bool LongRun();
/// The environment's value of `name` when set, else the short or long default.
[[nodiscard]] long Setting(const char* name, long shortValue, long longValue);
/// Prints "figure NAME: VALUE" and appends it to $QUORLANE_RELIABILITY_FIGURES.
void Figure(const std::string& name, const std::string& value);
/// A field of /proc/PID/status in KiB ("VmRSS", "VmHWM"); 0 when unreadable.
[[nodiscard]] std::uint64_t StatusKiB(pid_t pid, const char* field);
/// Raises this process's open-file limit to its hard limit; returns it.
std::uint64_t RaiseOwnFileLimit();

/// A tmpfs of `bytes` mounted at `at` (created) for as long as this lives.
class SmallTmpfs {
 public:
  SmallTmpfs(std::filesystem::path at, std::uint64_t bytes);
  ~SmallTmpfs();
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;
  [[nodiscard]] bool Mounted() const noexcept { return mounted_; }
  /// Why mounting failed.
  [[nodiscard]] const std::string& Error() const noexcept { return error_; }

 private:
  std::filesystem::path at_;
  bool mounted_ = false;
  std::string error_;
};

}  // namespace quorlane::server::reliability
