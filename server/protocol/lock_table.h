// The lock table: who holds which key, and the answers to the four lock
// commands. Pure logic; the caller supplies the current start-time text and
// makes every change durable before it sends the reply.
//
// Keys, users and computers compare byte for byte.
#pragma once

#include <cstddef>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlane::server {

struct LockHolder {
  std::string user;
  std::string computer;
  std::string startTime;  ///< "yyyy/m/d hh:nn", server local time when granted
};

/// A change to the table, in the form the journal stores and replays.
struct LockChange {
  enum class Kind : unsigned char { Grant = 'G', Release = 'R' };
  Kind kind;
  std::string key;
  LockHolder holder;  ///< empty for a release
};

enum class LockCommand { Lock, Unlock, ForceUnlock, Check };

struct LockOutcome {
  std::string payload;                ///< e.g. "Y;;;" or "N;ann;PC01;2024/1/2 10:00;"
  std::optional<LockChange> change;   ///< set when the table changed
  bool granted = false;               ///< for the audit log: "Y" answer
};

/// "yyyy/m/d hh:nn": month and day without leading zeros, hours and minutes
/// with two digits.
[[nodiscard]] std::string FormatStartTime(const std::tm& localTime);

class LockTable {
 public:
  /// Runs one command. `startTime` is used only when a new lock is granted.
  LockOutcome Execute(LockCommand command, const std::string& key, std::string_view user,
                      std::string_view computer, std::string_view startTime);

  /// Applies a change read back from the journal.
  void Apply(const LockChange& change);

  [[nodiscard]] const LockHolder* Find(const std::string& key) const;
  [[nodiscard]] std::size_t Size() const noexcept { return locks_.size(); }
  [[nodiscard]] const std::map<std::string, LockHolder>& Locks() const noexcept { return locks_; }

 private:
  std::map<std::string, LockHolder> locks_;
};

}  // namespace quorlane::server
