// The service commands: which action a tag asks for, and which names may
// reach a backend at all (whatever the allow-list says, a name that could be
// read as an option or a path never does).
#pragma once

#include <optional>
#include <string_view>

namespace quorlane::server {

enum class ServiceAction { Start, Stop, Status };

/// "[STARTTHESERVICE]", "[STOPTHESERVICE]", "[THESERVICESTARTED]".
[[nodiscard]] std::optional<ServiceAction> ServiceActionOf(std::string_view tag);
[[nodiscard]] std::string_view ServiceActionWord(ServiceAction action);  // "start", "stop", "status"

/// 1 to 255 bytes of A-Z a-z 0-9 and "_" "." "@" ":" "-", not beginning with
/// "-" or ".": a systemd unit name or Windows service name without spaces,
/// never an option, a path or a shell word.
[[nodiscard]] bool IsSafeServiceName(std::string_view name);

}  // namespace quorlane::server
