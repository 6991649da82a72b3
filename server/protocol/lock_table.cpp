#include "lock_table.h"

#include <cstdio>

namespace quorlane::server {
namespace {

constexpr std::string_view kYes = "Y;;;";
constexpr std::string_view kNotLocked = "N;;;";

std::string HolderPayload(char answer, const LockHolder& holder) {
  std::string text(1, answer);
  text.append(";").append(holder.user).append(";").append(holder.computer).append(";");
  text.append(holder.startTime).append(";");
  return text;
}

bool SameHolder(const LockHolder& holder, std::string_view user, std::string_view computer) {
  return holder.user == user && holder.computer == computer;
}

}  // namespace

std::string FormatStartTime(const std::tm& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%d/%d/%d %02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min);
  return text;
}

LockOutcome LockTable::Execute(LockCommand command, const std::string& key, std::string_view user,
                               std::string_view computer, std::string_view startTime) {
  LockOutcome outcome;
  const auto it = locks_.find(key);
  switch (command) {
    case LockCommand::Lock:
      if (it == locks_.end()) {
        LockHolder holder{std::string(user), std::string(computer), std::string(startTime)};
        outcome.change = LockChange{LockChange::Kind::Grant, key, holder};
        locks_.emplace(key, std::move(holder));
        outcome.payload = kYes;
        outcome.granted = true;
      } else if (SameHolder(it->second, user, computer)) {
        // A re-lock by the holder keeps the original start time.
        outcome.payload = kYes;
        outcome.granted = true;
      } else {
        outcome.payload = HolderPayload('N', it->second);
      }
      break;
    case LockCommand::Unlock:
      if (it == locks_.end()) {
        outcome.payload = kYes;
        outcome.granted = true;
      } else if (SameHolder(it->second, user, computer)) {
        outcome.change = LockChange{LockChange::Kind::Release, key, {}};
        locks_.erase(it);
        outcome.payload = kYes;
        outcome.granted = true;
      } else {
        outcome.payload = HolderPayload('N', it->second);
      }
      break;
    case LockCommand::ForceUnlock:
      if (it != locks_.end()) {
        outcome.change = LockChange{LockChange::Kind::Release, key, {}};
        locks_.erase(it);
      }
      outcome.payload = kYes;
      outcome.granted = true;
      break;
    case LockCommand::Check:
      if (it == locks_.end()) {
        outcome.payload = kNotLocked;
      } else {
        outcome.payload = HolderPayload('Y', it->second);
        outcome.granted = true;
      }
      break;
  }
  return outcome;
}

void LockTable::Apply(const LockChange& change) {
  if (change.kind == LockChange::Kind::Grant) {
    locks_.insert_or_assign(change.key, change.holder);
  } else {
    locks_.erase(change.key);
  }
}

const LockHolder* LockTable::Find(const std::string& key) const {
  const auto it = locks_.find(key);
  return it == locks_.end() ? nullptr : &it->second;
}

}  // namespace quorlane::server
