#include "service_rules.h"

namespace quorlane::server {

std::optional<ServiceAction> ServiceActionOf(std::string_view tag) {
  if (tag == "[STARTTHESERVICE]") return ServiceAction::Start;
  if (tag == "[STOPTHESERVICE]") return ServiceAction::Stop;
  if (tag == "[THESERVICESTARTED]") return ServiceAction::Status;
  return std::nullopt;
}

std::string_view ServiceActionWord(ServiceAction action) {
  switch (action) {
    case ServiceAction::Start: return "start";
    case ServiceAction::Stop: return "stop";
    case ServiceAction::Status: return "status";
  }
  return "?";
}

bool IsSafeServiceName(std::string_view name) {
  if (name.empty() || name.size() > 255 || name.front() == '-' || name.front() == '.') return false;
  for (const char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                    c == '.' || c == '@' || c == ':' || c == '-';
    if (!ok) return false;
  }
  return true;
}

}  // namespace quorlane::server
