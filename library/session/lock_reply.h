// The lock operations' reply payloads and the export result texts built from
// them. Platform-free.
#pragma once

#include <string>
#include <string_view>

namespace quorlane {

struct LockHolder {
  std::string userName;
  std::string computerName;
  std::string startTime;
};

/// Judges "Y"/"N" + user + computer + start: the holder fields present in the
/// payload are assigned before the answer is judged (absent ones are left as
/// they were). True only for a first field of exactly "Y".
[[nodiscard]] bool EvaluateLockPayload(std::string_view payload, LockHolder& holder);

/// "%s;%s;%s;%s" of the four fields.
[[nodiscard]] std::string JoinResultFields(std::string_view answer, std::string_view user, std::string_view computer,
                                           std::string_view start);
/// 'Y; ; ; ' and friends: the answer with three blank fields.
[[nodiscard]] std::string BlankResult(std::string_view answer);

}  // namespace quorlane
