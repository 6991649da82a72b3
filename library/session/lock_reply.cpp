#include "lock_reply.h"

#include "reply_frame.h"

namespace quorlane {

bool EvaluateLockPayload(std::string_view payload, LockHolder& holder) {
  if (payload.empty()) return false;
  const auto fields = SplitFields(payload, ";");
  const std::string answer = fields.empty() ? std::string("N") : fields[0];
  if (fields.size() >= 2) holder.userName = fields[1];
  if (fields.size() >= 3) holder.computerName = fields[2];
  if (fields.size() >= 4) holder.startTime = fields[3];
  if (answer.empty()) return false;
  return answer == "Y";
}

std::string JoinResultFields(std::string_view answer, std::string_view user, std::string_view computer,
                             std::string_view start) {
  std::string text(answer);
  for (std::string_view field : {user, computer, start}) {
    text.push_back(';');
    text.append(field);
  }
  return text;
}

std::string BlankResult(std::string_view answer) { return JoinResultFields(answer, " ", " ", " "); }

}  // namespace quorlane
